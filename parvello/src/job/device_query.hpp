#pragma once
// The two device operations beside printing: a printer's status report, and the soft reboot of
// a LabelWriter 550. Each opens the addressed device for the one operation and has closed it
// again before it returns, whatever the outcome. Failures are display texts.
#include <chrono>
#include <expected>
#include <functional>
#include <string>
#include <thread>

#include "job/open_transport.hpp"
#include "parvello/request.hpp"
#include "pvo-device/usb_identity.hpp"
#include "pvo-status/print_status.hpp"
#include "pvo-status/protocol.hpp"

namespace parvello {

struct DeviceQueryOptions {
    DeviceOptions device;
    pvo_device::UsbIdentityTimings identity;
    // How long a status reply's first bytes are waited for (USB keeps its own read limits).
    std::chrono::milliseconds status_read_limit{5'000};
    // How long a rebooted printer is held open after the reboot command.
    std::chrono::milliseconds reboot_hold{50};
    // Waits out the reboot hold with the device open; tests look at the device here.
    std::function<void(std::chrono::milliseconds)> hold = [](std::chrono::milliseconds wait) {
        std::this_thread::sleep_for(wait);
    };
};

// tspl: the USB identity of the addressed printer (a USB address is required: "USB Device ID
// identity requires a USB transport"). Every other protocol: its status request is written,
// the reply read (network printers answer on the same connection) and parsed. In order, the
// first failure ends it: a protocol without a status request; a device that does not open
// ("transport: ..." or the browser text); a failed write or read ("transport error: ..."); no
// reply ("status query timed out (empty reply)"); a reply the family parser refuses.
std::expected<pvo_status::PrintStatus, std::string> query_status(pvo_status::Protocol protocol,
                                                                 const Transport& address,
                                                                 const DeviceQueryOptions& options = {});

// DymoLw only ("soft reboot not supported for protocol {name}" otherwise, with nothing
// touched): writes ESC @ (1B 40), holds the device open for the reboot hold, then closes it.
std::expected<void, std::string> soft_reboot(pvo_status::Protocol protocol, const Transport& address,
                                             const DeviceQueryOptions& options = {});

}  // namespace parvello
