// Decoding a job's labels: trimming, strictness, and which label is blamed.
#include <gtest/gtest.h>

#include "job/decode_labels.hpp"

namespace parvello {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<JobLabel> labels(std::initializer_list<std::string_view> data) {
    std::vector<JobLabel> out;
    for (auto d : data) {
        JobLabel label;
        label.data_base64 = d;
        out.push_back(std::move(label));
    }
    return out;
}

TEST(DecodeLabels, Table) {
    struct Case {
        const char* name;
        std::vector<JobLabel> labels;
        std::vector<Bytes> decoded;  // when `error` is empty
        std::string_view error = {};
    };
    const Bytes abc{'A', 'B', 'C'};
    const Case cases[] = {
        {"no labels", {}, {}, "job has no labels"},
        {"blanks and line breaks around", labels({" QUJD\n", "\tQUI=\r\n"}), {abc, {'A', 'B'}}},
        {"Unicode white space around", labels({"\u00a0QUJD\u3000", "\u2028QUJD\u0085"}), {abc, abc}},
        {"blank inside", labels({"QU JD"}), {}, "label 0: invalid base64: Invalid symbol 32, offset 2."},
        {"no-break space inside", labels({"QU\u00a0JD"}), {}, "label 0: invalid base64: Invalid symbol 194, offset 2."},
        {"offset counts in the trimmed text",
         labels({"  AA!A"}),
         {},
         "label 0: invalid base64: Invalid symbol 33, offset 2."},
        {"empty and blank data give empty payloads", labels({"", " \t\n"}), {{}, {}}},
        {"padding missing", labels({"QUI"}), {}, "label 0: invalid base64: Invalid padding"},
        {"padding surplus", labels({"QUI=="}), {}, "label 0: invalid base64: Invalid padding"},
        {"the first bad label is blamed, later ones are not looked at",
         labels({"AAAA", "A", "!!!!"}),
         {},
         "label 1: invalid base64: Invalid input length: 1"},
        {"last symbol with bits left over",
         labels({"QUJD", "QUJDQR=="}),
         {},
         "label 1: invalid base64: Invalid last symbol 82, offset 5."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = decode_labels(c.labels);
        if (c.error.empty()) {
            ASSERT_TRUE(result.has_value()) << result.error().to_string();
            EXPECT_EQ(*result, c.decoded);
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error().to_string(), c.error);
        }
    }
}

TEST(DecodeLabels, BlamesTheListPositionNotTheLabelsIndexField) {
    JobLabel label;
    label.index = 7;
    label.data_base64 = "AA!A";
    const auto result = decode_labels({label});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), JobError::invalid_base64(0, "Invalid symbol 33, offset 2."));
}

}  // namespace
}  // namespace parvello
