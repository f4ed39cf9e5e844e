#pragma once
// Captures log events in the test process as "LEVEL target: message name=value ..." lines, an
// event in a span as "LEVEL span{name=value ...}: target: message name=value ...".
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-log/filter.hpp"
#include "pvo-log/format.hpp"
#include "pvo-log/stack.hpp"

namespace pvo_test_support {

class LogCapture final : public pvo_log::Writer {
public:
    // The process's capture, installed with these filter directives on the first call (later
    // calls get the same capture whatever they pass); null when another logging stack was
    // installed first.
    static LogCapture* install(std::string_view directives) {
        static LogCapture* const capture = [directives]() -> LogCapture* {
            auto writer = std::make_unique<LogCapture>();
            LogCapture* raw = writer.get();
            std::vector<std::unique_ptr<pvo_log::Writer>> writers;
            writers.push_back(std::move(writer));
            auto filter = pvo_log::parse_filter(std::string(directives)).filter;
            return pvo_log::install(std::make_unique<pvo_log::Stack>(std::move(filter), std::move(writers))) ? raw
                                                                                                             : nullptr;
        }();
        return capture;
    }

    // While it lives, the capture keeps only the events that `directives` let pass too, so a
    // test can try a filter of its own on the process's one capture.
    class [[nodiscard]] Narrowed {
    public:
        Narrowed(LogCapture& capture, std::string_view directives) : capture_(capture) {
            std::lock_guard lock(capture_.mutex_);
            capture_.narrowing_ = pvo_log::parse_filter(directives).filter;
        }
        ~Narrowed() {
            std::lock_guard lock(capture_.mutex_);
            capture_.narrowing_.reset();
        }
        Narrowed(const Narrowed&) = delete;
        Narrowed& operator=(const Narrowed&) = delete;

    private:
        LogCapture& capture_;
    };

    void write(const pvo_log::Event& event) noexcept override {
        try {
            std::string line = std::string(pvo_log::level_word(event.level)) + " ";
            if (event.span != nullptr) {
                line += std::string(event.span->name);
                if (!event.span->fields.empty()) line += "{" + joined(event.span->fields) + "}";
                line += ": ";
            }
            line += std::string(event.target) + ": " + pvo_log::visit_message(event.fields).value_or("");
            for (const auto& field : event.fields) {
                if (field.name != "message") line += " " + std::string(field.name) + "=" + field.value;
            }
            std::lock_guard lock(mutex_);
            if (narrowing_ && !narrowing_->enabled(event.level, event.target, event.span)) return;
            lines_.push_back(std::move(line));
        } catch (...) {}
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    // How many lines were logged so far, to look only at the lines logged after it.
    std::size_t mark() const {
        std::lock_guard lock(mutex_);
        return lines_.size();
    }

    // The lines from `from` on that contain `text`, in the order they were logged.
    std::vector<std::string> lines_with(std::string_view text, std::size_t from = 0) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> found;
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (lines_[i].find(text) != std::string::npos) found.push_back(lines_[i]);
        }
        return found;
    }

private:
    static std::string joined(std::span<const pvo_log::Field> fields) {
        std::string text;
        for (const auto& field : fields) {
            if (!text.empty()) text += ' ';
            text += std::string(field.name) + "=" + field.value;
        }
        return text;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::optional<pvo_log::Filter> narrowing_;
};

}  // namespace pvo_test_support
