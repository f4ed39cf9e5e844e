#include "dymo_d1.hpp"

#include <gtest/gtest.h>

#include "byte_builders.hpp"
#include "pvo-status/dymo_status.hpp"
#include "session_fixture.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;

namespace {

const Send request{{0x1B, 'A'}};
const Recv request_reply{64, 6000};
const Recv d1_status_read{64, 60000};
const Fail d1_out_of_order{"dymo-d1 delivery received an out-of-order transport event"};

Status status(std::uint8_t byte) { return Status{pvo_status::decode_d1_status(byte)}; }

std::vector<DeliveryAction> deliver_d1(const Bytes& job, const std::vector<Bytes>& replies) {
    return drive(started(DeliverySession::create(HandshakeId::DymoD1, std::nullopt, job)), replies);
}

Bytes lines(std::size_t count) { return Bytes(count, 0x16); }

}  // namespace

// Two chunks, each after its own request; ESC A ESC E goes out as ESC E ESC A; only the first
// byte of a status reply counts and the reply before a chunk is not looked at.
TEST(DymoD1, TwoChunksEachWithItsStatusReads) {
    const Bytes head{0x1B, 'A', 0x1B, 'E'};
    const Bytes job = cat({head, lines(70), {0x1B, 'A'}});
    const Bytes chunk1 = cat({{0x1B, 'E', 0x1B, 'A'}, lines(63)});
    const Bytes chunk2 = cat({lines(7), {0x1B, 'A'}});

    const auto actions = deliver_d1(job, {{0x54, 0x40}, {0x40, 0xFF}, {0x00}, {0x10}});

    EXPECT_EQ(actions, (std::vector<DeliveryAction>{Progress{"sending"}, request, request_reply, Send{chunk1},
                                                    d1_status_read, status(0x40), request, request_reply, Send{chunk2},
                                                    d1_status_read, status(0x10), Done{}}));
}

TEST(DymoD1, StatusReadsFollowTheChunksEscACount) {
    struct Case {
        const char* name;
        Bytes job;
        std::vector<Bytes> replies;  // the first answers the request before the chunk
        std::vector<DeliveryAction> after_chunk;
    };
    const Case cases[] = {
        {"no ESC A: straight to the end", lines(3), {{0x00}}, {Done{}}},
        {"ESC A inside a raster line is data", {0x1B, 'D', 0x03, 0x16, 0x1B, 'A', 0x00}, {{0x00}}, {Done{}}},
        {"two ESC A, the first reply empty",
         cat({{0x1B, 'A'}, lines(2), {0x1B, 'A'}}),
         {{0x00}, {}, {0x54}},
         {d1_status_read, d1_status_read, status(0x54), Done{}}},
        {"no reply at all still counts", {0x1B, 'A'}, {}, {d1_status_read, Done{}}},
        {"no ESC A in the first chunk: the next request follows at once",
         lines(64),
         {{0x00}, {0x00}},
         {request, request_reply, Send{lines(1)}, Done{}}},
        {"a later chunk's lines keep the line length set before it",
         cat({{0x1B, 'D', 0x02}, repeat({0x16, 0x1B, 'A'}, 64)}),
         {{0x00}, {0x00}},
         {request, request_reply, Send{{0x16, 0x1B, 'A'}}, Done{}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto actions = deliver_d1(c.job, c.replies);
        ASSERT_GE(actions.size(), 4u);
        const std::vector<DeliveryAction> head(actions.begin(), actions.begin() + 3);
        EXPECT_EQ(head, (std::vector<DeliveryAction>{Progress{"sending"}, request, request_reply}));
        EXPECT_EQ(std::vector<DeliveryAction>(actions.begin() + 4, actions.end()), c.after_chunk);
    }
}

TEST(DymoD1, StatusByteDecode) {
    const auto actions = deliver_d1({0x1B, 'A'}, {{}, {0x54, 0x00}});
    ASSERT_EQ(actions.size(), 7u);
    EXPECT_EQ(actions[5], DeliveryAction(Status{pvo_status::Dymo{84, true, true, true}}));
}

TEST(DymoD1, EventsThatDoNotFitFail) {
    const Bytes job{0x1B, 'A'};
    struct Case {
        const char* name;
        std::vector<TransportEvent> before;
        TransportEvent wrong;
    };
    const Case cases[] = {
        {"request not yet written", {}, Received{}},
        {"request reply awaited", {SendComplete{}}, SendComplete{}},
        {"chunk being written", {SendComplete{}, Received{}}, Received{}},
        {"status awaited", {SendComplete{}, Received{}, SendComplete{}}, SendComplete{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DymoD1Handshake handshake(job);
        handshake.start();
        for (const auto& e : c.before) {
            const Batch batch = handshake.on_event(e);
            ASSERT_FALSE(std::holds_alternative<Fail>(batch.back()));
        }
        EXPECT_EQ(handshake.on_event(c.wrong), Batch{d1_out_of_order});
    }
}
