#pragma once
// Turning a request's device address into an open device (whose writes and reads are the
// device library's surface).
//
// A USB device is opened at once; a serial port is opened at its first write or read; a TCP
// printer is connected anew for every write and never read. Bluetooth LE is not built into
// this program and the browser's own device access cannot be served from here: both are
// refused at opening.
#include <chrono>
#include <expected>
#include <string>

#include "job/job_error.hpp"
#include "parvello/request.hpp"
#include "pvo-device/transport.hpp"

namespace parvello {

// The refusal of a Bluetooth LE address (shown behind "transport: "): "Bluetooth LE support not
// compiled in; rebuild parvello with `PVO_WITH_BLE`".
std::string ble_refusal_text();

// The time limits of the device roads. The defaults are the agent's own; tests shorten them.
struct DeviceOptions {
    pvo_device::UsbOptions usb;
    pvo_device::SerialTimings serial;
    pvo_device::TcpTimings tcp;
    // The longest a single serial reply is waited for: a longer time-out asked by a delivery
    // procedure is cut to this. No limit by default.
    std::chrono::milliseconds reply_wait_limit = std::chrono::milliseconds::max();
};

// USB (interface 0): opened now, a failure gives JobError::Transport with the device error's
// text ("device not found: usb 0922:0028"). Network and serial: recorded only, never fails.
// Bluetooth LE: JobError::Transport with `ble_refusal_text()`. Browser: BrowserUnsupported.
std::expected<pvo_device::OpenTransport, JobError> open_transport(const Transport& address,
                                                                  const DeviceOptions& options = {});

}  // namespace parvello
