// libFuzzer target for the DYMO deliveries and status replies. Any bytes are read as:
// - a LabelWriter 550 job: a parsed job is the input cut into its parts; a refused one names
//   its fault in one of the parser's forms; a parsed job's delivery, fed replies cut from the
//   input, runs to Done or Fail without a refused call;
// - a D1 job: normalizing only swaps letters; the chunks are non-empty, join back to the
//   normalized job, start where a raster line starts and hold fewer than 64 lines; the
//   delivery sends exactly those chunks and reads one status per ESC A;
// - status replies: the print-engine parser refuses in one of its three forms or gives a
//   report whose texts are valid UTF-8, and every report writes as JSON.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "dymo_d1.hpp"
#include "dymo_lw.hpp"
#include "lw550_job.hpp"
#include "pvo-client-delivery/session.hpp"
#include "pvo-driver-dymo/d1.hpp"
#include "pvo-status/dymo_status.hpp"
#include "pvo-status/status_json.hpp"
#include "pvo-util/text.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace pd = pvo_client_delivery;
namespace d1 = pvo_driver_dymo;

void check(bool condition) {
    if (!condition) std::abort();
}

void check_report(const pvo_status::PrintStatus& report) {
    check(pvo_util::is_valid_utf8(pvo_status::to_json_text(report)));
}

// Replies cut from the input in turn, each as long as the read asks; empty once used up.
class Replies {
public:
    explicit Replies(std::span<const std::uint8_t> input) : input_(input) {}
    Bytes next(std::size_t max_len) {
        const std::size_t n = std::min(max_len, input_.size() - at_);
        Bytes out(input_.begin() + static_cast<std::ptrdiff_t>(at_),
                  input_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return out;
    }

private:
    std::span<const std::uint8_t> input_;
    std::size_t at_ = 0;
};

// What a delivery wrote and how often it read, driven like the job runner does.
struct Run {
    std::vector<Bytes> sends;
    std::size_t reads = 0;
    bool done = false;
};

Run drive(pd::SessionStart start, Replies replies) {
    Run run;
    pd::DeliveryAction action = std::move(start.action);
    for (;;) {
        std::expected<pd::DeliveryAction, pd::DeliveryError> next;
        if (auto* send = std::get_if<pd::Send>(&action)) {
            run.sends.push_back(send->bytes);
            next = start.session.on_send_complete();
        } else if (auto* recv = std::get_if<pd::Recv>(&action)) {
            ++run.reads;
            next = start.session.feed_rx(replies.next(recv->max_len));
        } else if (auto* status = std::get_if<pd::Status>(&action)) {
            check_report(status->report);
            next = start.session.tick();
        } else if (std::holds_alternative<pd::Progress>(action)) {
            next = start.session.tick();
        } else {
            run.done = std::holds_alternative<pd::Done>(action);
            return run;
        }
        check(next.has_value());
        action = std::move(*next);
    }
}

bool known_lw_fault(const std::string& m) {
    return m.starts_with("expected ESC ") || m.starts_with("unexpected header command ESC 0x") ||
           m == "job missing label data" || m == "job missing ESC E before ESC Q" || m == "field truncated" ||
           m == "label data length overflow" || m == "label data truncated" ||
           m.ends_with(" trailing bytes after ESC Q");
}

void lw550_job(std::span<const std::uint8_t> input) {
    const auto job = pd::parse_lw550_job(input);
    if (!job) {
        check(known_lw_fault(job.error()));
        return;
    }
    Bytes joined = job->preamble;
    check(!job->labels.empty());
    for (const auto& label : job->labels) {
        check(label.size() >= 18 && label[0] == 0x1B && label[1] == 'n' && label[label.size() - 2] == 0x1B &&
              label.back() == 'G');
        joined.insert(joined.end(), label.begin(), label.end());
    }
    check(job->trailer == Bytes({0x1B, 'E', 0x1B, 'Q'}));
    joined.insert(joined.end(), job->trailer.begin(), job->trailer.end());
    check(std::ranges::equal(joined, input));

    drive(*pd::DeliverySession::run(std::make_unique<pd::DymoLwHandshake>(*job)), Replies(input));
}

void d1_job(std::span<const std::uint8_t> input) {
    const Bytes normalized = d1::normalize_d1_job(input);
    check(normalized.size() == input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        check(normalized[i] == input[i] || (input[i] == 'A' && normalized[i] == 'E') ||
              (input[i] == 'E' && normalized[i] == 'A'));
    }

    std::vector<d1::D1Element> lines;
    d1::walk_d1_job(normalized, 0, [&](const d1::D1Element& e) {
        if (e.kind == d1::D1Element::Kind::Line) lines.push_back(e);
    });
    const auto chunks = d1::split_d1_chunks(normalized);
    check(chunks.empty() == input.empty());
    Bytes joined;
    std::size_t line = 0;  // the next line of the whole job
    std::size_t requests = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const auto& chunk = chunks[i];
        check(!chunk.bytes.empty());
        if (i > 0) {
            // The chunk starts where the whole job's walk finds a line, with its length.
            while (line < lines.size() && lines[line].position < joined.size()) ++line;
            check(line < lines.size() && lines[line].position == joined.size());
            check(lines[line].value == chunk.line_length);
        }
        const std::size_t end = joined.size() + chunk.bytes.size();
        std::size_t held = 0;
        for (const auto& l : lines) held += l.position >= joined.size() && l.position < end;
        check(held < d1::d1_chunk_line_limit);
        requests += d1::count_status_requests(chunk.bytes, chunk.line_length);
        joined.insert(joined.end(), chunk.bytes.begin(), chunk.bytes.end());
    }
    check(joined == normalized);
    check(requests == d1::count_status_requests(normalized));

    if (input.empty()) return;
    const Run run = drive(*pd::DeliverySession::create(pd::HandshakeId::DymoD1, std::nullopt, input), Replies(input));
    check(run.done);
    // Requests and chunks alternate; every read but the one before each chunk is a status read.
    check(run.sends.size() == 2 * chunks.size());
    for (std::size_t i = 0; i < chunks.size(); ++i) check(run.sends[2 * i + 1] == chunks[i].bytes);
    check(run.reads == chunks.size() + requests);
}

void status_replies(std::span<const std::uint8_t> input) {
    const auto engine = pvo_status::parse_print_engine_status(input);
    if (engine) {
        check(!engine->sku || pvo_util::is_valid_utf8(*engine->sku));
        check_report(pvo_status::build_lw550_report(*engine));
    } else {
        const std::string& m = engine.error().message;
        check(m.starts_with("short status reply (") || m.starts_with("status reply looks like") ||
              m.starts_with("invalid print-engine status byte "));
    }
    if (!input.empty()) {
        check_report(pvo_status::decode_d1_status(input[0]));
        check_report(pvo_status::decode_classic_lw_status(input[0]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    lw550_job(input);
    d1_job(input);
    status_replies(input);
    return 0;
}
