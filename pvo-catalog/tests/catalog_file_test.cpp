// The reader of one catalog document: defaults, widening, exact words, tagged tables, ranges,
// skipped keys, and refusals that name the place and the kind of fault.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pvo-catalog/catalog_file.hpp"

namespace pvo_catalog {
namespace {

using ::testing::HasSubstr;

// A media entry whose `media` table holds `media` (inline-table body).
std::string entry_with_media(const std::string& media) {
    return "[[entries]]\nbrand = \"DYMO\"\nkeys = [\"99010\"]\nname = \"Address\"\nmedia = { " + media + " }\n";
}
const std::string fixed_28x89 = "width_mm = 28.0, length = { kind = \"fixed\", mm = 89.0 }";

// A device table with the six required keys, then `extra` lines.
std::string device_with(const std::string& extra, const std::string& protocol = "\"dymolw\"") {
    return "[[devices]]\nbrand = \"DYMO\"\nkeys = [\"LabelWriter 550\"]\nname = \"DYMO LW\"\n"
           "protocol = " +
           protocol + "\ndpi = 300.0\nmax_width_mm = 57.0\n" + extra;
}

CatalogFile read_ok(const std::string& text) {
    auto file = parse_catalog_file(text);
    EXPECT_TRUE(file) << file.error() << "\n--- document ---\n" << text;
    return file ? std::move(*file) : CatalogFile{};
}

TEST(CatalogDocument, EmptyCommentOnlyAndUnknownRootKeysAreEmptyCatalogs) {
    const std::string capital_devices = "[[Devices]]" + device_with("").substr(11);
    for (const std::string& text : {std::string(), std::string("# only a comment\r\n# two\r\n"),
                                    std::string("title = \"x\"\n[[printers]]\nname = 1\n"), capital_devices}) {
        auto file = read_ok(text);
        EXPECT_TRUE(file.entries.empty()) << text;
        EXPECT_TRUE(file.devices.empty()) << text;
    }
}

TEST(CatalogDocument, MinimalMediaEntryTakesItsDefaults) {
    auto file = read_ok(entry_with_media(fixed_28x89));
    ASSERT_EQ(file.entries.size(), 1u);
    const CatalogEntry& e = file.entries[0];
    EXPECT_EQ(e.brand, "DYMO");
    EXPECT_EQ(e.keys, std::vector<std::string>{"99010"});
    EXPECT_EQ(e.media.width_mm, 28.0);
    EXPECT_EQ(e.media.length, MediaLength{length::Fixed{89.0}});
    EXPECT_EQ(e.media.material, Material::Paper);
    EXPECT_EQ(e.media.adhesive, Adhesive::Permanent);
    EXPECT_EQ(e.media.color, MediaColor::White);
    EXPECT_FALSE(e.media.two_color);
    EXPECT_FALSE(e.media.sense);
    EXPECT_FALSE(e.image);
    EXPECT_FALSE(e.purchase_url);
    EXPECT_TRUE(e.product_ids.empty());
}

TEST(CatalogDocument, MediaValuesAreReadAsWritten) {
    auto file = read_ok(
        "[[entries]]\nbrand = \"Brother\"\nkeys = []\nname = \"TZe\"\n"
        "purchase_url = \"shop\"\nproduct_ids = [\"4977766\", \"R-1\"]\n"
        "image = { url = \"pic.png\" }\n"
        "media = { width_mm = 28, length = { kind = \"continuous\" }, material = \"nylon\", "
        "adhesive = \"none\", color = \"transparent\", two_color = true }\n");
    ASSERT_EQ(file.entries.size(), 1u);
    const CatalogEntry& e = file.entries[0];
    EXPECT_TRUE(e.keys.empty());
    EXPECT_EQ(e.media.width_mm, 28.0);  // the integer 28 widens to a float
    EXPECT_EQ(e.media.length, MediaLength{length::Continuous{}});
    EXPECT_EQ(e.media.material, Material::Nylon);
    EXPECT_EQ(e.media.adhesive, Adhesive::None);
    EXPECT_EQ(e.media.color, MediaColor::Transparent);
    EXPECT_TRUE(e.media.two_color);
    EXPECT_EQ(e.purchase_url, "shop");
    EXPECT_EQ(e.product_ids, (std::vector<std::string>{"4977766", "R-1"}));
    ASSERT_TRUE(e.image);
    EXPECT_EQ(*e.image, (ImageInfo{"pic.png", "unknown", std::nullopt, false}));
}

TEST(CatalogDocument, TaggedTablesReadTheirVariants) {
    struct Case {
        std::string media;
        MediaSpec expected;
    };
    auto media_spec = [](MediaLength length, std::optional<MediaSense> sense) {
        MediaSpec m;
        m.width_mm = 28.0;
        m.length = length;
        m.sense = sense;
        return m;
    };
    const Case cases[] = {
        {"width_mm = 28.0, length = { kind = \"continuous\" }", media_spec(length::Continuous{}, {})},
        {"width_mm = 28.0, length = { mm = 89.0, note = 1, kind = \"fixed\" }", media_spec(length::Fixed{89.0}, {})},
        {fixed_28x89 + ", sense = { kind = \"gap\" }", media_spec(length::Fixed{89.0}, sense::Gap{3.0, 0.0})},
        {fixed_28x89 + ", sense = { kind = \"gap\", gap_mm = 2, offset_mm = -1.5 }",
         media_spec(length::Fixed{89.0}, sense::Gap{2.0, -1.5})},
        {fixed_28x89 + ", sense = { kind = \"black_mark\", mark_mm = 4.0 }",
         media_spec(length::Fixed{89.0}, sense::BlackMark{4.0, 0.0})},
        {fixed_28x89 + ", sense = { kind = \"continuous\", gap_mm = \"skipped\" }",
         media_spec(length::Fixed{89.0}, sense::Continuous{})},
    };
    for (const Case& c : cases) {
        auto file = read_ok(entry_with_media(c.media));
        ASSERT_EQ(file.entries.size(), 1u) << c.media;
        EXPECT_EQ(file.entries[0].media, c.expected) << c.media;
    }
}

TEST(CatalogDocument, MinimalDeviceTakesItsDefaults) {
    auto file = read_ok(device_with(""));
    ASSERT_EQ(file.devices.size(), 1u);
    const DeviceEntry& d = file.devices[0];
    EXPECT_EQ(d.protocol, Protocol::DymoLw);
    EXPECT_EQ(d.role, DeviceRole::Printer);
    EXPECT_EQ(d.maturity, Maturity::Experimental);
    EXPECT_FALSE(d.supports_soft_reboot);
    EXPECT_TRUE(d.supported_media.empty());
    EXPECT_FALSE(d.default_media);
    EXPECT_TRUE(d.connections.empty());
    EXPECT_EQ(d.support, DeviceSupport{});
    DeviceCapabilities expected;  // the declared defaults: three raster flags true
    expected.dpi = 300.0;
    expected.max_width_mm = 57.0;
    EXPECT_EQ(d.capabilities, expected);
    EXPECT_TRUE(d.capabilities.supports_expanded_mode && d.capabilities.supports_cut_every &&
                d.capabilities.emit_raster_mode_switch);
}

TEST(CatalogDocument, DeviceValuesAreReadAsWritten) {
    auto file = read_ok(
        "[[devices]]\nbrand = \"Brother\"\nkeys = []\nname = \"PT\"\nprotocol = \"brotherpt\"\n"
        "role = \"cutter\"\nmaturity = \"verified\"\nsupports_soft_reboot = true\n"
        "dpi = 203\nmax_width_mm = inf\nsupports_cut = true\nsupports_colour = \"skipped\"\n"
        "feed_trail_mm = 24\nsupports_cut_every = false\ninvalidate_bytes = 4294967295\n"
        "supported_media = [\"TZe-231\", \"TZe-261\"]\ndefault_media = \"TZe-999\"\n"
        "support = { brand_url = \"b\", other = 1 }\n"
        "connections = [\n"
        "  { kind = \"usb\", vendor_id = 0x04f9, product_id = 0x2064, mode = \"mass_storage\" },\n"
        "  { vendor_id = 0x0922, kind = \"usb\" },\n"
        "  { kind = \"ble\", name = \"P710\" },\n"
        "  { kind = \"serial\" },\n"
        "  { kind = \"network\", host = \"printer.local\", port = 9100, colour = 1 },\n"
        "]\n");
    ASSERT_EQ(file.devices.size(), 1u);
    const DeviceEntry& d = file.devices[0];
    EXPECT_EQ(d.role, DeviceRole::Cutter);
    EXPECT_EQ(d.maturity, Maturity::Verified);
    EXPECT_TRUE(d.supports_soft_reboot);
    EXPECT_EQ(d.capabilities.dpi, 203.0);
    EXPECT_TRUE(std::isinf(d.capabilities.max_width_mm));
    EXPECT_TRUE(d.capabilities.supports_cut);
    EXPECT_FALSE(d.capabilities.supports_color);
    EXPECT_EQ(d.capabilities.feed_trail_mm, 24.0);
    EXPECT_FALSE(d.capabilities.supports_cut_every);
    EXPECT_EQ(d.capabilities.invalidate_bytes, 4294967295u);
    EXPECT_EQ(d.supported_media, (std::vector<std::string>{"TZe-231", "TZe-261"}));
    EXPECT_EQ(d.default_media, "TZe-999");  // no cross-check against the list
    EXPECT_EQ(d.support, (DeviceSupport{std::nullopt, "b"}));
    const std::vector<ConnectionHint> hints{hint::Usb{0x04F9, 0x2064, UsbMode::MassStorage},
                                            hint::Usb{0x0922, std::nullopt}, hint::Ble{"P710"}, hint::Serial{},
                                            hint::Network{"printer.local", 9100}};
    EXPECT_EQ(d.connections, hints);
    EXPECT_EQ(canonical_key(d), "");
}

TEST(CatalogDocument, UsbHintsMatchExactlyOrByVendor) {
    const hint::Usb exact{0x0922, 0x0028};
    const hint::Usb vendor{0x0922, std::nullopt};
    EXPECT_TRUE(exact.matches_exactly(0x0922, 0x0028));
    EXPECT_FALSE(exact.matches_exactly(0x0922, 0x0029));
    EXPECT_FALSE(exact.covers_vendor(0x0922));
    EXPECT_TRUE(vendor.covers_vendor(0x0922));
    EXPECT_FALSE(vendor.covers_vendor(0x0923));
    EXPECT_FALSE(vendor.matches_exactly(0x0922, 0));
}

// Every refusal names where (path or line and column) and what.
TEST(CatalogDocument, FaultsRefuseTheWholeDocument) {
    struct Case {
        std::string text;
        std::string where;
        std::string what;
    };
    const std::string good_device = device_with("");
    const Case cases[] = {
        {"entries = 1\n[", "line 2", "TOML parse error"},
        {"[[devices]]\nbrand = \"a\"\nbrand = \"b\"\n", "line 3", "TOML parse error"},
        {"[a]\nx = 1\n[a]\ny = 2\n", "line 3", "TOML parse error"},
        {"[entries]\nbrand = \"DYMO\"\n", "entries", "invalid type: a table, expected an array"},
        {"[[entries]]\n", "entries[0]", "missing key `brand`"},
        {entry_with_media("width_mm = \"28\", length = { kind = \"continuous\" }"), "entries[0].media.width_mm",
         "invalid type: a string, expected a float"},
        {entry_with_media(fixed_28x89 + ", material = \"Paper\""), "entries[0].media.material",
         "unknown variant `Paper`, expected one of `paper`, `polypropylene`, `vinyl`, `nylon`, "
         "`other`"},
        {entry_with_media(fixed_28x89 + ", two_color = 1"), "entries[0].media.two_color", "expected a boolean"},
        {entry_with_media("width_mm = 28.0, length = { kind = \"fixed\" }"), "entries[0].media.length",
         "missing key `mm`"},
        {entry_with_media("width_mm = 28.0, length = { mm = 89.0 }"), "entries[0].media.length", "missing key `kind`"},
        {entry_with_media("width_mm = 28.0, length = { kind = \"continuous\", mm = 3 }"), "entries[0].media.length.mm",
         "not allowed"},
        {entry_with_media("width_mm = 28.0, length = { kind = \"Fixed\", mm = 3 }"), "entries[0].media.length.kind",
         "unknown variant `Fixed`"},
        {entry_with_media(fixed_28x89 + ", sense = { kind = \"mark\" }"), "entries[0].media.sense.kind",
         "unknown variant `mark`"},
        {entry_with_media(fixed_28x89 + ", sense = { kind = \"gap\", gap_mm = true }"), "entries[0].media.sense.gap_mm",
         "expected a float"},
        {entry_with_media(fixed_28x89) + "image = {}\n", "entries[0].image", "missing key `url`"},
        {"[[entries]]\nbrand = \"a\"\nkeys = \"99010\"\nname = \"n\"\n", "entries[0].keys",
         "invalid type: a string, expected an array"},
        {"[[entries]]\nbrand = \"a\"\nkeys = [\"a\", 2]\nname = \"n\"\n", "entries[0].keys[1]", "expected a string"},
        {entry_with_media(fixed_28x89) + "product_ids = [1979-05-27]\n", "entries[0].product_ids[0]",
         "invalid type: a date, expected a string"},
        // A broken media entry refuses the document although only devices are used later.
        {good_device + entry_with_media("width_mm = 28.0"), "entries[0].media", "missing key `length`"},
        {"[[devices]]\nbrand = \"a\"\nkeys = []\nname = \"n\"\nprotocol = \"zpl\"\n", "devices[0]",
         "missing key `dpi`"},
        {"[[devices]]\nkeys = []\nname = \"n\"\nprotocol = \"zpl\"\ndpi = 1\nmax_width_mm = 1\n", "devices[0]",
         "missing key `brand`"},
        {"[[devices]]\nbrand = \"a\"\nkeys = []\nname = \"n\"\nprotocol = \"zpl\"\n"
         "[devices.capabilities]\ndpi = 203\nmax_width_mm = 104\n",
         "devices[0]", "missing key `dpi`"},
        {device_with("", "\"DymoLw\""), "devices[0].protocol",
         "unknown variant `DymoLw`, expected one of `dymo`, `dymolw`"},
        {device_with("", "7"), "devices[0].protocol", "expected a string"},
        {device_with("role = \"Cutter\"\n"), "devices[0].role", "unknown variant `Cutter`"},
        {device_with("maturity = \"beta\"\n"), "devices[0].maturity", "unknown variant `beta`"},
        {device_with("supports_cut = 1\n"), "devices[0].supports_cut", "invalid type: an integer, expected a boolean"},
        {device_with("invalidate_bytes = -1\n"), "devices[0].invalidate_bytes",
         "-1, expected an integer from 0 to 4294967295"},
        {device_with("invalidate_bytes = 4294967296\n"), "devices[0].invalidate_bytes",
         "expected an integer from 0 to 4294967295"},
        {device_with("invalidate_bytes = 200.0\n"), "devices[0].invalidate_bytes",
         "invalid type: a float, expected an integer"},
        {device_with("connections = [{ kind = \"usb\", vendor_id = 70000 }]\n"), "devices[0].connections[0].vendor_id",
         "70000, expected an integer from 0 to 65535"},
        {device_with("connections = [{ kind = \"usb\", vendor_id = 1, product_id = -1 }]\n"),
         "devices[0].connections[0].product_id", "from 0 to 65535"},
        {device_with("connections = [{ kind = \"usb\", product_id = 1 }]\n"), "devices[0].connections[0]",
         "missing key `vendor_id`"},
        {device_with("connections = [{ vendor_id = 0x0922 }]\n"), "devices[0].connections[0]", "missing key `kind`"},
        {device_with("connections = [{ kind = \"bluetooth\", name = \"x\" }]\n"), "devices[0].connections[0].kind",
         "unknown variant `bluetooth`, expected one of `ble`, `serial`, `usb`, `network`"},
        {device_with("connections = [{ kind = \"usb\", vendor_id = 1, mode = \"storage\" }]\n"),
         "devices[0].connections[0].mode", "unknown variant `storage`"},
        {device_with("connections = [{ kind = \"ble\" }]\n"), "devices[0].connections[0]", "missing key `name`"},
        {device_with("connections = [{ kind = \"network\", host = \"h\", port = 65536 }]\n"),
         "devices[0].connections[0].port", "from 0 to 65535"},
        {device_with("connections = [\"usb\"]\n"), "devices[0].connections[0]",
         "invalid type: a string, expected a table"},
        {device_with("support = \"none\"\n"), "devices[0].support", "expected a table"},
        {device_with("dpi_note = 1\n") + device_with("feed_lead_mm = \"2\"\n"), "devices[1].feed_lead_mm",
         "expected a float"},
    };
    for (const Case& c : cases) {
        auto file = parse_catalog_file(c.text);
        ASSERT_FALSE(file) << c.text;
        EXPECT_THAT(file.error().message, HasSubstr(c.where)) << c.text;
        EXPECT_THAT(file.error().message, HasSubstr(c.what)) << c.text;
    }
}

TEST(CatalogDocument, FaultTextGivesPathThenLineAndColumn) {
    auto file = parse_catalog_file(device_with("role = \"Cutter\"\n"));
    ASSERT_FALSE(file);
    EXPECT_EQ(file.error().message,
              "devices[0].role: unknown variant `Cutter`, expected one of `printer`, `cutter` "
              "at line 8, column 8");
}

TEST(CatalogDocument, SkippedKeysAndAcceptedHintsDoNotRefuse) {
    auto file =
        read_ok(device_with("Brand = \"skipped\"\ncapabilities = { dpi = \"x\" }\n"
                            "connections = [{ kind = \"serial\" }, { kind = \"ble\", name = \"B1\" },"
                            " { kind = \"usb\", vendor_id = 0, product_id = 65535 }]\n"));
    ASSERT_EQ(file.devices.size(), 1u);
    EXPECT_EQ(file.devices[0].brand, "DYMO");
    EXPECT_EQ(file.devices[0].connections.size(), 3u);
}

}  // namespace
}  // namespace pvo_catalog
