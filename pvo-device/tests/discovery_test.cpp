// Discovery's own logic without the system: matching listed USB devices against a small
// catalog, recognising serial ports, the order of the list and its JSON text.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pvo-device/discovery.hpp"

namespace pvo_device {
namespace {

using pvo_status::Protocol;

// Alpha has a vendor-only hint for 1000; Beta, later, an exact one for 1000:0002, which Gamma
// names too; Delta has no keys and only an exact mass-storage hint for its vendor 2000.
constexpr std::string_view kCatalog = R"(
[[devices]]
brand = "Alpha"
keys = ["A-1", "A1"]
name = "Alpha One"
protocol = "zpl"
dpi = 203
max_width_mm = 104
connections = [{ kind = "network", host = "alpha.local", port = 9100 }, { kind = "usb", vendor_id = 0x1000 }]

[[devices]]
brand = "Beta"
keys = ["B-1"]
name = "Beta One"
protocol = "tspl"
dpi = 203
max_width_mm = 104
connections = [{ kind = "ble", name = "Beta-1" }, { kind = "usb", vendor_id = 0x1000, product_id = 0x0002 }]

[[devices]]
brand = "Gamma"
keys = ["G-1"]
name = "Gamma One"
protocol = "escpos"
dpi = 203
max_width_mm = 72
connections = [
  { kind = "usb", vendor_id = 0x1000, product_id = 0x0002 },
  { kind = "usb", vendor_id = 0x3000, product_id = 0x0001 },
]

[[devices]]
brand = "Delta"
keys = []
name = "Delta"
protocol = "dymo"
dpi = 300
max_width_mm = 56
connections = [{ kind = "serial", path = "/dev/ttyS0" }, { kind = "usb", vendor_id = 0x2000, product_id = 0x0010, mode = "mass_storage" }]
)";

pvo_catalog::Catalog fixture_catalog() {
    pvo_catalog::Catalog catalog;
    const auto merged = pvo_catalog::merge_catalog_toml(catalog, kCatalog);
    EXPECT_TRUE(merged.has_value()) << merged.error();
    return catalog;
}

TEST(MatchUsbDevice, ExactHintsFirstThenVendorHintsEachInCatalogOrder) {
    const auto catalog = fixture_catalog();
    struct Case {
        std::uint16_t vid, pid;
        std::optional<std::string> brand;  // none: the device is not listed
        std::string model;
        Protocol protocol = Protocol::Dymo;
    };
    const Case cases[] = {
        {0x1000, 0x0002, "Beta", "B-1", Protocol::Tspl},     // exact on a later model beats vendor-only
        {0x1000, 0x0099, "Alpha", "A-1", Protocol::Zpl},     // vendor-only hint
        {0x3000, 0x0001, "Gamma", "G-1", Protocol::EscPos},  // second hint of a model
        {0x2000, 0x0010, "Delta", "", Protocol::Dymo},       // mass_storage hint, no keys
        {0x2000, 0x0011, std::nullopt, ""},                  // vendor known by exact hints only
        {0x4000, 0x0001, std::nullopt, ""},
        {0x0002, 0x1000, std::nullopt, ""},  // ids swapped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.vid << ":" << c.pid);
        const auto record = match_usb_device(catalog, {c.vid, c.pid, "SN1"});
        ASSERT_EQ(record.has_value(), c.brand.has_value());
        if (!record) continue;
        EXPECT_EQ(*record, (DiscoveredDevice{c.vid, c.pid, "SN1", c.brand, c.model, c.protocol, "usb", std::nullopt}));
    }
}

TEST(MatchUsbDevice, ADeviceWithoutSerialHasNone) {
    const auto record = match_usb_device(fixture_catalog(), {0x1000, 0x0002, std::nullopt});
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->serial, std::nullopt);
}

ListedSerialPort usb_port(std::optional<std::string> manufacturer, std::optional<std::string> product) {
    ListedSerialPort port;
    port.name = "/dev/ttyACM0";
    port.kind = PortKind::Usb;
    port.vendor_id = 0x1111;
    port.product_id = 0x2222;
    port.serial = "NB-0001";
    port.manufacturer = std::move(manufacturer);
    port.product = std::move(product);
    return port;
}

TEST(ClassifySerialPort, RecognisesTheMakerInEitherTextAsciiCaseOnly) {
    struct Case {
        std::optional<std::string> manufacturer, product;
        bool recognised;
    };
    const Case cases[] = {
        {"NIIMBOT", std::nullopt, true},
        {std::nullopt, "Niimbot Label Printer", true},
        {"Shenzhen niimbot Co.", "USB Serial", true},
        {"Niim", "bot", false},  // the joining space splits the word
        {"QinHeng", "USB Serial", false},
        {std::nullopt, std::nullopt, false},
        {"N\xC4\xB0IMBOT", std::nullopt, false},  // a non-ASCII capital is not folded
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manufacturer.value_or("-") + " / " + c.product.value_or("-"));
        const auto record = classify_serial_port(usb_port(c.manufacturer, c.product));
        ASSERT_TRUE(record.has_value());
        const DiscoveredDevice expected{
            0x1111,
            0x2222,
            "NB-0001",
            c.recognised ? std::optional<std::string>("NIIMBOT") : std::nullopt,
            c.recognised ? c.product : std::nullopt,  // the product text as listed, capitals kept
            c.recognised ? std::optional(Protocol::Niimbot) : std::nullopt,
            "serial",
            "/dev/ttyACM0"};
        EXPECT_EQ(*record, expected);
    }
}

TEST(ClassifySerialPort, PortsNotOnUsbAreNotListed) {
    for (const PortKind kind : {PortKind::Native, PortKind::Bluetooth, PortKind::Unknown}) {
        ListedSerialPort port = usb_port("NIIMBOT", "Label Printer");
        port.kind = kind;
        EXPECT_EQ(classify_serial_port(port), std::nullopt) << static_cast<int>(kind);
    }
}

DiscoveredDevice serial_record(std::string path, std::optional<Protocol> protocol = std::nullopt) {
    return {0x3333, 0x4444, std::nullopt, std::nullopt, std::nullopt, protocol, "serial", std::move(path)};
}

TEST(SortDiscovered, RecordsWithAProtocolFirstOtherwiseInListedOrder) {
    const DiscoveredDevice printer{0x0922,           0x0028, "A1",        "DYMO", "LabelWriter 550",
                                   Protocol::DymoLw, "usb",  std::nullopt};
    std::vector<DiscoveredDevice> devices{printer, serial_record("/dev/ttyUSB0"), serial_record("/dev/ttyUSB1"),
                                          serial_record("/dev/ttyACM0", Protocol::Niimbot)};
    sort_discovered(devices);
    EXPECT_EQ(devices, (std::vector<DiscoveredDevice>{printer, serial_record("/dev/ttyACM0", Protocol::Niimbot),
                                                      serial_record("/dev/ttyUSB0"), serial_record("/dev/ttyUSB1")}));
}

TEST(WriteDeviceList, CompactArrayKeysInOrderNullsAndPathOnlyOnPorts) {
    const std::vector<DiscoveredDevice> devices{
        {0x0922, 0x0028, std::nullopt, "DYMO", "", Protocol::DymoLw, "usb", std::nullopt},
        {0x1111, 0x2222, "S\"1\\\n", "NIIMBOT", std::nullopt, Protocol::Niimbot, "serial", "/dev/ttyACM0"},
        serial_record("/dev/ttyUSB0"),
    };
    EXPECT_EQ(
        write_device_list(devices),
        R"([{"vendor_id":2338,"product_id":40,"serial":null,"brand":"DYMO","model":"","protocol":"dymolw","connection":"usb"},)"
        R"({"vendor_id":4369,"product_id":8738,"serial":"S\"1\\\n","brand":"NIIMBOT","model":null,"protocol":"niimbot","connection":"serial","path":"/dev/ttyACM0"},)"
        R"({"vendor_id":13107,"product_id":17476,"serial":null,"brand":null,"model":null,"protocol":null,"connection":"serial","path":"/dev/ttyUSB0"}])");
}

TEST(WriteDeviceList, EmptyListAndTextsThatAreNotUtf8) {
    EXPECT_EQ(write_device_list({}), "[]");
    DiscoveredDevice odd = serial_record("/dev/ttyUSB0");
    odd.serial = "A\xFF";
    EXPECT_EQ(write_device_list(std::vector{odd}),
              R"([{"vendor_id":13107,"product_id":17476,"serial":"A)"
              "\xEF\xBF\xBD"
              R"(","brand":null,"model":null,"protocol":null,"connection":"serial","path":"/dev/ttyUSB0"}])");
}

}  // namespace
}  // namespace pvo_device
