#include "lw550_job.hpp"

#include <gtest/gtest.h>

#include "lw550_fixture.hpp"
#include "pvo-client-delivery/session.hpp"

using namespace pvo_client_delivery;
using namespace pvo_client_delivery::test;

TEST(Lw550Job, SplitsPreambleLabelsAndTrailer) {
    const Bytes l0 = lw_label(1, 8, {0xAA});
    ASSERT_EQ(l0.size(), 19u);
    const auto one = parse_lw550_job(lw_job({l0}));
    ASSERT_TRUE(one.has_value()) << one.error();
    EXPECT_EQ(*one, (Lw550Job{lw_start, {l0}, lw_trailer}));

    // Every header command stays in the preamble; B = 9 takes two bytes per unit of A and
    // B = 0 none.
    const Bytes header =
        cat({lw_start, {0x1B, 'C', 0x01, 0x1B, 'T', 0x10, 0x1B, 'L', 1, 2, 3, 4}, {0x1B, 'e', 0x1B, 'h', 0x1B, 'i'}});
    const Bytes l1 = lw_label(3, 9, {1, 2, 3, 4, 5, 6});
    const Bytes l2 = lw_label(5, 0, {});
    const auto three = parse_lw550_job(cat({header, l0, l1, l2, lw_trailer}));
    ASSERT_TRUE(three.has_value()) << three.error();
    EXPECT_EQ(*three, (Lw550Job{header, {l0, l1, l2}, lw_trailer}));
}

TEST(Lw550Job, MalformedJobsNameTheirFault) {
    const Bytes l0 = lw_label(1, 8, {0xAA});
    const std::size_t after_l0 = lw_start.size() + l0.size();  // 25
    Bytes no_d = l0;
    no_d[5] = 'X';
    struct Case {
        const char* name;
        Bytes job;
        std::string message;
    };
    const Case cases[] = {
        {"no ESC s", cat({{0x1B, 'S', 0, 0, 0, 0}, l0, lw_trailer}), "expected ESC s at offset 0"},
        {"unknown header command", cat({lw_start, {0x1B, 0x5A}, l0, lw_trailer}), "unexpected header command ESC 0x5a"},
        {"ESC Q among the header commands", cat({lw_start, {0x1B, 'Q'}}), "job missing label data"},
        {"nothing after the header", lw_start, "job missing label data"},
        {"ESC s cut short", {0x1B, 's', 0x00}, "job missing label data"},
        {"header command cut short", cat({lw_start, {0x1B, 'L', 1}}), "job missing label data"},
        {"no label: the trailer is read as a header command", cat({lw_start, lw_trailer}),
         "unexpected header command ESC 0x45"},
        {"no trailer", cat({lw_start, l0}), "expected ESC E at offset 25"},
        {"one byte left after a label", cat({lw_start, l0, {0x1B}}), "expected ESC E at offset 25"},
        {"ESC E without ESC Q", cat({lw_start, l0, {0x1B, 'E', 0x00, 0x00}}), "expected ESC Q at offset 27"},
        {"ESC E at the very end", cat({lw_start, l0, {0x1B, 'E'}}), "expected ESC Q at offset 27"},
        {"two trailing bytes", cat({lw_start, l0, lw_trailer, {0x00, 0x00}}), "2 trailing bytes after ESC Q"},
        {"ESC Q without ESC E", cat({lw_start, l0, {0x1B, 'Q'}}), "job missing ESC E before ESC Q"},
        {"not ESC between labels", cat({lw_start, l0, {0x00}, l0, lw_trailer}), "expected ESC n at offset 25"},
        {"ESC D where a label should start", cat({lw_start, {0x1B, 'D', 0, 0}, lw_trailer}),
         "expected ESC n at offset 6"},
        {"other command between labels", cat({lw_start, l0, {0x1B, 'G'}, lw_trailer}),
         "expected ESC n at offset " + std::to_string(after_l0)},
        {"no ESC D in the label", cat({lw_start, no_d, lw_trailer}), "expected ESC D at offset 10"},
        {"dimensions cut short", cat({lw_start, {0x1B, 'n', 0, 0, 0x1B, 'D', 0, 0, 1, 0, 0, 0, 8, 0, 0}}),
         "field truncated"},
        {"raster longer than 32 bits", cat({lw_start, lw_label(0xFFFFFFFF, 0xFFFFFFFF, {}), lw_trailer}),
         "label data length overflow"},
        {"raster cut short", cat({lw_start, lw_label(100, 8, {1, 2}), lw_trailer}), "label data truncated"},
        {"no ESC G after the raster", cat({lw_start, lw_label(1, 8, {0xAA, 0x00}), lw_trailer}),
         "expected ESC G at offset 23"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto job = parse_lw550_job(c.job);
        ASSERT_FALSE(job.has_value());
        EXPECT_EQ(job.error(), c.message);
    }
}

// A job that does not parse is refused when the session is made, before any action exists.
TEST(Lw550Job, MalformedJobIsRefusedBeforeAnythingIsSent) {
    const auto session = DeliverySession::create(HandshakeId::DymoLw, std::nullopt, cat({lw_start, {0x1B, 0x5A}}));
    ASSERT_FALSE(session.has_value());
    EXPECT_EQ(session.error().kind, DeliveryError::Kind::Malformed);
    EXPECT_EQ(session.error().message(), "dymo_lw job is malformed: unexpected header command ESC 0x5a");
}
