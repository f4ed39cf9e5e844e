#include <string>

#include <gtest/gtest.h>

#include "fire_and_forget.hpp"
#include "letratag_notify.hpp"
#include "session_fixture.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;

namespace {

const Bytes label{0x1B, 0x43, 0x01, 0x02};
const Recv poll{3, 500};
const Fail letratag_out_of_order{"letratag delivery received an out-of-order transport event"};

SessionStart session_for(HandshakeId id) { return started(DeliverySession::create(id, std::nullopt, label)); }

}  // namespace

TEST(FireAndForget, SendsTheLabelAndFinishes) {
    const auto actions = drive(session_for(HandshakeId::FireAndForget));
    EXPECT_EQ(actions, (std::vector<DeliveryAction>{Progress{"sending"}, Send{label}, Done{}}));
}

TEST(FireAndForget, AnyReplyFailsTheDelivery) {
    for (const Bytes& reply : {Bytes{}, Bytes{0x06}}) {
        FireAndForget handshake(label);
        handshake.start();
        EXPECT_EQ(handshake.on_event(Received{reply}),
                  Batch{Fail{"fire-and-forget delivery does not read from the device"}});
    }
}

TEST(LetratagNotify, FinishesOnTheNotification) {
    const auto actions = drive(session_for(HandshakeId::LetratagNotify), {Bytes{0x1B, 0x52, 0x00}});
    EXPECT_EQ(actions, (std::vector<DeliveryAction>{Progress{"sending"}, Send{label}, poll, Progress{"done"}, Done{}}));
}

// The notification counts only where 1B 52 leaves at least three bytes to the end of the reply.
TEST(LetratagNotify, NotificationPositionRule) {
    struct Case {
        Bytes reply;
        bool notifies;
    };
    const Case cases[] = {
        {{0x1B, 0x52, 0x00}, true},
        {{0x00, 0x1B, 0x52, 0x07}, true},
        {{0x1B, 0x1B, 0x52, 0x00}, true},
        {{0x00, 0x1B, 0x52}, false},  // two bytes from the match to the end
        {{0x1B, 0x52}, false},
        {{0x52, 0x1B, 0x00}, false},
        {{0x1B}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        SessionStart start = session_for(HandshakeId::LetratagNotify);
        ASSERT_TRUE(start.session.tick().has_value());
        ASSERT_EQ(start.session.on_send_complete(), DeliveryAction(poll));
        const auto next = start.session.feed_rx(c.reply);
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(*next, c.notifies ? DeliveryAction(Progress{"done"}) : DeliveryAction(poll))
            << ::testing::PrintToString(c.reply);
    }
}

TEST(LetratagNotify, GivesUpQuietlyAfterTheSixtiethReply) {
    // 59 empty replies each ask for another read; the 60th ends with Done and no "done" phase.
    const auto silent = drive(session_for(HandshakeId::LetratagNotify));
    ASSERT_EQ(silent.size(), 3u + 60u);
    for (std::size_t i = 2; i < 2 + 60; ++i) EXPECT_EQ(silent[i], DeliveryAction(poll)) << i;
    EXPECT_EQ(silent.back(), DeliveryAction(Done{}));

    // A notification in the 60th reply is still reported as one.
    std::vector<Bytes> replies(59, Bytes{0x00, 0x00, 0x00});
    replies.push_back({0x1B, 0x52, 0x01});
    const auto late = drive(session_for(HandshakeId::LetratagNotify), replies);
    ASSERT_EQ(late.size(), 2u + 60u + 2u);
    EXPECT_EQ(late[late.size() - 2], DeliveryAction(Progress{"done"}));
    EXPECT_EQ(late.back(), DeliveryAction(Done{}));
}

TEST(LetratagNotify, EventsThatDoNotFitFail) {
    LetratagNotify before_write(label);
    before_write.start();
    EXPECT_EQ(before_write.on_event(Received{{0x1B, 0x52, 0x00}}), Batch{letratag_out_of_order});

    LetratagNotify polling(label);
    polling.start();
    ASSERT_EQ(polling.on_event(SendComplete{}), Batch{poll});
    EXPECT_EQ(polling.on_event(SendComplete{}), Batch{letratag_out_of_order});
}
