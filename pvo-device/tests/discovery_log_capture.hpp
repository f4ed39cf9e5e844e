#pragma once
// Discovery's warnings, captured in the test process.
#include <string>

#include "pvo-device/discovery.hpp"
#include "pvo-test-support/log_capture.hpp"

namespace pvo_device::testing {

struct DiscoveryLog {
    static pvo_test::LogCapture* get() {
        return pvo_test::LogCapture::install(std::string(kDiscoveryLogTarget) + "=trace");
    }
};

}  // namespace pvo_device::testing
