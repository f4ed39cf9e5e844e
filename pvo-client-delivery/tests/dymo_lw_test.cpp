#include "dymo_lw.hpp"

#include <gtest/gtest.h>

#include "lw550_fixture.hpp"
#include "pvo-status/dymo_status.hpp"
#include "session_fixture.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;

namespace {

// Print states and bay states as the printer sends them.
enum : std::uint8_t { idle = 0, printing = 1, error = 2, cancel = 3, busy = 4, no_lock = 5 };
enum : std::uint8_t {
    bay_unknown = 0,
    bay_open = 1,
    no_media = 2,
    not_inserted = 3,
    present_unknown = 4,
    media_empty = 5,
    critically_low = 6,
    media_low = 7,
    media_ok = 8,
    jammed = 9,
    counterfeit = 10,
};

const Bytes l0 = lw_label(1, 8, {0x10});
const Bytes l1 = lw_label(1, 8, {0x11});
const Bytes l2 = lw_label(1, 8, {0x12});
const Bytes lw_ready = lw_status(idle, media_ok);
const Recv lw_status_read{32, 30000};
const Fail lw_out_of_order{"dymo-lw delivery received an out-of-order transport event"};
const std::string counterfeit_text =
    "printer rejected the loaded media (NFC reports non-genuine labels); LabelWriter 550 requires "
    "authentic DYMO rolls";

Status status_of(const Bytes& reply) {
    return Status{pvo_status::build_lw550_report(*pvo_status::parse_print_engine_status(reply))};
}

std::vector<DeliveryAction> deliver_lw(const Bytes& job, const std::vector<Bytes>& replies) {
    return drive(started(DeliverySession::create(HandshakeId::DymoLw, std::nullopt, job)), replies);
}

}  // namespace

TEST(DymoLw, ThreeLabelsWithAStatusAfterEach) {
    const Bytes after_l0 = lw_status(printing, bay_open);
    const Bytes after_l1 = lw_status(busy, present_unknown);
    const Bytes after_l2 = lw_status(idle, bay_unknown);

    const auto actions = deliver_lw(lw_job({l0, l1, l2}), {lw_ready, after_l0, after_l1, after_l2});

    EXPECT_EQ(actions, (std::vector<DeliveryAction>{
                           Progress{"acquiring_lock"}, Send{{0x1B, 'A', 0x01}}, lw_status_read, status_of(lw_ready),
                           Progress{"sending_preamble"}, Send{lw_start}, Progress{"sending_label"}, Send{l0},
                           Progress{"handshake"}, Send{{0x1B, 'A', 0x02}}, lw_status_read, status_of(after_l0),
                           Progress{"sending_label"}, Send{l1}, Progress{"handshake"}, Send{{0x1B, 'A', 0x02}},
                           lw_status_read, status_of(after_l1), Progress{"sending_label"}, Send{l2},
                           Progress{"handshake"}, Send{{0x1B, 'A', 0x00}}, lw_status_read,
                           // After the last status: the trailer, with no progress before it.
                           status_of(after_l2), Send{lw_trailer}, Progress{"finalizing"}, Done{}}));
}

// Which answers stop the delivery and with what text; the print status is judged before the
// media bay, and only the counterfeit text goes without its context.
TEST(DymoLw, StatusCheck) {
    struct Case {
        Bytes reply;
        std::optional<std::string> fault;  // none: the report is handed out
    };
    Bytes nfc = lw_ready;
    nfc[0] = 0xB6;
    nfc[1] = 0xCA;
    const Case cases[] = {
        {{}, "ctx: short status reply (0 bytes, expected 32)"},
        {nfc, "ctx: status reply looks like an ESC U NFC dump (USB read desync); retry the status query"},
        {lw_status(6, media_ok), "ctx: invalid print-engine status byte 6 (expected 0\u20135)"},
        {lw_status(error, media_ok), "ctx: printer reported an error"},
        {lw_status(cancel, media_ok), "ctx: print job was cancelled"},
        {lw_status(no_lock, media_ok), "ctx: printer did not grant the print lock (another host may be using it)"},
        {lw_status(error, no_media), "ctx: printer reported an error"},
        {lw_status(no_lock, counterfeit), "ctx: printer did not grant the print lock (another host may be using it)"},
        {lw_status(idle, no_media), "ctx: no media loaded in the printer"},
        {lw_status(printing, media_empty), "ctx: media roll is empty or nearly empty (media_empty)"},
        {lw_status(busy, critically_low), "ctx: media roll is empty or nearly empty (media_critically_low)"},
        {lw_status(idle, media_low), "ctx: media roll is empty or nearly empty (media_low)"},
        {lw_status(idle, jammed), "ctx: media jam reported by printer"},
        {lw_status(idle, counterfeit), counterfeit_text},
        {lw_ready, std::nullopt},
        {lw_status(printing, bay_open), std::nullopt},
        {lw_status(busy, bay_unknown), std::nullopt},
        {lw_status(idle, not_inserted), std::nullopt},
        {lw_status(idle, present_unknown), std::nullopt},
        {lw_status(idle, 200), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.reply));
        const auto checked = check_lw550_status(c.reply, "ctx");
        if (c.fault) {
            ASSERT_FALSE(checked.has_value());
            EXPECT_EQ(checked.error(), *c.fault);
        } else {
            ASSERT_TRUE(checked.has_value()) << checked.error();
            EXPECT_EQ(Status{*checked}, status_of(c.reply));
        }
    }
}

// A refused status ends the delivery where it stands: no further label, no trailer.
TEST(DymoLw, RefusedStatusEndsTheDelivery) {
    const auto no_lock_at_start = deliver_lw(lw_job({l0}), {lw_status(no_lock, media_ok)});
    EXPECT_EQ(no_lock_at_start, (std::vector<DeliveryAction>{
                                    Progress{"acquiring_lock"}, Send{{0x1B, 'A', 0x01}}, lw_status_read,
                                    Fail{"acquiring print lock: printer did not grant the print lock (another host "
                                         "may be using it)"}}));

    // Low media after a label stops the job even with labels left.
    const auto low = deliver_lw(lw_job({l0, l1}), {lw_ready, lw_status(printing, media_low)});
    ASSERT_GE(low.size(), 2u);
    EXPECT_EQ(low[low.size() - 2], DeliveryAction(lw_status_read));
    EXPECT_EQ(low.back(), DeliveryAction(Fail{"label handshake: media roll is empty or nearly empty (media_low)"}));
    for (const auto& action : low) EXPECT_NE(action, DeliveryAction(Send{l1}));

    // A printer that does not answer: the empty reply does not parse.
    const auto silent = deliver_lw(lw_job({l0}), {});
    EXPECT_EQ(silent.back(), DeliveryAction(Fail{"acquiring print lock: short status reply (0 bytes, expected 32)"}));
}

TEST(DymoLw, EventsThatDoNotFitFail) {
    const Lw550Job job{lw_start, {l0}, lw_trailer};
    // Each stage given the event it does not expect, after the events that bring it there.
    struct Case {
        const char* name;
        std::vector<TransportEvent> before;
        TransportEvent wrong;
    };
    const Case cases[] = {
        {"lock request not yet written", {}, Received{lw_ready}},
        {"lock status awaited", {SendComplete{}}, SendComplete{}},
        {"preamble being written", {SendComplete{}, Received{lw_ready}}, Received{lw_ready}},
        {"label being written", {SendComplete{}, Received{lw_ready}, SendComplete{}}, Received{lw_ready}},
        {"label status awaited",
         {SendComplete{}, Received{lw_ready}, SendComplete{}, SendComplete{}, SendComplete{}},
         SendComplete{}},
        {"trailer being written",
         {SendComplete{}, Received{lw_ready}, SendComplete{}, SendComplete{}, SendComplete{}, Received{lw_ready}},
         Received{lw_ready}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DymoLwHandshake handshake(job);
        handshake.start();
        for (const auto& e : c.before) {
            const Batch batch = handshake.on_event(e);
            ASSERT_FALSE(std::holds_alternative<Fail>(batch.back()));
        }
        EXPECT_EQ(handshake.on_event(c.wrong), Batch{lw_out_of_order});
    }
}
