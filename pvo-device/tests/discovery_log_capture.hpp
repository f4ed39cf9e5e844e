#pragma once
// Discovery's warnings as "LEVEL target: message" lines, captured in the test process.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pvo-device/discovery.hpp"
#include "pvo-log/filter.hpp"
#include "pvo-log/format.hpp"
#include "pvo-log/stack.hpp"

namespace pvo_device::testing {

class DiscoveryLog final : public pvo_log::Writer {
public:
    // The process's capture, installed on first use; null when another stack came first.
    static DiscoveryLog* get() {
        static DiscoveryLog* const capture = []() -> DiscoveryLog* {
            auto writer = std::make_unique<DiscoveryLog>();
            DiscoveryLog* raw = writer.get();
            std::vector<std::unique_ptr<pvo_log::Writer>> writers;
            writers.push_back(std::move(writer));
            auto filter = pvo_log::parse_filter(std::string(kDiscoveryLogTarget) + "=trace").filter;
            return pvo_log::install(std::make_unique<pvo_log::Stack>(std::move(filter), std::move(writers))) ? raw
                                                                                                            : nullptr;
        }();
        return capture;
    }

    void write(const pvo_log::Event& event) noexcept override {
        try {
            std::string line = std::string(pvo_log::level_word(event.level)) + " " + std::string(event.target) +
                               ": " + pvo_log::visit_message(event.fields).value_or("");
            std::lock_guard lock(mutex_);
            lines_.push_back(std::move(line));
        } catch (...) {
        }
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace pvo_device::testing
