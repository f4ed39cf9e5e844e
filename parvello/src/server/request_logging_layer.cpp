#include <chrono>
#include <string>

#include <fmt/format.h>

#include "pvo-log/log.hpp"
#include "server/listener.hpp"
#include "server/routes.hpp"

namespace parvello {

namespace {

using pvo_log::Level;
using Clock = std::chrono::steady_clock;

std::string http_version(unsigned version) {
    std::string text = "HTTP/";
    text += std::to_string(version / 10);
    text += '.';
    text += std::to_string(version % 10);
    return text;
}

// Every event of the request is in its span "request", which belongs to the server's target:
// a directive such as parvello::server[request{method=POST}]=debug selects the events of POST
// requests, whatever their own target.
struct RequestSpan {
    explicit RequestSpan(const Request& request)
        : fields{{"method", std::string(request.method_name())},
                 {"uri", std::string(request.target())},
                 {"version", http_version(request.version())}},
          span{"request", kServerTarget, fields} {}

    const pvo_log::Field fields[3];
    const pvo_log::Span span;
};

void log_answer(const Request& request, const Response& response, Clock::time_point started) {
    const RequestSpan request_span(request);
    const pvo_log::Span* span = &request_span.span;
    const unsigned status = status_code(response.status);
    const bool finished = pvo_log::enabled(Level::Debug, kRequestLogTarget, span);
    const bool failed = status >= 500 && pvo_log::enabled(Level::Error, kRequestLogTarget, span);
    if (!finished && !failed) return;
    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    if (finished) {
        pvo_log::emit(Level::Debug, kRequestLogTarget, "finished processing request",
                      {{"latency", fmt::format("{} ms", latency), false}, {"status", std::to_string(status), false}},
                      span);
    }
    if (failed) {
        pvo_log::emit(Level::Error, kRequestLogTarget, "response failed",
                      {{"classification", fmt::format("Status code: {}", status)},
                       {"latency", fmt::format("{} ms", latency), false}},
                      span);
    }
}

}  // namespace

LayerEntry request_logging_layer(Request& request) {
    const auto started = Clock::now();
    {
        const RequestSpan request_span(request);
        if (pvo_log::enabled(Level::Debug, kRequestLogTarget, &request_span.span)) {
            pvo_log::emit(Level::Debug, kRequestLogTarget, "started processing request", {}, &request_span.span);
        }
    }
    return AnswerEdit([&request, started](Response& response) { log_answer(request, response, started); });
}

}  // namespace parvello
