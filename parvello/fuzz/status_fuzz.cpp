// libFuzzer target for the printer status reply dispatch. The first input byte chooses the
// protocol, the rest is the reply handed to `parse_status`. For any bytes:
// - no parser crashes;
// - a refusal has a non-empty message of valid UTF-8;
// - every text of a report is valid UTF-8, a ready report names no reason and a stated
//   reason is not empty;
// - every report is written as JSON by a strict dump (which throws on invalid UTF-8), and the
//   text reads back as an object tagged by "protocol".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <expected>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "pvo-status/parse_status.hpp"
#include "pvo-status/status_json.hpp"
#include "pvo-util/text.hpp"

namespace {

using namespace pvo_status;

using Reply = std::span<const std::uint8_t>;
using Parsed = std::expected<PrintStatus, StatusError>;

struct Entry {
    std::uint8_t key;  // first input byte that selects this protocol
    Protocol protocol;
};

// The keys keep the seed files readable. A first byte that is no key still picks a protocol,
// by its value modulo the number of protocols, so the refusals are reached too.
constexpr Entry keyed[] = {
    {'Q', Protocol::BrotherQl},     {'P', Protocol::BrotherPt}, {'Z', Protocol::Zpl},
    {'L', Protocol::LetraTag},      {'D', Protocol::Dymo},      {'W', Protocol::DymoLw},
    {'C', Protocol::DymoLwClassic}, {'N', Protocol::Niimbot},   {'G', Protocol::Gpgl},
};

Protocol choose(std::uint8_t first) {
    for (const auto& entry : keyed) {
        if (entry.key == first) return entry.protocol;
    }
    return all_protocols[first % protocol_count];
}

// The free texts of a report (words are fixed ASCII and need no check). A report type
// without an overload here has none.
using Texts = std::vector<std::string_view>;
void collect_texts(const auto&, Texts&) {}
void collect_texts(const BrotherQl& r, Texts& out) { out.insert(out.end(), {r.model_code, r.summary.state}); }
void collect_texts(const BrotherPt& r, Texts& out) { out.insert(out.end(), {r.model_code, r.summary.state}); }
void collect_texts(const Zpl& r, Texts& out) { out.insert(out.end(), r.raw_lines.begin(), r.raw_lines.end()); }
void collect_texts(const DymoLw& r, Texts& out) {
    if (r.sku) out.push_back(*r.sku);
}

const Readiness* readiness_of(const auto& report) {
    if constexpr (requires { report.readiness.ready_to_print; }) {
        return &report.readiness;
    } else if constexpr (requires { report.readiness.has_value(); }) {
        return report.readiness ? &*report.readiness : nullptr;
    } else {
        return nullptr;
    }
}

void check(bool holds) {
    if (!holds) std::abort();
}

void check_report(const PrintStatus& status) {
    std::visit(
        [](const auto& report) {
            Texts texts;
            collect_texts(report, texts);
            if (const Readiness* readiness = readiness_of(report)) {
                check(!(readiness->ready_to_print && readiness->reason));
                if (readiness->reason) {
                    check(!readiness->reason->empty());
                    texts.push_back(*readiness->reason);
                }
            }
            for (auto text : texts) check(pvo_util::is_valid_utf8(text));
        },
        status);

    const std::string text = to_json(status).dump();  // strict: throws on invalid UTF-8
    check(text == to_json_text(status));
    const auto back = nlohmann::json::parse(text);
    check(back.is_object() && back.contains("protocol") && back.at("protocol").is_string());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Reply reply(data + 1, size - 1);
    const Parsed parsed = parse_status(choose(data[0]), reply);
    if (parsed) {
        check_report(*parsed);
    } else {
        check(!parsed.error().message.empty() && pvo_util::is_valid_utf8(parsed.error().message));
    }
    return 0;
}
