#include "logging.hpp"

#include <cstdlib>
#include <utility>
#include <vector>

#include "pvo-log/filter.hpp"
#include "pvo-log/line_writer.hpp"
#include "pvo-util/text.hpp"

namespace parvello {

bool console_wants_colour(bool stderr_is_terminal, bool no_color_present, bool stdout_is_terminal) noexcept {
    return stderr_is_terminal && !no_color_present && stdout_is_terminal;
}

bool console_wants_colour() {
    return console_wants_colour(pvo_log::FdOutput::standard_error().is_terminal(), std::getenv("NO_COLOR") != nullptr,
                                pvo_log::FdOutput::standard_output().is_terminal());
}

std::string filter_text(const char* variable_value) {
    if (variable_value == nullptr || !pvo_util::is_valid_utf8(variable_value)) return {};
    return variable_value;
}

std::unique_ptr<pvo_log::Stack> build_logging_stack(LoggingSetup setup) {
    std::optional<pvo_log::FdOutput> file;
    if (setup.log_file) {
        if (auto opened = pvo_log::FdOutput::open_append(*setup.log_file)) file = std::move(*opened);
    }

    auto [filter, rejected] = pvo_log::parse_filter(setup.filter);
    for (const auto& piece : rejected) (void)setup.console.write(piece.message() + "\n");
    // The program's own target always logs at INFO and above; longer targets stay adjustable.
    filter.add({"parvello", pvo_log::LevelFilter::Info});

    std::vector<std::unique_ptr<pvo_log::Writer>> writers;
    writers.push_back(std::make_unique<pvo_log::LineWriter>(std::move(setup.console), setup.ansi, setup.clock));
    if (file) writers.push_back(std::make_unique<pvo_log::LineWriter>(std::move(*file), false, setup.clock));
    if (setup.buffer) writers.push_back(std::make_unique<LogBufferSink>(std::move(setup.buffer)));
    return std::make_unique<pvo_log::Stack>(std::move(filter), std::move(writers));
}

void install_logging(bool ansi, std::shared_ptr<LogBuffer> buffer, std::optional<std::filesystem::path> log_file) {
    LoggingSetup setup{.ansi = ansi,
                       .buffer = std::move(buffer),
                       .log_file = std::move(log_file),
                       .filter = filter_text(std::getenv(kLogFilterVariable.data()))};
    if (auto installed = pvo_log::install(build_logging_stack(std::move(setup))); !installed) {
        (void)pvo_log::FdOutput::standard_error().write(installed.error().message() + "\n");
        std::abort();
    }
}

}  // namespace parvello
