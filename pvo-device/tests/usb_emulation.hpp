#pragma once
// USB printers emulated in user space with umockdev: a sysfs device with real descriptors that
// libusb enumerates and opens, and usbdevfs ioctls (claim, release, URBs) answered in this
// process by a small device model.
//
// The emulation needs libumockdev-preload in the process. A test that uses it calls
// `run_in_umockdev_child()` first: outside the emulation it runs the same test again in a
// child process with the preload library and reports that child's result.
#include <cstdint>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pvo-device/usb.hpp"

using UMockdevTestbed = struct _UMockdevTestbed;
using UMockdevIoctlBase = struct _UMockdevIoctlBase;
using UMockdevIoctlClient = struct _UMockdevIoctlClient;

namespace pvo_device::test {

// True when this test was run in a child process (its result already reported): the caller
// returns at once. False when the emulation is available in this process.
bool run_in_umockdev_child();

struct PrinterSetup {
    std::uint16_t vendor_id = 0x0922;
    std::uint16_t product_id = 0x0028;
    std::optional<std::string> serial;        // UTF-8, served as a UTF-16LE string descriptor
    std::optional<std::string> manufacturer;  // string descriptor 1, served the same way
    std::optional<std::string> product;       // string descriptor 2
    // The answer to the printer-class GET_DEVICE_ID request; none: the request stalls.
    std::optional<std::vector<std::uint8_t>> device_id;
    bool bulk_in = true;        // false: interface 0 has only its bulk OUT endpoint
    std::uint16_t packet = 64;  // max packet size of both bulk endpoints
    bool configured = true;     // false: no configuration is active
    // Also bound to the kernel's printer-class driver as /dev/usb/lp<N>.
    std::optional<unsigned> printer_class;
    // false: its device node is missing, so opening the device fails (as for a device in use
    // or without permission to open it).
    bool openable = true;
};

// The emulated device's side: what it was sent and what it answers.
class EmulatedPrinter {
public:
    // Each queued reply completes one bulk IN transfer (cut to the transfer's length). With
    // none queued an IN transfer stays pending until it is cancelled.
    void queue_reply(std::vector<std::uint8_t> bytes);
    // Bulk OUT transfers stay pending until they are cancelled.
    void stall_writes();
    std::vector<std::vector<std::uint8_t>> writes() const;  // payloads of completed OUT transfers
    std::vector<std::string> events() const;                // claim/release/driver events, in order
    // How many times the device was opened (libusb asks a freshly opened device for its
    // capabilities).
    std::size_t opens() const;
    // The wIndex of every GET_DEVICE_ID request received, in order.
    std::vector<std::uint16_t> device_id_requests() const;
    // The device's end of its printer-class node, when it has one.
    int printer_class_fd() const { return lp_fd_; }

private:
    friend class EmulatedUsb;
    struct Urb;
    bool handle(UMockdevIoctlClient* client);
    bool submit(UMockdevIoctlClient* client);
    bool reap(UMockdevIoctlClient* client);
    bool discard(UMockdevIoctlClient* client);
    void note(std::string event);

    PrinterSetup setup_;
    int lp_fd_ = -1;
    mutable std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> replies_;
    bool writes_stall_ = false;
    std::vector<std::vector<std::uint8_t>> writes_;
    std::vector<std::string> events_;
    std::vector<std::uint16_t> device_id_requests_;
    std::size_t opens_ = 0;
    std::vector<std::shared_ptr<Urb>> urbs_;  // submitted, not yet reaped
};

class EmulatedUsb {
public:
    EmulatedUsb();
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    // Plugs in a printer on bus 1 (with its sysfs ids and descriptors, and its printer-class
    // node if the setup asks for one); the returned model lives as long as this bus.
    EmulatedPrinter& add(const PrinterSetup& setup);

private:
    static int on_ioctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);

    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    std::map<std::string, std::unique_ptr<EmulatedPrinter>> printers_;  // by device node
};

// Two printers with the same ids, told apart by their serials: first "LOCKED", which cannot be
// opened, then "FREE".
struct SameIdPrinters {
    EmulatedPrinter& locked;
    EmulatedPrinter& free;
};
SameIdPrinters add_same_id_printers(EmulatedUsb& bus, PrinterSetup setup = {});

// A test on an emulated bus. Each test body starts with `if (delegated_) return;`: the test
// then ran in a child process that had the emulation.
class EmulatedUsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        delegated_ = run_in_umockdev_child();
        if (!delegated_) bus_.emplace();
    }

    // The system's own sysfs and /dev (the emulated ones), with short time-outs.
    static UsbOptions short_times() {
        using std::chrono::milliseconds;
        UsbOptions o;
        o.timings = {milliseconds{150}, milliseconds{150}, milliseconds{40}};
        return o;
    }

    bool delegated_ = false;
    std::optional<EmulatedUsb> bus_;
};

}  // namespace pvo_device::test
