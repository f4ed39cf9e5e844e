// Listing the attached USB devices through libusb, on an emulated bus.
#include "pvo-device/usb_devices.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "usb_emulation.hpp"

namespace pvo_device {
namespace {

using test::PrinterSetup;
using ::testing::UnorderedElementsAreArray;

// Devices are listed in libusb's order, which is not the order they were plugged in.
class UsbListing : public test::EmulatedUsbTest {
protected:
    void plug_two() {
        PrinterSetup named;
        named.serial = "Ünï-42✓";
        bus_->add(named);
        PrinterSetup unnamed;
        unnamed.product_id = 0x0029;
        bus_->add(unnamed);
    }
};

TEST_F(UsbListing, GivesIdsBusAndAddressWithoutOpening) {
    if (delegated_) return;
    plug_two();
    const std::vector<UsbDeviceInfo> expected = {
        {0x0922, 0x0028, 1, 2, std::nullopt},
        {0x0922, 0x0029, 1, 3, std::nullopt},
    };
    EXPECT_THAT(list_usb_devices(UsbSerials::Skip), UnorderedElementsAreArray(expected));
}

TEST_F(UsbListing, ReadsSerialNumbersWhenAsked) {
    if (delegated_) return;
    plug_two();
    const std::vector<UsbDeviceInfo> expected = {
        {0x0922, 0x0028, 1, 2, "Ünï-42✓"},
        {0x0922, 0x0029, 1, 3, std::nullopt},
    };
    EXPECT_THAT(list_usb_devices(UsbSerials::Read), UnorderedElementsAreArray(expected));
    // The listing leaves every device free for the next open.
    EXPECT_TRUE(open_usb(UsbTarget{0x0922, 0x0028, "Ünï-42✓", 0}, short_times()).has_value());
}

}  // namespace
}  // namespace pvo_device
