// The request records and their readers: one reader for HTTP bodies and WebSocket messages,
// the mode deciding only whether a fault names the path of the value at fault.
#include "parvello/request.hpp"

#include "record_reader.hpp"

namespace parvello {
namespace request {
namespace {

constexpr auto kLabel = shape<JobLabel>(
    "struct JobLabel", "struct JobLabel with 4 elements", field("index", &JobLabel::index, Presence::Defaulted),
    field("filename", &JobLabel::filename, Presence::Optional), field("size", &JobLabel::size, Presence::Optional),
    field("data_base64", &JobLabel::data_base64));

constexpr auto kEnvelope =
    shape<JobEnvelope>("struct JobEnvelope", "struct JobEnvelope with 5 elements",
                       field("protocol", &JobEnvelope::protocol), field("handshake", &JobEnvelope::handshake),
                       field("driver_variant", &JobEnvelope::driver_variant, Presence::Optional),
                       field("transport", &JobEnvelope::transport), field("labels", &JobEnvelope::labels));

constexpr auto kStatusQuery = shape<StatusQueryRequest>(
    "struct StatusQueryRequest", "struct StatusQueryRequest with 2 elements",
    field("protocol", &StatusQueryRequest::protocol), field("transport", &StatusQueryRequest::transport));

constexpr auto kSoftReboot = shape<SoftRebootRequest>(
    "struct SoftRebootRequest", "struct SoftRebootRequest with 2 elements",
    field("protocol", &SoftRebootRequest::protocol), field("transport", &SoftRebootRequest::transport));

template <class R, class... T>
std::expected<R, RequestError> read_request(std::string_view text, ReadMode mode, const Shape<R, T...>& shape,
                                            std::shared_ptr<const void> keeper = {}) {
    json::Cursor in(text, mode == ReadMode::HttpBody, std::move(keeper));
    R out{};
    if (read_record(in, out, shape) && in.finish()) return out;
    const json::Fault& fault = *in.fault();
    const auto [line, column] = in.position(fault.at);
    return std::unexpected(RequestError{fault.syntax ? RequestError::Kind::Syntax : RequestError::Kind::Shape,
                                        fault.path, fault.text, line, column});
}

}  // namespace

bool read_value(json::Cursor& in, std::vector<JobLabel>& out) {
    if (in.peek() != '[') return refuse_type(in, "a sequence");
    if (!in.open()) return false;
    bool first = true;
    for (std::size_t i = 0;; ++i) {
        in.push_index(i);
        const auto step = in.next_element(first);
        if (step == json::Cursor::Step::Failed) return false;
        if (step == json::Cursor::Step::End) break;
        if (!read_record(in, out.emplace_back(), kLabel)) return false;
        in.pop();
    }
    in.pop();
    in.close();
    return true;
}

bool read_value(json::Cursor& in, LabelText& out) {
    json::Scalar value;
    if (!in.read_scalar(value)) return false;
    auto assigned = assign(value, out, in.keeper());
    return assigned ? true : in.shape_here(std::move(assigned.error()));
}

}  // namespace request

std::string RequestError::message() const {
    std::string out;
    if (!path.empty()) {
        out += path;
        out += ": ";
    }
    out += text;
    out += " at line " + std::to_string(line) + " column " + std::to_string(column);
    return out;
}

std::expected<JobEnvelope, RequestError> read_job_envelope(std::string_view json, ReadMode mode) {
    return request::read_request(json, mode, request::kEnvelope);
}

std::expected<JobEnvelope, RequestError> read_job_envelope(std::shared_ptr<const std::string> json, ReadMode mode) {
    const std::string_view text = *json;
    return request::read_request(text, mode, request::kEnvelope, std::move(json));
}

std::expected<StatusQueryRequest, RequestError> read_status_query_request(std::string_view json, ReadMode mode) {
    return request::read_request(json, mode, request::kStatusQuery);
}

std::expected<SoftRebootRequest, RequestError> read_soft_reboot_request(std::string_view json, ReadMode mode) {
    return request::read_request(json, mode, request::kSoftReboot);
}

}  // namespace parvello
