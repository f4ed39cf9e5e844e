#pragma once
// Why a print job, or a device step of a status query or soft reboot, failed.
#include <cstddef>
#include <cstdint>
#include <string>

namespace parvello {

struct JobError {
    enum class Kind : std::uint8_t {
        NoLabels,            // the job lists no label
        InvalidBase64,       // a label's data is not base64: `label`, and the decoder's message
        UnknownHandshake,    // `text` is the handshake name exactly as sent
        BrowserUnsupported,  // the browser's own device access cannot be served here
        Delivery,            // a delivery session refused a label or a call, or its procedure failed
        Transport,           // opening, writing or reading the device failed
    };

    Kind kind = Kind::NoLabels;
    std::size_t label = 0;  // InvalidBase64: the label's 0-based position in the job's list
    std::string text;       // every kind but NoLabels and BrowserUnsupported

    static JobError no_labels() { return {Kind::NoLabels, 0, {}}; }
    static JobError invalid_base64(std::size_t label, std::string error) {
        return {Kind::InvalidBase64, label, std::move(error)};
    }
    static JobError unknown_handshake(std::string name) { return {Kind::UnknownHandshake, 0, std::move(name)}; }
    static JobError browser_unsupported() { return {Kind::BrowserUnsupported, 0, {}}; }
    static JobError delivery(std::string text) { return {Kind::Delivery, 0, std::move(text)}; }
    static JobError transport(std::string text) { return {Kind::Transport, 0, std::move(text)}; }

    // The display text sent to clients, e.g. "label 1: invalid base64: Invalid padding",
    // "unknown handshake id: dymo-lw", "delivery: empty label payload",
    // "transport: device not found: usb 0922:0028".
    std::string to_string() const;

    bool operator==(const JobError&) const = default;
};

}  // namespace parvello
