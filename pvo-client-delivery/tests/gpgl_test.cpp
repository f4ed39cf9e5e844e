#include <string>

#include <gtest/gtest.h>

#include "gpgl.hpp"
#include "pvo-status/gpgl_status.hpp"
#include "session_fixture.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;
using pvo_status::GpglState;

namespace {

const Bytes cut_job{'c', 'u', 't', 0x03};
const Send initialise{{0x1B, 0x04}};
const Send gpgl_status_request{{0x1B, 0x05}};
const Send identity_request{{0x46, 0x47, 0x03}};
const Recv gpgl_poll{64, 800};
const char* stayed_idle = "cutter stayed idle after cut payload (never reported moving)";

Bytes line(std::string_view text) { return {text.begin(), text.end()}; }

const Bytes gpgl_ready = line("0\x03");
const Bytes moving = line("1\x03");
const Bytes paused = line("3\x03");
const Bytes unrecognised = line("?\x03");

Status status(GpglState state) { return Status{pvo_status::gpgl_report(state)}; }

std::vector<DeliveryAction> cut(std::vector<Bytes> replies) {
    return drive(started(DeliverySession::create(HandshakeId::Gpgl, "ignored", cut_job)), replies);
}

std::vector<Bytes> repeat(std::size_t count, const Bytes& reply, std::vector<Bytes> then = {}) {
    std::vector<Bytes> replies(count, reply);
    replies.insert(replies.end(), then.begin(), then.end());
    return replies;
}

// The replies that bring the cutter through both waits to the cut job.
std::vector<Bytes> up_to_the_cut(std::vector<Bytes> after) {
    std::vector<Bytes> replies{gpgl_ready, gpgl_ready};
    replies.insert(replies.end(), after.begin(), after.end());
    return replies;
}

// The actions up to and including the cut job's write, for two ready replies.
const std::vector<DeliveryAction> before_the_cut{
    Progress{"init"},         initialise,          Progress{"handshake"}, gpgl_status_request, gpgl_poll,
    status(GpglState::Ready), identity_request,    Progress{"handshake"}, gpgl_status_request, gpgl_poll,
    status(GpglState::Ready), Progress{"cutting"}, Send{cut_job},
};

std::vector<DeliveryAction> after_the_cut(const std::vector<DeliveryAction>& actions) {
    if (actions.size() < before_the_cut.size()) return actions;
    EXPECT_EQ(std::vector<DeliveryAction>(actions.begin(), actions.begin() + before_the_cut.size()), before_the_cut);
    return {actions.begin() + before_the_cut.size(), actions.end()};
}

}  // namespace

TEST(Gpgl, CutsAfterTwoReadyWaitsAndEndsWhenBackToReady) {
    // The cutter is busy at first, then ready; after the cut it moves, pauses, and is ready.
    const auto actions = cut({moving, unrecognised, gpgl_ready, gpgl_ready, moving, paused, gpgl_ready, gpgl_ready});
    const std::vector<DeliveryAction> expected{
        Progress{"init"},
        initialise,
        Progress{"handshake"},
        gpgl_status_request,
        gpgl_poll,
        status(GpglState::Moving),
        gpgl_status_request,
        gpgl_poll,  // unrecognised: no Status
        gpgl_status_request,
        gpgl_poll,
        status(GpglState::Ready),
        identity_request,
        Progress{"handshake"},
        gpgl_status_request,
        gpgl_poll,
        status(GpglState::Ready),
        Progress{"cutting"},
        Send{cut_job},
        gpgl_status_request,
        gpgl_poll,
        status(GpglState::Moving),
        gpgl_status_request,
        gpgl_poll,
        status(GpglState::Paused),
        gpgl_status_request,
        gpgl_poll,
        status(GpglState::Ready),
        Done{},
    };
    EXPECT_EQ(actions, expected);
}

TEST(Gpgl, AfterTheCut) {
    const auto polled = [](GpglState s) {
        return std::vector<DeliveryAction>{gpgl_status_request, gpgl_poll, status(s)};
    };
    const auto join = [](std::initializer_list<std::vector<DeliveryAction>> parts) {
        std::vector<DeliveryAction> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const std::vector<DeliveryAction> silent_poll{gpgl_status_request, gpgl_poll};
    std::vector<DeliveryAction> five_silent;
    for (int i = 0; i < 5; ++i) five_silent.insert(five_silent.end(), silent_poll.begin(), silent_poll.end());

    struct Case {
        const char* name;
        std::vector<Bytes> replies;
        std::vector<DeliveryAction> actions;
    };
    const Case cases[] = {
        {"ready before any movement", {gpgl_ready}, join({polled(GpglState::Ready), {Fail{stayed_idle}}})},
        {"moving, moving, ready",
         {moving, moving, gpgl_ready},
         join({polled(GpglState::Moving), polled(GpglState::Moving), polled(GpglState::Ready), {Done{}}})},
        {"six unrecognised replies", repeat(6, unrecognised), join({five_silent, silent_poll, {Fail{stayed_idle}}})},
        {"five unrecognised replies, then movement", repeat(5, unrecognised, {moving, gpgl_ready}),
         join({five_silent, polled(GpglState::Moving), polled(GpglState::Ready), {Done{}}})},
        {"unrecognised after movement is no idleness", repeat(1, moving, repeat(8, unrecognised, {gpgl_ready})),
         join({polled(GpglState::Moving),
               five_silent,
               silent_poll,
               silent_poll,
               silent_poll,
               polled(GpglState::Ready),
               {Done{}}})},
        {"paused counts as movement",
         {paused, gpgl_ready},
         join({polled(GpglState::Paused), polled(GpglState::Ready), {Done{}}})},
        {"media unloaded",
         {moving, line("2")},
         join({polled(GpglState::Moving),
               polled(GpglState::Unloaded),
               {Fail{"cutter reports media unloaded (status 2)"}}})},
        {"cancelled on the device",
         {line("4")},
         join({polled(GpglState::Cancelled), {Fail{"cutter job was cancelled on the device (status 4)"}}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(after_the_cut(cut(up_to_the_cut(c.replies))), c.actions);
    }
}

// Each wait has its own limit: 300 replies before the identity request, 100 before the cut job,
// 6000 after it. The text says whether the last reply was busy or unrecognised.
TEST(Gpgl, WaitLimits) {
    const Fail busy{"timed out waiting for cutter ready"};
    const Fail unreadable{"timed out waiting for a recognizable GPGL status response"};
    struct Case {
        const char* name;
        std::vector<Bytes> replies;
        std::size_t polls;  // status reads made
        DeliveryAction last;
    };
    const Case cases[] = {
        {"300 moving before the identity request", repeat(300, moving), 300, busy},
        {"300 unrecognised before the identity request", repeat(300, unrecognised), 300, unreadable},
        {"299 paused, then ready, goes on", repeat(299, paused, {gpgl_ready, gpgl_ready, moving, gpgl_ready}), 303,
         Done{}},
        {"100 moving before the cut job", repeat(1, gpgl_ready, repeat(100, moving)), 101, busy},
        {"the count starts again for the second wait",
         repeat(299, moving, repeat(1, gpgl_ready, repeat(99, moving, {gpgl_ready, moving, gpgl_ready}))), 402, Done{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto actions = cut(c.replies);
        EXPECT_EQ(static_cast<std::size_t>(std::count(actions.begin(), actions.end(), DeliveryAction(gpgl_poll))),
                  c.polls);
        EXPECT_EQ(actions.back(), c.last);
    }

    // After the cut job: longer than the session driver goes, so the handshake is fed directly.
    Gpgl handshake(cut_job);
    handshake.start();
    for (const auto& reply : {gpgl_ready, gpgl_ready}) {
        handshake.on_event(SendComplete{});
        handshake.on_event(SendComplete{});
        handshake.on_event(Received{reply});
    }
    ASSERT_EQ(handshake.on_event(SendComplete{}), Batch{gpgl_status_request});  // the cut job is written
    for (int i = 1; i < 6000; ++i) {
        ASSERT_EQ(handshake.on_event(SendComplete{}), Batch{gpgl_poll});
        ASSERT_EQ(handshake.on_event(Received{moving}), (Batch{status(GpglState::Moving), gpgl_status_request})) << i;
    }
    ASSERT_EQ(handshake.on_event(SendComplete{}), Batch{gpgl_poll});
    EXPECT_EQ(handshake.on_event(Received{moving}), (Batch{status(GpglState::Moving), busy}));
}

TEST(Gpgl, EventsThatDoNotFitFail) {
    const Batch out_of_order{Fail{"gpgl delivery received an out-of-order transport event"}};
    struct Case {
        const char* name;
        std::vector<TransportEvent> before;
        TransportEvent event;
    };
    const Case cases[] = {
        {"a reply while initialising", {}, Received{gpgl_ready}},
        {"a reply while the status request is written", {SendComplete{}}, Received{gpgl_ready}},
        {"a write while a reply is awaited", {SendComplete{}, SendComplete{}}, SendComplete{}},
        {"a reply while the identity request is written",
         {SendComplete{}, SendComplete{}, Received{gpgl_ready}},
         Received{gpgl_ready}},
    };
    for (const auto& c : cases) {
        Gpgl handshake(cut_job);
        handshake.start();
        for (const auto& e : c.before) handshake.on_event(e);
        EXPECT_EQ(handshake.on_event(c.event), out_of_order) << c.name;
    }
}
