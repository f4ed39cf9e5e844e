// Which road open_usb takes, at the system's own /sys and /dev (emulated by umockdev): a
// printer served by the printer-class driver is used through its node; libusb is the fallback.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pvo-device/usb.hpp"
#include "test_bytes.hpp"
#include "usb_emulation.hpp"

namespace pvo_device {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::EmulatedPrinter;
using test::PrinterSetup;

Bytes receive(int fd, std::size_t count) {
    Bytes got;
    std::uint8_t chunk[256];
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

class UsbOpen : public test::EmulatedUsbTest {};

TEST_F(UsbOpen, PrinterClassNodeIsPreferredAndMatchesSerialInAnyCase) {
    if (delegated_) return;
    PrinterSetup setup;
    setup.serial = "ABC123";
    setup.printer_class = 0;
    EmulatedPrinter& printer = bus_->add(setup);

    auto c = open_usb(UsbTarget{0x0922, 0x0028, "abc123", 0}, short_times());
    ASSERT_TRUE(c) << c.error().message();
    EXPECT_EQ(c->road(), UsbConnection::Road::PrinterClass);

    const Bytes label = test::bytes_of("^XA^FDhello^FS^XZ");
    ASSERT_TRUE(usb_write(*c, label));
    EXPECT_EQ(receive(printer.printer_class_fd(), label.size()), label);

    const Bytes status = {0x1B, 0x00, 0x42};
    ASSERT_EQ(::write(printer.printer_class_fd(), status.data(), status.size()), 3);
    auto reply = usb_read(*c, 32);
    ASSERT_TRUE(reply) << reply.error().message();
    EXPECT_EQ(*reply, status);
    EXPECT_TRUE(printer.events().empty()) << "libusb must not have claimed the printer";
}

TEST_F(UsbOpen, PrinterClassNodeOfAnotherDeviceLeavesTheLibusbRoad) {
    if (delegated_) return;
    PrinterSetup other;
    other.product_id = 0x0029;
    other.printer_class = 0;
    bus_->add(other);
    EmulatedPrinter& printer = bus_->add(PrinterSetup{});

    auto c = open_usb(UsbTarget{0x0922, 0x0028, std::nullopt, 0}, short_times());
    ASSERT_TRUE(c) << c.error().message();
    EXPECT_EQ(c->road(), UsbConnection::Road::Libusb);
    EXPECT_EQ(printer.events(), std::vector<std::string>{"claim, kernel driver detached"});
}

}  // namespace
}  // namespace pvo_device
