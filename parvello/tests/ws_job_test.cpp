// Jobs over the WebSocket channel, with a real client and a loopback TCP printer: the event
// stream, the final events, malformed messages, Pings, and the job lock shared by every
// connection.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <gtest/gtest.h>

#include "job_test_devices.hpp"
#include "server_fixture.hpp"
#include "ws_test_client.hpp"

namespace parvello {
namespace {

using namespace test;

std::string progress(std::string_view phase, int index, int total) {
    const std::string i = std::to_string(index), n = std::to_string(total);
    return R"({"type":"progress","phase":")" + std::string(phase) + R"(","batch_index":)" + i + R"(,"batch_total":)" +
           n + R"(,"label_index":)" + i + R"(,"label_total":)" + n + "}";
}
std::string label_done(int index, int total) {
    return R"({"type":"label_done","index":)" + std::to_string(index) + R"(,"total":)" + std::to_string(total) + "}";
}
std::string done(int total) {
    return R"({"type":"done","completed":)" + std::to_string(total) + R"(,"total":)" + std::to_string(total) + "}";
}
std::string error(std::string_view message) { return R"({"type":"error","message":")" + std::string(message) + "\"}"; }

// The events of a fire_and_forget job of one label over TCP.
std::vector<std::string> one_label_events() {
    return {progress("starting_label", 0, 1), progress("sending", 0, 1), label_done(1, 1), done(1)};
}

// Sent after a job to show that the job has said all it had to say: the next message must be
// the answer to this one.
constexpr std::string_view kProbe = "{}";
const std::string kProbeAnswer = error("invalid job JSON: missing field `protocol` at line 1 column 2");

class WsJobs : public AgentServer {
protected:
    // Holds the job lock from the test, so that jobs queue behind it in a known order.
    FairMutex::Guard hold_job_lock() { return state_.job_lock->lock(); }
    bool queued(std::size_t jobs) {
        return eventually([&] { return state_.job_lock->waiting() == jobs; });
    }

    LoopbackPrinter printer_;
};

TEST_F(WsJobs, TextAndUtf8BinaryJobsStreamTheRunnersEventsAndOneDone) {
    auto received = printer_.serve(3);
    WsClient client(port());

    client.send_text(print_job(printer_.address(), {"QUJD", "REVG"}));
    EXPECT_EQ(client.read(7), (std::vector<std::string>{progress("starting_label", 0, 2), progress("sending", 0, 2),
                                                        label_done(1, 2), progress("starting_label", 1, 2),
                                                        progress("sending", 1, 2), label_done(2, 2), done(2)}));
    client.send_binary(print_job(printer_.address(), {"R0hJ"}));
    EXPECT_EQ(client.read(4), one_label_events());

    client.send_text(kProbe);
    EXPECT_EQ(client.read(), kProbeAnswer);
    EXPECT_EQ(received.get(), (std::vector<Bytes>{bytes_of("ABC"), bytes_of("DEF"), bytes_of("GHI")}));
}

TEST_F(WsJobs, JobsThatFailBeforeDeliveryEndWithOneError) {
    struct Case {
        std::string message;
        std::string event;
    };
    const Case cases[] = {
        {print_job(printer_.address(), {"QUJD"}, "no_such_handshake"),
         error("unknown handshake id: no_such_handshake")},
        {print_job(printer_.address(), {}), error("job has no labels")},
        {print_job(printer_.address(), {"QUJD", "!"}), error("label 1: invalid base64: Invalid symbol 33, offset 0.")},
    };
    WsClient client(port());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        client.send_text(c.message);
        EXPECT_EQ(client.read(), c.event);
        client.send_text(kProbe);
        EXPECT_EQ(client.read(), kProbeAnswer);
    }
    EXPECT_FALSE(printer_.has_unaccepted_connection());
}

// A LabelWriter job that is well formed: 1B 73 and four bytes, one label of one raster byte,
// then 1B 45 1B 51. A TCP printer never answers, so its procedure fails at its first status read.
const std::string kLabelWriterJob = "G3MAAAAAG24AABtEAAABAAAACAAAAP8bRxtFG1E=";

TEST_F(WsJobs, FailedDeliveryEndsWithItsMessageThenTheSameBehindDelivery) {
    WsClient client(port());
    client.send_text(print_job(printer_.address(), {kLabelWriterJob}, "dymo_lw"));

    std::string first;
    while (!(first = client.read()).starts_with(R"({"type":"error")")) {
        EXPECT_TRUE(first.starts_with(R"({"type":"progress")") || first.starts_with(R"({"type":"status")")) << first;
    }
    const std::string failure = first.substr(first.find(R"("message":")") + 11);
    EXPECT_EQ(client.read(), R"({"type":"error","message":"delivery: )" + failure);
    client.send_text(kProbe);
    EXPECT_EQ(client.read(), kProbeAnswer);
}

TEST_F(WsJobs, MalformedMessagesAreAnsweredAndTheConnectionStaysOpen) {
    const std::pair<std::string, std::string> texts[] = {
        {"{}", "invalid job JSON: missing field `protocol` at line 1 column 2"},
        {"not json", "invalid job JSON: expected ident at line 1 column 2"},
        // The fault lies inside the transport, but a WebSocket message's error names no path.
        {R"({"protocol":"p","handshake":"h","transport":["usb",70000,1]})",
         "invalid job JSON: invalid value: integer `70000`, expected u16 at line 1 column 59"},
        {R"({"protocol":"p","handshake":"h","transport":{"type":"ble","name":"x"},"labels":[]} x)",
         "invalid job JSON: trailing characters at line 1 column 84"},
    };
    auto received = printer_.serve(1);
    WsClient client(port());
    for (const auto& [text, message] : texts) {
        SCOPED_TRACE(text);
        client.send_text(text);
        EXPECT_EQ(client.read(), error(message));
    }
    client.send_binary("{\"protocol\":\"\xff\"}");
    EXPECT_EQ(client.read(), error("websocket binary must be UTF-8 JSON"));

    client.send_text(print_job(printer_.address(), {"QUJD"}));
    EXPECT_EQ(client.read(4), one_label_events());
    EXPECT_EQ(received.get(), std::vector<Bytes>{bytes_of("ABC")});
}

TEST_F(WsJobs, PingIsAnsweredAtOnceWhenIdleAndAfterTheJobOtherwise) {
    auto received = printer_.serve(1);
    WsClient client(port());
    client.ping("idle");
    client.send_text(kProbe);
    client.read();
    EXPECT_EQ(client.log(), (std::vector<std::string>{"pong:idle", kProbeAnswer}));

    {
        auto lock = hold_job_lock();
        client.send_text(print_job(printer_.address(), {"QUJD"}));
        ASSERT_TRUE(queued(1));
        client.ping("busy");
    }
    client.read(4);
    client.send_text(kProbe);
    client.read();
    std::vector<std::string> expected{"pong:idle", kProbeAnswer};
    for (const auto& event : one_label_events()) expected.push_back(event);
    expected.push_back("pong:busy");
    expected.push_back(kProbeAnswer);
    EXPECT_EQ(client.log(), expected);
    received.get();
}

// Jobs queue on the one job lock in the order they asked, whichever road they came by, and
// one job's device work never overlaps another's.
TEST_F(WsJobs, JobsOfSeveralConnectionsAndPrintRequestsRunOneAfterAnother) {
    auto received = printer_.serve(5);
    WsClient first(port());
    WsClient second(port());
    std::future<HttpResponse> print;
    {
        auto lock = hold_job_lock();
        first.send_text(print_job(printer_.address(), {"QTE=", "QTI="}));  // A1, A2
        ASSERT_TRUE(queued(1));
        print = std::async(std::launch::async,
                           [this] { return post_json(port(), "/print", print_job(printer_.address(), {"UDE="})); });
        ASSERT_TRUE(queued(2));
        second.send_text(print_job(printer_.address(), {"QjE=", "QjI="}));  // B1, B2
        ASSERT_TRUE(queued(3));
    }
    EXPECT_EQ(first.read(7).back(), done(2));
    EXPECT_EQ(print.get().body(), R"({"completed":1,"total":1})");
    EXPECT_EQ(second.read(7).back(), done(2));
    EXPECT_EQ(received.get(),
              (std::vector<Bytes>{bytes_of("A1"), bytes_of("A2"), bytes_of("P1"), bytes_of("B1"), bytes_of("B2")}));
}

// A client that leaves while its job waits for the lock: the job is still carried out, and
// the lock passes on to the next job when it ends.
TEST_F(WsJobs, AJobOutlivesItsClientAndThenFreesTheLock) {
    auto received = printer_.serve(2);
    {
        auto lock = hold_job_lock();
        WsClient leaving(port());
        leaving.send_text(print_job(printer_.address(), {"QUJD"}));
        ASSERT_TRUE(queued(1));
        leaving.stream().next_layer().close();
    }
    WsClient next(port());
    next.send_text(print_job(printer_.address(), {"REVG"}));
    EXPECT_EQ(next.read(4), one_label_events());
    EXPECT_EQ(received.get(), (std::vector<Bytes>{bytes_of("ABC"), bytes_of("DEF")}));
}

TEST_F(WsJobs, AMessageOverTheLimitEndsTheConnectionWithoutAnEvent) {
    WsClient client(port());
    // A masked text frame announcing 64 MiB and one byte: refused on its header alone.
    const std::uint8_t header[] = {0x81, 0xff, 0, 0, 0, 0, 0x04, 0, 0, 0x01, 0x11, 0x22, 0x33, 0x44};
    boost::asio::write(client.stream().next_layer(), boost::asio::buffer(header));
    const auto reason = client.read_until_end();
    EXPECT_TRUE(reason == boost::beast::websocket::error::closed || reason == boost::asio::error::eof)
        << reason.message();
    EXPECT_TRUE(client.log().empty());
}

// A frame over 16 MiB is refused on its header alone, before its payload is sent: the agent
// closes the channel with 1009 (message too big) and ends the connection.
TEST_F(WsJobs, AFrameOverItsLimitIsRefusedOnItsHeader) {
    WsClient client(port());
    // A masked text frame announcing 16 MiB and one byte.
    const std::uint8_t header[] = {0x81, 0xff, 0, 0, 0, 0, 0x01, 0, 0, 0x01, 0x11, 0x22, 0x33, 0x44};
    boost::asio::write(client.stream().next_layer(), boost::asio::buffer(header));
    const UntilClosed answer =
        read_until_closed(client.stream().next_layer().native_handle(), std::chrono::seconds(10));
    EXPECT_EQ(answer.received, std::string("\x88\x02\x03\xf1", 4));
    EXPECT_TRUE(answer.closed);
}

// The client's close completes only once the agent has closed the TCP connection too.
TEST_F(WsJobs, CloseEndsTheConnection) {
    WsClient client(port());
    boost::beast::error_code error;
    client.stream().close(boost::beast::websocket::close_code::normal, error);
    EXPECT_FALSE(error) << error.message();
    EXPECT_FALSE(client.stream().next_layer().is_open());
}

}  // namespace
}  // namespace parvello
