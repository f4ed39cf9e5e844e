// Fuzz target for the request reader: any bytes, read as each record in both modes. Besides
// the sanitizers it checks what callers rely on: the two modes agree but for the path, a fault
// has a sane position and a message that is valid UTF-8 (it is sent back inside JSON).
#include "parvello/request.hpp"
#include "pvo-util/text.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

template <class T>
void check_pair(std::string_view text, const std::expected<T, parvello::RequestError>& http,
                const std::expected<T, parvello::RequestError>& websocket) {
    check(http.has_value() == websocket.has_value());
    if (http) {
        check(*http == *websocket);
        return;
    }
    const parvello::RequestError& a = http.error();
    const parvello::RequestError& b = websocket.error();
    check(a.kind == b.kind && a.text == b.text && a.line == b.line && a.column == b.column);
    check(b.path.empty());
    check(!a.text.empty() && a.line >= 1 && a.line <= text.size() + 1 && a.column <= text.size());
    check(pvo_util::is_valid_utf8(a.message()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using parvello::ReadMode;
    check_pair(text, parvello::read_job_envelope(text, ReadMode::HttpBody),
               parvello::read_job_envelope(text, ReadMode::WebSocketMessage));
    check_pair(text, parvello::read_status_query_request(text, ReadMode::HttpBody),
               parvello::read_status_query_request(text, ReadMode::WebSocketMessage));
    check_pair(text, parvello::read_soft_reboot_request(text, ReadMode::HttpBody),
               parvello::read_soft_reboot_request(text, ReadMode::WebSocketMessage));
    return 0;
}
