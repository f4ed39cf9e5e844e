// USB devices read from a sysfs tree built in a temporary folder: attribute texts as the
// kernel writes them, and a listing that reads no more of an unwanted device than its ids.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "discovery_listing.hpp"
#include "pvo-test-support/temp_dir.hpp"
#include "sysfs_dir.hpp"
#include "usb_sysfs.hpp"

namespace pvo_device {
namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(SysfsAttribute, TheTextAsWrittenWithoutTheClosingLineBreak) {
    const pvo_test_support::TempDir dir;
    struct Case {
        std::string written;
        std::string read;
    };
    const Case cases[] = {
        {"0922\n", "0922"},
        {" SN 7 \n", " SN 7 "},  // blanks kept
        {"no line break", "no line break"},
        {"two\n\n", "two\n"},  // only the closing line break goes
        {"", ""},
        {std::string(4096, 'a') + "\n", std::string(4096, 'a')},  // longer than one read
        {std::string(9000, 'b'), std::string(9000, 'b')},
    };
    SysfsDir attributes(dir.path());
    for (const Case& c : cases) {
        write_file(dir.path() / "attribute", c.written);
        EXPECT_EQ(attributes.read_attribute("attribute"), c.read) << c.written.size() << " bytes";
    }
    EXPECT_EQ(attributes.read_attribute("missing"), std::nullopt);
}

class SysfsUsbTree : public ::testing::Test {
protected:
    fs::path sys_root() const { return dir_.path() / "sys"; }

    void add_device(const std::string& name, const std::string& vendor, const std::string& product, unsigned address,
                    const std::optional<std::string>& serial = std::nullopt) {
        const fs::path device = sys_root() / "bus/usb/devices" / name;
        write_file(device / "idVendor", vendor + "\n");
        write_file(device / "idProduct", product + "\n");
        write_file(device / "busnum", "1\n");
        write_file(device / "devnum", std::to_string(address) + "\n");
        if (serial) write_file(device / "serial", *serial + "\n");
    }

private:
    pvo_test_support::TempDir dir_;
};

TEST_F(SysfsUsbTree, AFilteredListingKeepsTheWantedDevicesInAddressOrder) {
    add_device("1-2", "0922", "0028", 5, "A");
    add_device("1-3", "1234", "5678", 3, "B");  // a vendor not wanted
    add_device("1-4", "0922", "0029", 4, "C");  // a product not wanted
    add_device("1-5", "0922", "0030", 2, "D");
    fs::create_directories(sys_root() / "bus/usb/devices/1-5:1.0");  // its interface

    std::vector<std::uint16_t> vendors_asked;
    std::vector<std::uint16_t> products_asked;
    const UsbIdFilter wanted{
        .vendor =
            [&](std::uint16_t vid) {
                vendors_asked.push_back(vid);
                return vid == 0x0922;
            },
        .device =
            [&](std::uint16_t, std::uint16_t pid) {
                products_asked.push_back(pid);
                return pid != 0x0029;
            },
    };
    const auto devices = list_usb_devices(wanted, sys_root());
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].product_id, 0x0030);
    EXPECT_EQ(devices[0].serial, "D");
    EXPECT_EQ(devices[1].product_id, 0x0028);
    EXPECT_EQ(devices[1].serial, "A");
    EXPECT_THAT(vendors_asked, UnorderedElementsAre(0x0922, 0x1234, 0x0922, 0x0922));
    // The product of a device whose vendor is not wanted is never asked about.
    EXPECT_THAT(products_asked, UnorderedElementsAre(0x0028, 0x0029, 0x0030));

    // Unfiltered, every device is listed, each with its own serial.
    std::vector<std::optional<std::string>> serials;
    for (const ListedUsbDevice& d : list_usb_devices({}, sys_root())) serials.push_back(d.serial);
    EXPECT_EQ(serials, (std::vector<std::optional<std::string>>{"D", "B", "C", "A"}));
}

TEST_F(SysfsUsbTree, ADeviceWithoutItsPlaceOrWithABadIdIsLeftOut) {
    add_device("1-2", "0922", "0028", 2);
    add_device("1-3", "0922", "0028", 3);
    fs::remove(sys_root() / "bus/usb/devices/1-3/devnum");
    add_device("1-4", "09x2", "0028", 4);
    add_device("1-5", "0922", "", 5);
    const auto devices = list_usb_devices({}, sys_root());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].vendor_id, 0x0922);
    EXPECT_EQ(devices[0].serial, std::nullopt);
}

// The kernel names a device after its bus ("<bus>-<ports>", "usb<bus>" for a root hub); a
// name of another form takes the bus from busnum.
TEST_F(SysfsUsbTree, TheBusComesFromTheNameOrElseFromBusnum) {
    add_device("usb2", "1d6b", "0002", 1, "root");
    add_device("1-3", "0922", "0028", 3, "port");
    add_device("other", "0922", "0029", 2, "other");
    fs::remove(sys_root() / "bus/usb/devices/usb2/busnum");
    fs::remove(sys_root() / "bus/usb/devices/1-3/busnum");
    std::vector<std::optional<std::string>> serials;
    for (const ListedUsbDevice& d : list_usb_devices({}, sys_root())) serials.push_back(d.serial);
    EXPECT_EQ(serials, (std::vector<std::optional<std::string>>{"other", "port", "root"}));
    fs::remove(sys_root() / "bus/usb/devices/other/busnum");
    EXPECT_EQ(list_usb_devices({}, sys_root()).size(), 2u);
}

}  // namespace
}  // namespace pvo_device
