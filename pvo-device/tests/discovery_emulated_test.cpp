// Discovery against emulated hardware: the real sysfs listing and libserialport read USB
// devices and serial ports that umockdev presents, matched against the built-in catalog.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "discovery_listing.hpp"
#include "discovery_log_capture.hpp"
#include "emulated_hardware.hpp"
#include "pvo-device/discovery.hpp"
#include "usb_emulation.hpp"

namespace pvo_device {
namespace {

using pvo_status::Protocol;
using test::EmulatedHardware;

class EmulatedDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        delegated_ = test::run_in_umockdev_child();
        if (delegated_) return;
        log_ = test::DiscoveryLog::get();
        ASSERT_NE(log_, nullptr);
        hardware_.emplace();
    }

    // A NIIMBOT printer on a USB serial port (the ids are the test's own).
    void add_niimbot_port() {
        hardware_->add_usb_serial_port({0x1111, 0x2222, "NB-0001", "NIIMBOT", "Niimbot Label Printer"}, "ttyACM0");
    }

    static DiscoveredDevice usb(std::uint16_t vid, std::uint16_t pid, std::optional<std::string> serial,
                                std::string brand, std::string model, Protocol protocol) {
        return {vid, pid, std::move(serial), std::move(brand), std::move(model), protocol, "usb", std::nullopt};
    }

    static const DiscoveredDevice& niimbot_record() {
        static const DiscoveredDevice record{
            0x1111, 0x2222, "NB-0001", "NIIMBOT", "Niimbot Label Printer", Protocol::Niimbot, "serial", "/dev/ttyACM0"};
        return record;
    }

    bool delegated_ = false;
    pvo_test_support::LogCapture* log_ = nullptr;
    std::optional<EmulatedHardware> hardware_;
};

TEST_F(EmulatedDiscovery, BuiltInCatalogNamesTheAttachedPrintersAndPortsFollow) {
    if (delegated_) return;
    hardware_->add_usb_device({0x0922, 0x0028, "LW550-0001"});
    hardware_->add_usb_device({0x0922, 0x9999});             // by the vendor-only hint
    hardware_->add_usb_device({0x1203, 0x0160, "TE-7"});     // the first of the models sharing its ids
    hardware_->add_usb_device({0x1234, 0x5678, "UNKNOWN"});  // no catalog model
    hardware_->add_usb_serial_port({0x04F9, 0x2064, "P700-3", "Brother", "PT-P700"}, "ttyUSB0");
    add_niimbot_port();
    hardware_->add_native_serial_port("ttyS0");

    const std::vector<DiscoveredDevice> expected{
        usb(0x0922, 0x0028, "LW550-0001", "DYMO", "LabelWriter 550", Protocol::DymoLw),
        usb(0x0922, 0x9999, std::nullopt, "DYMO", "LabelWriter", Protocol::Dymo),
        usb(0x1203, 0x0160, "TE-7", "TSC", "TE200", Protocol::Tspl),
        usb(0x04F9, 0x2064, "P700-3", "Brother", "PT-P700", Protocol::BrotherPt),
        niimbot_record(),
        // The printer's own serial port is a second record, unrecognised and not merged.
        {0x04F9, 0x2064, "P700-3", std::nullopt, std::nullopt, std::nullopt, "serial", "/dev/ttyUSB0"},
    };
    EXPECT_EQ(discover_devices(), expected);
    EXPECT_EQ(log_->lines(), std::vector<std::string>{});
}

TEST_F(EmulatedDiscovery, ACatalogThatFailsToLoadIsWarnedAboutAndOnlyPortsAreListed) {
    if (delegated_) return;
    hardware_->add_usb_device({0x0922, 0x0028, "LW550-0001"});
    add_niimbot_port();

    EXPECT_EQ(discover_devices({.catalog_text = "[[printers]]\r\nbrand = \"DYMO\"\r\n"}),
              std::vector{niimbot_record()});
    EXPECT_EQ(log_->lines(),
              std::vector<std::string>{"WARN pvo_device::discovery: catalog load failed: failed to parse catalog: "
                                       "catalog uses obsolete [[printers]] tables; rename them to [[devices]]"});
}

TEST_F(EmulatedDiscovery, WithoutSerialPortsTheListingFailsWithAWarningAndUsbDevicesRemain) {
    if (delegated_) return;
    hardware_->add_usb_device({0x0922, 0x0028});  // no tty at all: there is no /sys/class/tty

    EXPECT_EQ(discover_devices(),
              std::vector{usb(0x0922, 0x0028, std::nullopt, "DYMO", "LabelWriter 550", Protocol::DymoLw)});
    const auto lines = log_->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("WARN pvo_device::discovery: serial enumeration failed: ")) << lines[0];
}

TEST_F(EmulatedDiscovery, NothingRecognisedAndNoUsbPortGivesAnEmptyArray) {
    if (delegated_) return;
    hardware_->add_usb_device({0x1234, 0x5678});
    hardware_->add_native_serial_port("ttyS0");
    EXPECT_EQ(write_device_list(discover_devices()), "[]");
    EXPECT_EQ(log_->lines(), std::vector<std::string>{});
}

TEST_F(EmulatedDiscovery, ListingsCarryTheIdsAndTextsAsTheSystemGivesThem) {
    if (delegated_) return;
    hardware_->add_usb_device({0x0922, 0x0028, "A B"});
    hardware_->add_usb_device({0x0922, 0x0028, std::nullopt});  // two identical printers
    hardware_->add_usb_serial_port({0x3333, 0x4444, std::nullopt, std::nullopt, std::nullopt}, "ttyUSB0");

    const auto usb_devices = list_usb_devices();
    ASSERT_EQ(usb_devices.size(), 3u);
    EXPECT_EQ(usb_devices[0].serial, "A B");
    EXPECT_EQ(usb_devices[1].serial, std::nullopt);
    EXPECT_EQ(usb_devices[2].vendor_id, 0x3333);

    const auto ports = list_serial_ports();
    ASSERT_TRUE(ports.has_value()) << ports.error();
    ASSERT_EQ(ports->size(), 1u);
    const ListedSerialPort& port = ports->front();
    EXPECT_EQ(port.name, "/dev/ttyUSB0");
    EXPECT_EQ(port.kind, PortKind::Usb);
    EXPECT_EQ(port.vendor_id, 0x3333);
    EXPECT_EQ(port.product_id, 0x4444);
    EXPECT_EQ(port.serial, std::nullopt);
    EXPECT_EQ(port.manufacturer, std::nullopt);
    EXPECT_EQ(port.product, std::nullopt);
}

}  // namespace
}  // namespace pvo_device
