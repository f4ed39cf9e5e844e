#include <chrono>
#include <string>

#include <fmt/format.h>

#include "pvo-log/log.hpp"
#include "server/listener.hpp"
#include "server/routes.hpp"

namespace parvello {

namespace {

std::string http_version(unsigned version) { return fmt::format("HTTP/{}.{}", version / 10, version % 10); }

}  // namespace

asio::awaitable<Response> request_logging_layer(Request& request, const Next& next) {
    using pvo_log::Level;
    const auto started = std::chrono::steady_clock::now();
    // Every event of the request is in its span "request", which belongs to the server's target:
    // a directive such as parvello::server[request{method=POST}]=debug selects the events of
    // POST requests, whatever their own target.
    const pvo_log::Field span_fields[] = {{"method", std::string(request.method_name())},
                                          {"uri", std::string(request.target())},
                                          {"version", http_version(request.version())}};
    const pvo_log::Span span{"request", kServerTarget, span_fields};
    if (pvo_log::enabled(Level::Debug, kRequestLogTarget, &span)) {
        pvo_log::emit(Level::Debug, kRequestLogTarget, "started processing request", {}, &span);
    }

    Response response = co_await next(request);

    const auto latency =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    const unsigned status = status_code(response.status);
    if (pvo_log::enabled(Level::Debug, kRequestLogTarget, &span)) {
        pvo_log::emit(Level::Debug, kRequestLogTarget, "finished processing request",
                      {{"latency", fmt::format("{} ms", latency), false}, {"status", std::to_string(status), false}},
                      &span);
    }
    if (status >= 500 && pvo_log::enabled(Level::Error, kRequestLogTarget, &span)) {
        pvo_log::emit(Level::Error, kRequestLogTarget, "response failed",
                      {{"classification", fmt::format("Status code: {}", status)},
                       {"latency", fmt::format("{} ms", latency), false}},
                      &span);
    }
    co_return response;
}

}  // namespace parvello
