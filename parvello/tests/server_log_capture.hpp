#pragma once
// Captures the server's and the desktop's log events in the test process.
#include "pvo-test-support/log_capture.hpp"

namespace parvello::test {

struct LogCapture {
    static pvo_test_support::LogCapture* get() {
        return pvo_test_support::LogCapture::install(
            "parvello::server=trace,http=trace,parvello::desktop=warn,parvello=warn");
    }
};

}  // namespace parvello::test
