#pragma once
// Shared by the request reader tests: a read's outcome as one comparable line, and the row of
// their case tables.
#include "parvello/request.hpp"

#include <string>

namespace request_test {

// One malformed job and the error text its read must give.
struct Case {
    std::string json;
    std::string expected;
};

// "ok", or the HTTP status the fault's kind leads to followed by the reader's message:
// "422 labels[2]: missing field `data_base64` at line 1 column 90".
template <class T>
std::string outcome(const std::expected<T, parvello::RequestError>& read) {
    if (read) return "ok";
    const bool syntax = read.error().kind == parvello::RequestError::Kind::Syntax;
    return (syntax ? "400 " : "422 ") + read.error().message();
}

inline std::string http(std::string_view json) {
    return outcome(parvello::read_job_envelope(json, parvello::ReadMode::HttpBody));
}

inline std::string websocket(std::string_view json) {
    return outcome(parvello::read_job_envelope(json, parvello::ReadMode::WebSocketMessage));
}

}  // namespace request_test
