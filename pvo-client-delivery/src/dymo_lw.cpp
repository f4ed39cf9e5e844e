#include "dymo_lw.hpp"

#include <utility>

#include "pvo-status/dymo_status.hpp"

namespace pvo_client_delivery {
namespace {

using pvo_status::LwPrintState;
using pvo_status::MediaBayStatus;

constexpr std::uint8_t esc = 0x1B;

// The argument of the status request ESC A: 01 with the request for the print lock, 02 after
// a label with more behind it, 00 after the last label.
constexpr std::uint8_t take_lock = 0x01;
constexpr std::uint8_t more_labels = 0x02;
constexpr std::uint8_t last_label = 0x00;

Send status_request(std::uint8_t argument) { return Send{{esc, 'A', argument}}; }

// Why a print status forbids printing, or nothing.
const char* print_status_fault(LwPrintState state) {
    switch (state) {
        case LwPrintState::Error:
            return "printer reported an error";
        case LwPrintState::Cancel:
            return "print job was cancelled";
        case LwPrintState::NoLock:
            return "printer did not grant the print lock (another host may be using it)";
        default:
            return nullptr;
    }
}

// Why a media bay status forbids printing, or nothing.
std::string bay_fault(MediaBayStatus bay) {
    switch (bay) {
        case MediaBayStatus::NoMedia:
            return "no media loaded in the printer";
        case MediaBayStatus::MediaEmpty:
        case MediaBayStatus::MediaCriticallyLow:
        case MediaBayStatus::MediaLow:
            return "media roll is empty or nearly empty (" + std::string(pvo_status::word(bay)) + ")";
        case MediaBayStatus::MediaJammed:
            return "media jam reported by printer";
        default:
            return {};
    }
}

}  // namespace

std::expected<pvo_status::DymoLw, std::string> check_lw550_status(std::span<const std::uint8_t> reply,
                                                                  std::string_view context) {
    const std::string prefix = std::string(context) + ": ";
    const auto engine = pvo_status::parse_print_engine_status(reply);
    if (!engine) return std::unexpected(prefix + engine.error().message);
    pvo_status::DymoLw report = pvo_status::build_lw550_report(*engine);
    if (const char* fault = print_status_fault(report.print_status)) {
        return std::unexpected(prefix + fault);
    }
    if (report.main_bay_status == MediaBayStatus::MediaCounterfeit) {
        return std::unexpected(
            "printer rejected the loaded media (NFC reports non-genuine labels); LabelWriter 550 "
            "requires authentic DYMO rolls");
    }
    if (std::string fault = bay_fault(report.main_bay_status); !fault.empty()) {
        return std::unexpected(prefix + fault);
    }
    return report;
}

Batch DymoLwHandshake::start() {
    stage_ = Stage::LockRequestSent;
    return {Progress{phase::acquiring_lock}, status_request(take_lock)};
}

Batch DymoLwHandshake::on_event(TransportEvent event) {
    const auto* received = std::get_if<Received>(&event);
    const bool awaits_reply = stage_ == Stage::LockStatusRead || stage_ == Stage::LabelStatusRead;
    if (stage_ == Stage::Finished || (received != nullptr) != awaits_reply) {
        stage_ = Stage::Finished;
        return out_of_order("dymo-lw");
    }
    switch (stage_) {
        case Stage::LockRequestSent:
            stage_ = Stage::LockStatusRead;
            return {Recv{status_len, status_timeout_ms}};
        case Stage::StatusRequestSent:
            stage_ = Stage::LabelStatusRead;
            return {Recv{status_len, status_timeout_ms}};
        case Stage::LockStatusRead: {
            auto report = check_lw550_status(received->bytes, "acquiring print lock");
            if (!report) {
                stage_ = Stage::Finished;
                return {Fail{std::move(report.error())}};
            }
            stage_ = Stage::PreambleSent;
            return batch_of(Status{std::move(*report)}, Progress{phase::sending_preamble},
                            Send{std::move(job_.preamble)});
        }
        case Stage::PreambleSent:
            return send_label();
        case Stage::LabelSent:
            stage_ = Stage::StatusRequestSent;
            return {Progress{phase::handshake},
                    status_request(index_ + 1 == job_.labels.size() ? last_label : more_labels)};
        case Stage::LabelStatusRead:
            return after_label_status(received->bytes);
        case Stage::TrailerSent:
            stage_ = Stage::Finished;
            return {Progress{phase::finalizing}, Done{}};
        case Stage::Finished:
            break;
    }
    return out_of_order("dymo-lw");
}

Batch DymoLwHandshake::send_label() {
    stage_ = Stage::LabelSent;
    return batch_of(Progress{phase::sending_label}, Send{std::move(job_.labels[index_])});
}

Batch DymoLwHandshake::after_label_status(const std::vector<std::uint8_t>& reply) {
    auto report = check_lw550_status(reply, "label handshake");
    if (!report) {
        stage_ = Stage::Finished;
        return {Fail{std::move(report.error())}};
    }
    ++index_;
    if (index_ < job_.labels.size()) {
        Batch batch = batch_of(Status{std::move(*report)});
        for (auto& action : send_label()) batch.push_back(std::move(action));
        return batch;
    }
    stage_ = Stage::TrailerSent;
    return batch_of(Status{std::move(*report)}, Send{std::move(job_.trailer)});
}

}  // namespace pvo_client_delivery
