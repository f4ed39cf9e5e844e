#include "server/oversized_head.hpp"

#include <algorithm>

#include <boost/beast/core/string.hpp>

#include "server/cors.hpp"

namespace parvello {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlanks = " \t";

std::string_view trim_blanks(std::string_view value) {
    const auto first = value.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return value.substr(first, value.find_last_not_of(kBlanks) - first + 1);
}

bool printable(std::string_view value) {
    return std::ranges::all_of(value, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || (byte >= 32 && byte <= 126);
    });
}

}  // namespace

std::optional<std::string> origin_in_partial_head(std::string_view bytes) {
    // Each field line follows a line break; the request line comes first. A line still cut
    // off at the end of the bytes is not looked at, nor anything after the empty line.
    for (std::size_t line = bytes.find(kLineEnd); line != std::string_view::npos;) {
        const std::size_t start = line + kLineEnd.size();
        const std::size_t end = bytes.find(kLineEnd, start);
        if (end == std::string_view::npos || end == start) return std::nullopt;
        const std::string_view field = bytes.substr(start, end - start);
        const std::size_t colon = field.find(':');
        if (colon != std::string_view::npos && beast::iequals(field.substr(0, colon), "origin")) {
            const std::string_view value = trim_blanks(field.substr(colon + 1));
            if (!printable(value)) return std::nullopt;
            return std::string(value);
        }
        line = end;
    }
    return std::nullopt;
}

HttpResponse head_too_large(std::string_view partial_head, std::size_t limit) {
    HttpResponse answer{http::status::request_header_fields_too_large, 11};
    answer.set(http::field::content_type, "text/plain; charset=utf-8");
    answer.body() = "request head larger than " + std::to_string(limit) + " bytes";
    auto origin = origin_in_partial_head(partial_head);
    if (origin && !origin_allowed(*origin)) origin.reset();
    apply_cors_headers(answer, origin);
    answer.keep_alive(false);
    answer.prepare_payload();
    return answer;
}

}  // namespace parvello
