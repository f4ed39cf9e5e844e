#pragma once
// Discovery's warnings, captured in the test process.
#include <string>

#include "pvo-device/discovery.hpp"
#include "pvo-test-support/log_capture.hpp"

namespace pvo_device::test {

struct DiscoveryLog {
    static pvo_test_support::LogCapture* get() {
        return pvo_test_support::LogCapture::install(std::string(kDiscoveryLogTarget) + "=trace");
    }
};

}  // namespace pvo_device::test
