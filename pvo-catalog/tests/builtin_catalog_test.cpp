// The built-in catalog: the form of the text, its counts before and after the merge, the
// records discovery relies on, and the media lists of every device family.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"
#include "pvo-catalog/catalog_file.hpp"

namespace pvo_catalog {
namespace {

class BuiltinCatalog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto file = parse_catalog_file(BUILTIN_CATALOG);
        ASSERT_TRUE(file) << file.error();
        file_ = new CatalogFile(std::move(*file));
        auto catalog = load_builtin_catalog();
        ASSERT_TRUE(catalog) << catalog.error();
        catalog_ = new Catalog(std::move(*catalog));
    }
    static void TearDownTestSuite() {
        delete file_;
        delete catalog_;
    }

    // The merged device whose canonical key is `key`.
    static const DeviceEntry& device(std::string_view key) {
        auto it =
            std::ranges::find_if(catalog_->devices, [&](const DeviceEntry& d) { return canonical_key(d) == key; });
        EXPECT_NE(it, catalog_->devices.end()) << key;
        return *it;
    }
    // The merged media entry holding `key` among its keys, or null.
    static const CatalogEntry* media_with_key(std::string_view key) {
        for (const auto& e : catalog_->entries)
            if (std::ranges::any_of(e.keys, [&](const std::string& k) { return same_key(k, key); })) return &e;
        return nullptr;
    }
    template <typename Record, typename Value>
    static std::map<Value, int> tally(const std::vector<Record>& records, std::function<Value(const Record&)> of) {
        std::map<Value, int> counts;
        for (const auto& r : records) ++counts[of(r)];
        return counts;
    }

    static inline CatalogFile* file_ = nullptr;
    static inline Catalog* catalog_ = nullptr;
};

TEST_F(BuiltinCatalog, TextIsCrlfAsciiTomlWithoutWebAddresses) {
    const std::string_view text = BUILTIN_CATALOG;
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(text.ends_with("\r\n"));
    EXPECT_EQ(text.find("[[printers]]"), std::string_view::npos);
    EXPECT_EQ(text.find("://"), std::string_view::npos);
    EXPECT_EQ(text.find("www."), std::string_view::npos);
    int non_ascii_records = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t lf = text.find('\n', start);
        ASSERT_NE(lf, std::string_view::npos);
        ASSERT_GT(lf, start) << "empty line without CR at byte " << lf;
        EXPECT_EQ(text[lf - 1], '\r') << "bare LF at byte " << lf;
        const std::string_view line = text.substr(start, lf - start);
        const bool ascii = std::ranges::all_of(line, [](char c) { return (c & 0x80) == 0; });
        if (!ascii && !line.starts_with("#")) ++non_ascii_records;
        start = lf + 1;
    }
    EXPECT_EQ(non_ascii_records, 4);  // the multiplication sign in four mat names
}

TEST_F(BuiltinCatalog, CountsBeforeAndAfterTheMerge) {
    auto key_count = [](const auto& records) {
        std::size_t n = 0;
        for (const auto& r : records) n += r.keys.size();
        return n;
    };
    EXPECT_EQ(file_->entries.size(), 344u);
    EXPECT_EQ(key_count(file_->entries), 765u);
    EXPECT_EQ(file_->devices.size(), 174u);
    EXPECT_EQ(key_count(file_->devices), 412u);
    EXPECT_EQ(catalog_->entries.size(), 342u);
    EXPECT_EQ(key_count(catalog_->entries), 759u);
    EXPECT_EQ(catalog_->devices, file_->devices);  // no device is replaced
    EXPECT_EQ(canonical_key(catalog_->devices.front()), "LabelWriter 550");
    EXPECT_EQ(canonical_key(catalog_->devices.back()), "silhouette-sd-2");
    EXPECT_EQ(catalog_->entries.back().keys.front(), "silhouette-mat-24x24");
}

TEST_F(BuiltinCatalog, DuoStarterCassettesAreReplacedByTheirD1Records) {
    for (const char* gone : {"45013-duo", "DUO-D1-12", "40913-duo", "DUO-D1-9"})
        EXPECT_EQ(media_with_key(gone), nullptr) << gone;
    const std::pair<const char*, const char*> resolves[] = {{"S0720530", "45013"}, {"S0720680", "40913"}};
    for (auto [key, canonical] : resolves) {
        const CatalogEntry* e = media_with_key(key);
        ASSERT_NE(e, nullptr) << key;
        EXPECT_EQ(e->keys.front(), canonical);
    }
}

TEST_F(BuiltinCatalog, MediaValuesHaveTheirTallies) {
    using E = CatalogEntry;
    const auto& entries = file_->entries;
    EXPECT_EQ((tally<E, std::string>(entries, [](const E& e) { return e.brand; })),
              (std::map<std::string, int>{{"Brother", 140},
                                          {"DYMO", 96},
                                          {"NIIMBOT", 59},
                                          {"Phomemo", 17},
                                          {"Epson", 13},
                                          {"Generic", 5},
                                          {"Zebra", 5},
                                          {"Silhouette", 5},
                                          {"TSC", 3},
                                          {"Rollo", 1}}));
    EXPECT_EQ((tally<E, std::size_t>(entries, [](const E& e) { return e.media.length.index(); })),
              (std::map<std::size_t, int>{{0, 150}, {1, 194}}));
    EXPECT_EQ((tally<E, Material>(entries, [](const E& e) { return e.media.material; })),
              (std::map<Material, int>{{Material::Paper, 149},
                                       {Material::Vinyl, 148},
                                       {Material::Polypropylene, 27},
                                       {Material::Nylon, 16},
                                       {Material::Other, 4}}));
    EXPECT_EQ((tally<E, Adhesive>(entries, [](const E& e) { return e.media.adhesive; })),
              (std::map<Adhesive, int>{
                  {Adhesive::Permanent, 300}, {Adhesive::Strong, 26}, {Adhesive::None, 12}, {Adhesive::Removable, 6}}));
    EXPECT_EQ((tally<E, MediaColor>(entries, [](const E& e) { return e.media.color; })),
              (std::map<MediaColor, int>{{MediaColor::White, 228},
                                         {MediaColor::Other, 43},
                                         {MediaColor::Yellow, 32},
                                         {MediaColor::Transparent, 29},
                                         {MediaColor::Red, 12}}));
    EXPECT_EQ((tally<E, bool>(entries, [](const E& e) { return e.media.two_color; }))[true], 2);
    auto sense_of = [](const E& e) -> std::string {
        if (!e.media.sense) return "none";
        if (auto* gap = std::get_if<sense::Gap>(&*e.media.sense))
            return *gap == sense::Gap{3.0, 0.0} ? "gap 3" : "other gap";
        if (auto* mark = std::get_if<sense::BlackMark>(&*e.media.sense))
            return *mark == sense::BlackMark{4.0, 0.0} ? "mark 4" : "other mark";
        return "continuous";
    };
    EXPECT_EQ((tally<E, std::string>(entries, sense_of)),
              (std::map<std::string, int>{{"none", 317}, {"gap 3", 20}, {"mark 4", 3}, {"continuous", 4}}));
    EXPECT_TRUE(
        std::ranges::none_of(entries, [](const E& e) { return e.image || e.purchase_url || !e.product_ids.empty(); }));
}

TEST_F(BuiltinCatalog, DeviceValuesHaveTheirTallies) {
    using D = DeviceEntry;
    const auto& devices = file_->devices;
    EXPECT_EQ((tally<D, std::string>(devices, [](const D& d) { return d.brand; })),
              (std::map<std::string, int>{{"Brother", 31},
                                          {"NIIMBOT", 20},
                                          {"DYMO", 19},
                                          {"Silhouette", 19},
                                          {"Phomemo", 12},
                                          {"Zebra", 9},
                                          {"TSC", 9},
                                          {"Toshiba TEC", 9},
                                          {"Munbyn", 8},
                                          {"Citizen", 7},
                                          {"Epson", 6},
                                          {"Bixolon", 6},
                                          {"Godex", 6},
                                          {"Honeywell", 5},
                                          {"SATO", 4},
                                          {"Xprinter", 2},
                                          {"Rollo", 2}}));
    std::map<std::string, int> protocols;
    for (const D& d : devices) ++protocols[std::string(pvo_status::wire_name(d.protocol))];
    EXPECT_EQ(protocols,
              (std::map<std::string, int>{
                  {"tspl", 21}, {"niimbot", 20}, {"gpgl", 19},         {"brotherql", 18}, {"brotherpt", 13},
                  {"zpl", 11},  {"dymo", 10},    {"dpl", 10},          {"tpcl", 9},       {"esclabel", 6},
                  {"slcs", 6},  {"ezpl", 6},     {"dymolwclassic", 5}, {"phomemo", 4},    {"phomemod30", 4},
                  {"sbpl", 4},  {"dymolw", 3},   {"phomemom110", 3},   {"letratag", 1},   {"phomemom02x", 1}}));
    EXPECT_EQ(
        (tally<D, Maturity>(devices, [](const D& d) { return d.maturity; })),
        (std::map<Maturity, int>{{Maturity::Verified, 9}, {Maturity::Supported, 57}, {Maturity::Experimental, 108}}));
    for (const D& d : devices) {
        EXPECT_EQ(d.role == DeviceRole::Cutter, d.protocol == Protocol::Gpgl) << d.name;
        EXPECT_EQ(d.support, DeviceSupport{}) << d.name;
    }
    std::map<std::string, int> hints;
    for (const D& d : devices) {
        if (d.connections.empty()) ++hints["no hint"];
        for (const ConnectionHint& h : d.connections) {
            if (const auto* usb = usb_hint(h)) {
                ++hints[usb->product_id ? "usb exact" : "usb vendor"];
                if (usb->mode == UsbMode::MassStorage) ++hints["mass storage"];
            } else if (const auto* serial = std::get_if<hint::Serial>(&h)) {
                ++hints[serial->path ? "serial path" : "serial"];
            } else {
                ++hints[std::holds_alternative<hint::Ble>(h) ? "ble" : "network"];
            }
        }
    }
    EXPECT_EQ(
        hints,
        (std::map<std::string, int>{
            {"usb exact", 97}, {"usb vendor", 21}, {"mass storage", 5}, {"ble", 38}, {"serial", 15}, {"no hint", 28}}));
}

TEST_F(BuiltinCatalog, CapabilityFlagsAreSetOnTheirDevices) {
    using C = DeviceCapabilities;
    const std::pair<const char*, std::function<bool(const C&)>> flags[] = {
        {"supports_cut 94", [](const C& c) { return c.supports_cut; }},
        {"supports_half_cut 2", [](const C& c) { return c.supports_half_cut; }},
        {"supports_color 9", [](const C& c) { return c.supports_color; }},
        {"reports_media 53", [](const C& c) { return c.reports_media; }},
        {"feed_reverse 9", [](const C& c) { return c.feed_reverse; }},
        {"no expanded mode 2", [](const C& c) { return !c.supports_expanded_mode; }},
        {"no cut every 3", [](const C& c) { return !c.supports_cut_every; }},
        {"no raster mode switch 4", [](const C& c) { return !c.emit_raster_mode_switch; }},
        {"supports_packbits 20", [](const C& c) { return c.supports_packbits; }},
        {"supports_high_resolution 15", [](const C& c) { return c.supports_high_resolution; }},
        {"precut 3", [](const C& c) { return c.supports_precut && c.precut_default; }},
        {"invalidate 200 6", [](const C& c) { return c.invalidate_bytes == 200u; }},
        {"lead 2.0 1", [](const C& c) { return c.feed_lead_mm == 2.0; }},
        {"trail 8.1 9", [](const C& c) { return c.feed_trail_mm == 8.1; }},
        {"trail 24.0 3", [](const C& c) { return c.feed_trail_mm == 24.0; }},
        {"head height 10", [](const C& c) { return c.head_printable_height_mm.has_value(); }},
        {"lead min 0", [](const C& c) { return c.feed_lead_min_mm.has_value(); }},
    };
    for (const auto& [label, has] : flags) {
        const std::string text = label;
        const int expected = std::stoi(text.substr(text.rfind(' ') + 1));
        EXPECT_EQ(std::ranges::count_if(file_->devices, [&](const DeviceEntry& d) { return has(d.capabilities); }),
                  expected)
            << text;
    }
    EXPECT_FALSE(device("QL-500").capabilities.supports_cut);
    EXPECT_EQ(device("LabelManager 500TS").capabilities.head_printable_height_mm, 18.0);
    EXPECT_EQ(std::ranges::count_if(file_->devices, [](const DeviceEntry& d) { return d.supports_soft_reboot; }), 3);
    EXPECT_TRUE(device("LabelWriter 5XL").supports_soft_reboot);
}

TEST_F(BuiltinCatalog, NamesFollowBrandAndKeyWithTheirExceptions) {
    const std::map<std::string, std::string> exceptions{
        {"LabelWriter", "DYMO LabelWriter (legacy)"},
        {"LT-200B", "DYMO LetraTag LT-200B"},
        {"X1040", "Rollo Wireless"},
        {"PT-P710BT", "Brother PT-P710BT (P-touch Cube Plus)"},
        {"PT-P300BT", "Brother PT-P300BT (P-touch Cube)"},
        {"CW-C6500P", "Epson ColorWorks CW-C6500P"},
        {"cameo-pro-mk-ii", "Silhouette Cameo Pro Mk II"},
        {"cameo1", "Silhouette Cameo 1"},
        {"craft-robo-cc300", "Craft Robo CC300"},
        {"silhouette-sd-2", "Silhouette SD 2"},
    };
    for (const DeviceEntry& d : file_->devices) {
        const std::string key(canonical_key(d));
        if (auto it = exceptions.find(key); it != exceptions.end()) {
            EXPECT_EQ(d.name, it->second);
        } else if (d.protocol != Protocol::Gpgl && d.protocol != Protocol::EscLabel) {
            EXPECT_EQ(d.name, d.brand + " " + key);
        }
    }
}

// The first model in catalog order whose usb hint names the ids, else the first with a
// vendor-wide hint: the order in which discovery searches.
std::string_view first_match(const Catalog& catalog, std::uint16_t vid, std::uint16_t pid) {
    for (bool exact : {true, false})
        for (const DeviceEntry& d : catalog.devices)
            for (const ConnectionHint& h : d.connections)
                if (const auto* usb = usb_hint(h);
                    usb && (exact ? usb->matches_exactly(vid, pid) : usb->covers_vendor(vid)))
                    return canonical_key(d);
    return "(none)";
}

TEST_F(BuiltinCatalog, UsbIdsResolveToTheFirstMatchingModel) {
    struct Case {
        std::uint16_t vid, pid;
        std::string_view model;
    };
    const Case cases[] = {
        {0x0922, 0x0028, "LabelWriter 550"},
        {0x0922, 0x9999, "LabelWriter"},
        {0x0922, 0x1001, "LabelManager PnP"},
        {0x1203, 0x0160, "TE200"},
        {0x04F9, 0x2064, "PT-P700"},
        {0x09C6, 0x0426, "ITPP941"},
        {0x2730, 0x0FFF, "CL-S700"},
        {0x1504, 0x0008, "SLP-T400"},
        {0x1504, 0x0001, "SLP-DX220"},
        {0x6495, 0x0001, "DT4x"},
        {0x0828, 0x0001, "CL4NX"},
        {0x0B0B, 0x0001, "PC42d"},
        {0x0A5F, 0x0062, "GK420d"},
        {0x3844, 0x0002, "cameo5-alpha-plus"},
        {0x0A5F, 0x9999, "(none)"},
        {0x04F9, 0x0001, "(none)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(first_match(*catalog_, c.vid, c.pid), c.model) << std::hex << c.vid << ":" << c.pid;
    EXPECT_EQ(device("LabelWriter").protocol, Protocol::Dymo);
}

// Every media key a device lists names a merged media record, by its canonical key except the
// Duo's two starter cassettes, whose keys now belong to the D1 records that replaced them.
TEST_F(BuiltinCatalog, DeviceMediaKeysResolveAfterTheMerge) {
    const std::set<std::string> moved{"S0720530", "S0720680"};
    for (const DeviceEntry& d : catalog_->devices) {
        ASSERT_TRUE(d.default_media) << d.name;
        EXPECT_NE(std::ranges::find(d.supported_media, *d.default_media), d.supported_media.end()) << d.name;
        for (const std::string& key : d.supported_media) {
            const CatalogEntry* e = media_with_key(key);
            ASSERT_NE(e, nullptr) << d.name << " lists " << key;
            if (moved.contains(key)) {
                EXPECT_EQ(canonical_key(d), "LabelWriter Duo") << key;
            } else {
                EXPECT_EQ(e->keys.front(), key) << d.name;
            }
        }
    }
}

TEST_F(BuiltinCatalog, EachFamilySharesOneMediaListOfItsSize) {
    struct Family {
        std::vector<std::string> devices;
        std::size_t listed;
        std::string default_media;
    };
    const Family families[] = {
        {{"LabelWriter 550", "LabelWriter 550 Turbo"}, 36, "11352"},
        {{"LabelWriter 5XL"}, 38, "11352"},
        {{"LabelWriter 450", "LabelWriter 450 Turbo", "LabelWriter 450 Twin Turbo", "LabelWriter"}, 35, "11352"},
        {{"LabelWriter 4XL"}, 16, "1744907"},
        {{"LabelWriter Duo"}, 24, "99014"},
        {{"LabelManager PnP", "LabelManager 280", "LabelManager PC", "LabelManager PC II", "LabelManager 400",
          "LabelManager Wireless PnP"},
         25,
         "45013"},
        {{"LabelManager 420P", "LabelPoint 350"}, 40, "45803"},
        {{"LabelManager 500TS"}, 51, "53713"},
        {{"LT-200B"}, 3, "lt-12-white-paper"},
        {{"D110", "D11", "D11S", "B18", "N1", "D11_H", "D110_M"}, 28, "12x40"},
        {{"M2_H"}, 9, "50x30-pro"},
        {{"D101"}, 47, "24x40"},
        {{"B1", "B2", "B21", "B203", "B1 Pro", "B21 Pro"}, 9, "50x30"},
        {{"B3S"}, 11, "70x50"},
        {{"B31"}, 12, "70x40"},
        {{"B4", "K4"}, 22, "102x152"},
        {{"K3"}, 12, "70x50"},
        {{"QL-500", "QL-550", "QL-560", "QL-570", "QL-580N", "QL-650TD"}, 22, "DK-11201"},
        {{"QL-800", "QL-810W", "QL-820NWBc", "QL-700", "QL-710W", "QL-720NW", "QL-600"}, 23, "DK-11201"},
        {{"QL-1100", "QL-1110NWB", "QL-1115NWB", "QL-1050", "QL-1060N"}, 36, "DK-11240"},
        {{"ZD220",       "GK420d",  "ZD620",   "ZD420",  "ZD421", "GC420d",  "ZP450",    "ZT231",
          "TE200",       "TE210",   "TE300",   "TE310",  "DA210", "DA220",   "DA310",    "DA320",
          "TTP-244 Pro", "XP-420B", "XP-460B", "X1038",  "X1040", "ITPP941", "ITPP941B", "ITPP941BP",
          "RW130B",      "ITPP129", "RW402B",  "RW403B", "RW405B"},
         20,
         "102x152"},
        {{"ZD410"}, 10, "50x25"},
        {{"M02", "T02", "M02X"}, 12, "phomemo-53-cont"},
        {{"M02S", "M02 Pro"}, 14, "phomemo-53-cont"},
        {{"M110"}, 14, "phomemo-50x30"},
        {{"M120"}, 18, "phomemo-50x30"},
        {{"M220"}, 21, "phomemo-70x50"},
        {{"D30", "D35", "Q30", "Q30S"}, 5, "phomemo-12x40"},
        {{"PT-P700", "PT-P750W", "PT-H500", "PT-E500", "PT-E550W", "PT-D600", "PT-P710BT"}, 99, "TZe-231"},
        {{"PT-D450"}, 75, "TZe-231"},
        {{"PT-P300BT"}, 54, "TZe-231"},
        {{"PT-P900", "PT-P900W", "PT-P950NW", "PT-P910BT"}, 114, "TZe-261"},
        {{"CW-C4000", "CW-C6000A", "CW-C6000P"}, 16, "epson-matte-4x6"},
        {{"CW-C6500A", "CW-C6500P"}, 17, "epson-matte-4x6"},
        {{"CW-C3500"}, 15, "epson-matte-4x6"},
        {{"SLP-DX220", "WWCW4"}, 6, "50x25"},
        {{"SLP-DX420", "SLP-TX400", "SLP-TX420", "SLP-T400", "XD3-40d", "DT4x",    "G500",      "G530",   "RT700",
          "RT730",     "CL4NX",     "CL6NX",     "CT4-LX",   "PC42d",   "PC42t",   "PM42",      "PX45",   "PX65",
          "CL-E321",   "CL-S521",   "CL-S631",   "CL-S700",  "CL-S621", "CL-E720", "CL-S700DT", "B-EV4D", "B-EV4T",
          "B-FV4D",    "B-FV4T",    "B-SV4",     "B-SX4",    "B-SX5",   "B-SA4TM", "BV420D"},
         13,
         "102x152"},
        {{"DT2x"}, 4, "50x25"},
        {{"cameo4", "cameo5", "cameo5-alpha", "cameo1", "cameo2", "cameo3"}, 3, "silhouette-mat-12x12"},
        {{"cameo4-plus", "cameo5-plus", "cameo5-alpha-plus"}, 4, "silhouette-mat-15x15"},
        {{"cameo4-pro", "cameo-pro-mk-ii"}, 5, "silhouette-mat-24x24"},
        {{"portrait1", "portrait2", "portrait3", "portrait4", "craft-robo-cc200", "craft-robo-cc300", "silhouette-sd-1",
          "silhouette-sd-2"},
         1,
         "silhouette-mat-none"},
    };
    std::size_t covered = 0;
    for (const Family& f : families) {
        const DeviceEntry& first = device(f.devices.front());
        EXPECT_EQ(first.supported_media.size(), f.listed) << f.devices.front();
        for (const std::string& key : f.devices) {
            const DeviceEntry& d = device(key);
            EXPECT_EQ(d.supported_media, first.supported_media) << key;
            EXPECT_EQ(d.default_media, f.default_media) << key;
            ++covered;
        }
    }
    EXPECT_EQ(covered, 174u);
}

TEST_F(BuiltinCatalog, LoadingTwiceGivesEqualIndependentCatalogs) {
    auto again = load_builtin_catalog();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->entries, catalog_->entries);
    EXPECT_EQ(again->devices, catalog_->devices);
    again->devices.front().brand = "changed";
    EXPECT_EQ(catalog_->devices.front().brand, "DYMO");
}

}  // namespace
}  // namespace pvo_catalog

namespace pvo_catalog {
namespace {

// The built-in catalog is parsed once and kept; what callers get must still be exactly what a
// parse of the same bytes gives. A copy of the text lives elsewhere, so it is parsed afresh.
TEST(BuiltinCatalogKept, MergingTheBuiltinTextGivesWhatAFreshParseGives) {
    const std::string copy(BUILTIN_CATALOG);
    Catalog parsed;
    ASSERT_TRUE(merge_catalog_toml(parsed, copy));
    Catalog merged;
    ASSERT_TRUE(merge_catalog_toml(merged, BUILTIN_CATALOG));
    const auto& kept = builtin_catalog();
    ASSERT_TRUE(kept);
    for (const Catalog* c : std::initializer_list<const Catalog*>{&merged, &*kept}) {
        EXPECT_EQ(c->entries, parsed.entries);
        EXPECT_EQ(c->devices, parsed.devices);
    }
}

// Reading the built-in text shares the kept catalog; a copy of the text elsewhere is not the
// built-in text, so it is parsed into a catalog of its own, equal to the kept one.
TEST(BuiltinCatalogKept, ReadingTheBuiltinTextSharesTheKeptCatalog) {
    const auto& kept = builtin_catalog();
    ASSERT_TRUE(kept);
    const auto shared = read_catalog(BUILTIN_CATALOG);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->get(), &*kept);
    const std::string copy(BUILTIN_CATALOG);
    const auto parsed = read_catalog(copy);
    ASSERT_TRUE(parsed);
    EXPECT_NE(parsed->get(), &*kept);
    EXPECT_EQ((*parsed)->entries, kept->entries);
    EXPECT_EQ((*parsed)->devices, kept->devices);
}

// Each test runs in a process of its own, so these threads race for the very first parse.
TEST(BuiltinCatalogKept, ThreadsLoadingAtOnceAllGetTheWholeCatalog) {
    constexpr int kThreads = 8;
    std::vector<std::expected<Catalog, CatalogError>> loaded(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&loaded, i] { loaded[static_cast<std::size_t>(i)] = load_builtin_catalog(); });
    }
    for (const auto& catalog : loaded) {
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->entries.size(), 342u);
        EXPECT_EQ(catalog->devices.size(), 174u);
        EXPECT_EQ(catalog->devices, loaded.front()->devices);
    }
}

}  // namespace
}  // namespace pvo_catalog
