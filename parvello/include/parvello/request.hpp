#pragma once
// The records of the agent's JSON requests (a print job with its labels, a status query, a soft
// reboot, and the device address they all carry) and their readers from JSON text.
//
// The readers take the text whole: it must hold exactly one JSON value of the record's shape,
// as an object or as an array of the field values in declaration order. They stop at the first
// fault in text order and describe it with its line and column; for HTTP bodies the path of
// the value at fault is added in front. Nothing is checked beyond the JSON shape.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace parvello {

inline constexpr std::uint32_t kDefaultSerialBaud = 115200;

// The device addresses, one per value of the "type" tag.
struct UsbAddress {  // "usb"
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial;  // the device's USB serial number
    bool operator==(const UsbAddress&) const = default;
};

struct NetworkAddress {  // "network"
    std::string host;
    std::uint16_t port = 0;
    bool operator==(const NetworkAddress&) const = default;
};

struct SerialAddress {  // "serial"
    std::string path;   // the port name
    std::uint32_t baud = kDefaultSerialBaud;
    bool operator==(const SerialAddress&) const = default;
};

struct BleAddress {  // "ble"
    std::string name;
    bool operator==(const BleAddress&) const = default;
};

struct BrowserAddress {  // "browser": read, never used
    std::string connection;
    std::string api;
    std::optional<std::uint16_t> vendor_id;
    std::optional<std::uint16_t> product_id;
    std::optional<std::string> serial_number;
    std::optional<std::string> port_id;
    std::optional<std::string> ble_id;
    std::optional<std::string> ble_name;
    std::optional<std::string> device_label;
    bool operator==(const BrowserAddress&) const = default;
};

// The device a request addresses; the alternatives are in the order of the tags.
using Transport = std::variant<UsbAddress, NetworkAddress, SerialAddress, BleAddress, BrowserAddress>;

// A label's base64 text: characters of its own, or a part of the request text it was read
// from, which it then keeps alive. A label runs to megabytes, and this spares it a copy.
class LabelText {
public:
    LabelText() = default;
    LabelText(std::string text) noexcept : owned_(std::move(text)) {}  // NOLINT: a text converts
    LabelText(std::string_view text) : owned_(text) {}                 // NOLINT
    LabelText(const char* text) : owned_(text) {}                      // NOLINT
    // `part` of the text that `keeper` keeps alive.
    LabelText(std::shared_ptr<const void> keeper, std::string_view part) noexcept
        : keeper_(std::move(keeper)), part_(part) {}

    std::string_view view() const noexcept { return keeper_ ? part_ : std::string_view(owned_); }
    bool operator==(const LabelText& other) const noexcept { return view() == other.view(); }

private:
    std::string owned_;
    std::shared_ptr<const void> keeper_;
    std::string_view part_;
};

// One label of a job. Only `data_base64` is used; a label is numbered by its position.
struct JobLabel {
    std::uint32_t index = 0;
    std::optional<std::string> filename;
    std::optional<std::uint64_t> size;
    LabelText data_base64;
    bool operator==(const JobLabel&) const = default;
};

// One print job.
struct JobEnvelope {
    std::string protocol;  // carried, never read by the job road
    std::string handshake;
    std::optional<std::string> driver_variant;
    Transport transport;
    std::vector<JobLabel> labels;
    bool operator==(const JobEnvelope&) const = default;
};

struct StatusQueryRequest {
    std::string protocol;  // a protocol's wire name, looked up by the handler
    Transport transport;
    bool operator==(const StatusQueryRequest&) const = default;
};

struct SoftRebootRequest {
    std::string protocol;
    Transport transport;
    bool operator==(const SoftRebootRequest&) const = default;
};

// Where the text came from: an HTTP body's faults name the path of the value at fault, a
// WebSocket message's do not.
enum class ReadMode : std::uint8_t { HttpBody, WebSocketMessage };

struct RequestError {
    // Syntax: the text is not well-formed JSON (HTTP answers 400). Shape: well-formed JSON
    // that does not fit the record (HTTP answers 422).
    enum class Kind : std::uint8_t { Syntax, Shape };
    Kind kind = Kind::Syntax;
    std::string path;  // e.g. "labels[2]" or "transport.type"; empty at the top level
    std::string text;  // e.g. "missing field `data_base64`"
    std::size_t line = 1;
    std::size_t column = 0;

    // "{path}: {text} at line {line} column {column}", without "{path}: " when the path is
    // empty.
    std::string message() const;
    bool operator==(const RequestError&) const = default;
};

std::expected<JobEnvelope, RequestError> read_job_envelope(std::string_view json, ReadMode mode);
// The same, except that a label's base64 text that needs no unescaping stays in `json`, which
// the label shares, rather than being copied out of it.
std::expected<JobEnvelope, RequestError> read_job_envelope(std::shared_ptr<const std::string> json, ReadMode mode);
std::expected<StatusQueryRequest, RequestError> read_status_query_request(std::string_view json, ReadMode mode);
std::expected<SoftRebootRequest, RequestError> read_soft_reboot_request(std::string_view json, ReadMode mode);

}  // namespace parvello
