#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "niimbot_poll.hpp"
#include "pvo-status/niimbot_status.hpp"
#include "pvo-driver-niimbot/packet.hpp"
#include "session_fixture.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;
using pvo_driver_niimbot::build_packet;

namespace {

const Send niimbot_status_request{pvo_driver_niimbot::status_request()};
const Recv niimbot_poll{8, 500};
const Fail niimbot_out_of_order{"niimbot delivery received an out-of-order transport event"};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A print-status reply as a printer sends it.
Bytes progress_reply(std::uint8_t progress1, std::uint8_t progress2, std::uint16_t page = 1) {
    return build_packet(
        0xB3, Bytes{static_cast<std::uint8_t>(page >> 8), static_cast<std::uint8_t>(page), progress1, progress2});
}

Status status(std::uint8_t progress1, std::uint8_t progress2, std::uint16_t page = 1) {
    return Status{pvo_status::niimbot_report(page, progress1, progress2)};
}

// A b1 job: three 100-byte packets and the print-end packet.
const Bytes row = build_packet(0x85, Bytes(93, 0x0F));
const Bytes print_end = build_packet(0xF3, Bytes{0x01});
const Bytes b1_job = concat({row, row, row, print_end});

SessionStart niimbot(std::optional<std::string_view> variant, const Bytes& label) {
    return started(DeliverySession::create(HandshakeId::NiimbotPoll, variant, label));
}

// What the session hands out after the job's writes for the given replies: each poll, and the
// Status of each reply that holds a print status.
std::vector<DeliveryAction> polls_for(const std::vector<Bytes>& replies) {
    std::vector<DeliveryAction> out;
    for (const auto& reply : replies) {
        out.push_back(niimbot_status_request);
        out.push_back(niimbot_poll);
        if (const auto found = pvo_driver_niimbot::find_print_status(reply)) {
            out.push_back(status(found->progress1, found->progress2, found->page));
        }
    }
    return out;
}

std::vector<DeliveryAction> concat(std::vector<DeliveryAction> a, const std::vector<DeliveryAction>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(NiimbotPoll, DriverVariantIsReadHere) {
    struct Case {
        std::optional<std::string_view> variant;
        bool accepted;
    };
    const Case cases[] = {
        {std::nullopt, true}, {"standard", true}, {"Standard", true}, {"v4", true}, {"B1", true},
        {"b1", true},         {" b1", false},     {"b2", false},      {"", false},  {"b1\n", false},
    };
    for (const auto& c : cases) {
        const auto session = DeliverySession::create(HandshakeId::NiimbotPoll, c.variant, b1_job);
        EXPECT_EQ(session.has_value(), c.accepted) << c.variant.value_or("(none)");
        if (!c.accepted && !session) {
            EXPECT_EQ(session.error(),
                      DeliveryError::unsupported_driver_variant("niimbot_poll", std::string(*c.variant)));
        }
    }
    EXPECT_EQ(DeliverySession::create(HandshakeId::NiimbotPoll, " b1", b1_job).error().message(),
              "unsupported driver variant \" b1\" for niimbot_poll");
}

// standard and v4 send the job as it is, in one write; b1 regroups its packets into writes of
// at most 240 bytes and holds the print-end packet until the page is finished.
TEST(NiimbotPoll, JobWritesByVariant) {
    const std::vector<Bytes> replies{progress_reply(40, 40), progress_reply(100, 100)};
    const auto tail = polls_for(replies);
    struct Case {
        std::optional<std::string_view> variant;
        Bytes job;
        std::vector<DeliveryAction> writes;  // after Progress "sending"
        std::vector<DeliveryAction> end;     // after the last poll's Status
    };
    const Case cases[] = {
        {std::nullopt, b1_job, {Send{b1_job}}, {Done{}}},
        {"v4", b1_job, {Send{b1_job}}, {Done{}}},
        {"b1", b1_job, {Send{concat({row, row})}, Send{row}}, {Send{print_end}, Done{}}},
        // Nothing but the print-end packet: one empty write, then the usual polling.
        {"b1", print_end, {Send{Bytes{}}}, {Send{print_end}, Done{}}},
        // No print-end packet to hold back.
        {"b1", concat({row, {0x00}, row}), {Send{concat({row, row})}}, {Done{}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.writes.size()) + " writes, variant " +
                     std::string(c.variant.value_or("(none)")));
        auto expected = concat({Progress{"sending"}}, c.writes);
        expected = concat(concat(expected, tail), c.end);
        EXPECT_EQ(drive(niimbot(c.variant, c.job), replies), expected);
    }
}

// The page counts as finished only after the printer has shown it unfinished; the 60th reply
// ends the polling in any case, and a held print-end packet then still goes out before Done.
TEST(NiimbotPoll, PollingEnds) {
    const Bytes unframed{0x01, 0x02};
    const std::vector<Bytes> unfinished_then_finished{progress_reply(0, 0), Bytes{}, progress_reply(100, 40),
                                                      progress_reply(100, 100)};
    struct Case {
        const char* name;
        std::vector<Bytes> replies;
        std::size_t polls;
    };
    const Case cases[] = {
        {"40/40 then 100/100", {progress_reply(40, 40), progress_reply(100, 100)}, 2},
        {"replies without a status in between", unfinished_then_finished, 4},
        {"100/100 from the start never finishes early", std::vector<Bytes>(60, progress_reply(100, 100)), 60},
        {"60 replies without a status", std::vector<Bytes>(60, unframed), 60},
        {"60 empty replies", {}, 60},
        {"a status request echoed back is no status", std::vector<Bytes>(60, pvo_driver_niimbot::status_request()), 60},
    };
    for (const auto& c : cases) {
        const std::optional<std::string_view> variants[] = {std::nullopt, "b1"};
        for (const auto variant : variants) {
            SCOPED_TRACE(std::string(c.name) + ", variant " + std::string(variant.value_or("(none)")));
            std::vector<Bytes> replies = c.replies;
            replies.resize(c.polls);  // empty replies where the case gives none
            const auto actions = drive(niimbot(variant, b1_job), c.replies);
            const auto first_poll = std::find(actions.begin(), actions.end(), DeliveryAction(niimbot_status_request));
            ASSERT_NE(first_poll, actions.end());
            std::vector<DeliveryAction> after_writes(first_poll, actions.end());
            auto expected = polls_for(replies);
            if (variant) expected.push_back(Send{print_end});
            expected.push_back(Done{});
            EXPECT_EQ(after_writes, expected);
        }
    }
}

TEST(NiimbotPoll, EventsThatDoNotFitFail) {
    struct Case {
        const char* name;
        std::vector<TransportEvent> before;
        TransportEvent event;
    };
    const Case cases[] = {
        {"a reply while the job is written", {}, Received{progress_reply(1, 1)}},
        {"a reply while the status request is written", {SendComplete{}}, Received{}},
        {"a write while a reply is awaited", {SendComplete{}, SendComplete{}}, SendComplete{}},
    };
    for (const auto& c : cases) {
        auto handshake = NiimbotPoll::create(std::nullopt, b1_job);
        ASSERT_TRUE(handshake.has_value());
        (*handshake)->start();
        for (const auto& e : c.before) (*handshake)->on_event(e);
        EXPECT_EQ((*handshake)->on_event(c.event), Batch{niimbot_out_of_order}) << c.name;
    }
}
