#include <chrono>
#include <string>

#include <fmt/format.h>

#include "pvo-log/log.hpp"
#include "server/routes.hpp"

namespace parvello {

namespace {

std::string http_version(unsigned version) {
    return fmt::format("HTTP/{}.{}", version / 10, version % 10);
}

}  // namespace

asio::awaitable<Response> request_logging_layer(Request& request, const Next& next) {
    using pvo_log::Level;
    const auto started = std::chrono::steady_clock::now();
    // Every event of the request names it, as a span would.
    const std::string method(request.header().method_string());
    const std::string uri(request.target());
    const std::string version = http_version(request.header().version());
    if (pvo_log::enabled(Level::Debug, kRequestLogTarget)) {
        pvo_log::emit(Level::Debug, kRequestLogTarget, "started processing request",
                      {{"span", "request"}, {"method", method}, {"uri", uri}, {"version", version}});
    }

    Response response = co_await next(request);

    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started).count();
    const unsigned status = response.message.result_int();
    if (pvo_log::enabled(Level::Debug, kRequestLogTarget)) {
        pvo_log::emit(Level::Debug, kRequestLogTarget, "finished processing request",
                      {{"span", "request"}, {"method", method}, {"uri", uri}, {"version", version},
                       {"latency", fmt::format("{} ms", latency), false},
                       {"status", std::to_string(status), false}});
    }
    if (status >= 500 && pvo_log::enabled(Level::Error, kRequestLogTarget)) {
        pvo_log::emit(Level::Error, kRequestLogTarget, "response failed",
                      {{"span", "request"}, {"method", method}, {"uri", uri}, {"version", version},
                       {"classification", fmt::format("Status code: {}", status)},
                       {"latency", fmt::format("{} ms", latency), false}});
    }
    co_return response;
}

}  // namespace parvello
