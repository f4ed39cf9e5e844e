#include "pvo-client-delivery/session.hpp"

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "session_fixture.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;

namespace {

const Bytes label{0x1B, 0x40, 0x0A};

constexpr const char* already_finished = "session already finished";
constexpr const char* no_send = "on_send_complete called with no Send pending";
constexpr const char* no_recv = "feed_rx called with no Recv pending";
constexpr const char* no_notification = "tick called with no buffered notification; respond to the pending Send/Recv";

enum class Call { SendComplete, FeedRx, Tick };

std::expected<DeliveryAction, DeliveryError> invoke(DeliverySession& session, Call call) {
    switch (call) {
        case Call::SendComplete:
            return session.on_send_complete();
        case Call::FeedRx:
            return session.feed_rx({});
        case Call::Tick:
            break;
    }
    return session.tick();
}

SessionStart scripted(std::vector<Batch> batches) {
    return started(DeliverySession::run(std::make_unique<ScriptedHandshake>(std::move(batches))));
}

SessionStart fire_and_forget() {
    return started(DeliverySession::create(HandshakeId::FireAndForget, std::nullopt, label));
}

SessionStart letratag() { return started(DeliverySession::create(HandshakeId::LetratagNotify, std::nullopt, label)); }

}  // namespace

// Every refusal of the call interface: the calls that bring the session to a state, the
// refused call, and its text. "session already finished" is checked before anything else.
TEST(DeliverySession, RefusesCallsOutOfOrder) {
    struct Case {
        const char* name;
        std::function<SessionStart()> make;
        std::vector<Call> before;
        Call call;
        const char* text;
    };
    const Case cases[] = {
        {"tick after Send", fire_and_forget, {Call::Tick}, Call::Tick, no_notification},
        {"tick after Recv", letratag, {Call::Tick, Call::SendComplete}, Call::Tick, no_notification},
        {"send complete while Recv pending", letratag, {Call::Tick, Call::SendComplete}, Call::SendComplete, no_send},
        {"feed_rx while Send pending", fire_and_forget, {Call::Tick}, Call::FeedRx, no_recv},
        {"send complete while Progress out", fire_and_forget, {}, Call::SendComplete, no_send},
        {"feed_rx while Progress out", fire_and_forget, {}, Call::FeedRx, no_recv},
        {"feed_rx while Status out before Recv",
         [] {
             return scripted({{Status{pvo_status::Dymo{}}, Recv{1, 10}}});
         },
         {},
         Call::FeedRx,
         no_recv},
        {"send complete with actions queued behind the Send",
         [] {
             return scripted({{Send{{1}}, Recv{1, 10}}});
         },
         {},
         Call::SendComplete,
         no_send},
        {"feed_rx after Done", fire_and_forget, {Call::Tick, Call::SendComplete}, Call::FeedRx, already_finished},
        {"tick after Done", fire_and_forget, {Call::Tick, Call::SendComplete}, Call::Tick, already_finished},
        {"send complete after Done",
         fire_and_forget,
         {Call::Tick, Call::SendComplete},
         Call::SendComplete,
         already_finished},
        {"feed_rx when the first action was Fail",
         [] { return scripted({{Fail{"no"}}}); },
         {},
         Call::FeedRx,
         already_finished},
        {"tick with notifications left behind Done",
         [] {
             return scripted({{Done{}, Progress{"late"}}});
         },
         {},
         Call::Tick,
         already_finished},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionStart start = c.make();
        for (Call call : c.before) ASSERT_TRUE(invoke(start.session, call).has_value());
        const bool was_finished = start.session.finished();
        const ActionKind was_kind = start.session.last_kind();

        const auto refused = invoke(start.session, c.call);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error(), DeliveryError::invalid_call(c.text));
        EXPECT_EQ(refused.error().message(), std::string("invalid session call: ") + c.text);
        EXPECT_EQ(start.session.finished(), was_finished);
        EXPECT_EQ(start.session.last_kind(), was_kind);
    }
}

TEST(DeliverySession, RefusedCallLeavesTheQueueIntact) {
    SessionStart start = fire_and_forget();
    EXPECT_EQ(start.action, DeliveryAction(Progress{"sending"}));
    EXPECT_EQ(start.session.last_kind(), ActionKind::Notification);
    EXPECT_FALSE(start.session.on_send_complete().has_value());
    EXPECT_FALSE(start.session.feed_rx(Bytes{1, 2}).has_value());
    EXPECT_EQ(start.session.tick(), DeliveryAction(Send{label}));
    EXPECT_EQ(start.session.last_kind(), ActionKind::Send);
    EXPECT_FALSE(start.session.tick().has_value());
    EXPECT_EQ(start.session.on_send_complete(), DeliveryAction(Done{}));
    EXPECT_TRUE(start.session.finished());
    EXPECT_EQ(start.session.last_kind(), ActionKind::Terminal);
}

TEST(DeliverySession, HandsOutABatchInOrderAndPassesEmptyReadsOn) {
    std::vector<std::optional<Bytes>> seen;
    auto session = started(DeliverySession::run(std::make_unique<ScriptedHandshake>(
        std::vector<Batch>{
            {Progress{"init"}, Send{{1, 2}}},
            {Recv{8, 500}},
            {Status{pvo_status::Gpgl{}}, Progress{"cutting"}, Recv{4, 800}},
            {Done{}},
        },
        &seen)));
    const auto actions = drive(std::move(session), {Bytes{}, Bytes{9}});
    const std::vector<DeliveryAction> expected{
        Progress{"init"},    Send{{1, 2}}, Recv{8, 500}, Status{pvo_status::Gpgl{}},
        Progress{"cutting"}, Recv{4, 800}, Done{},
    };
    EXPECT_EQ(actions, expected);
    // SendComplete, the empty read unchanged, then the one-byte read.
    EXPECT_EQ(seen, (std::vector<std::optional<Bytes>>{std::nullopt, Bytes{}, Bytes{9}}));
}

TEST(DeliverySession, EmptyBatchIsAnInternalError) {
    const DeliveryError bug = DeliveryError::invalid_call("handshake produced no action (internal state machine bug)");
    const auto at_start = DeliverySession::run(std::make_unique<ScriptedHandshake>(std::vector<Batch>{{}}));
    ASSERT_FALSE(at_start.has_value());
    EXPECT_EQ(at_start.error(), bug);

    SessionStart later = scripted({{Send{{1}}}, {}});
    const auto refused = later.session.on_send_complete();
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error(), bug);
    // The handshake's state is unknown after this, so it is not fed again.
    EXPECT_TRUE(later.session.finished());
    EXPECT_EQ(later.session.on_send_complete().error(), DeliveryError::invalid_call(already_finished));
}

TEST(DeliverySession, EmptyLabelIsRefusedForEveryHandshake) {
    for (auto id : {HandshakeId::FireAndForget, HandshakeId::DymoD1, HandshakeId::DymoLw, HandshakeId::NiimbotPoll,
                    HandshakeId::LetratagNotify, HandshakeId::Gpgl}) {
        const auto refused = DeliverySession::create(id, "b21", Bytes{});
        ASSERT_FALSE(refused.has_value()) << handshake_name(id);
        EXPECT_EQ(refused.error().message(), "empty label payload");
    }
}

TEST(DeliverySession, SendsAHandedOverLabelFromItsOwnBuffer) {
    Bytes buffer = label;
    const std::uint8_t* const bytes = buffer.data();
    SessionStart start = started(DeliverySession::create(HandshakeId::FireAndForget, std::nullopt, std::move(buffer)));
    const DeliveryAction send = *start.session.tick();
    ASSERT_EQ(send, DeliveryAction(Send{label}));
    EXPECT_EQ(std::get<Send>(send).bytes.data(), bytes);  // moved through, never copied
}

TEST(DeliverySession, KeepsItsOwnCopyOfTheLabel) {
    Bytes buffer = label;
    SessionStart start = started(DeliverySession::create(HandshakeId::FireAndForget, std::nullopt, buffer));
    buffer.assign(3, 0xEE);
    EXPECT_EQ(start.session.tick(), DeliveryAction(Send{label}));
}
