// Merging documents into a catalog: a later record replaces every earlier record of its kind
// that shares a key (ASCII case folded, other bytes exact); a failure leaves the catalog as it
// was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"

namespace pvo_catalog {
namespace {

// The head of a record: its table header, name and keys.
std::string record(const char* header, const std::string& name, const std::vector<std::string>& keys) {
    std::string text = std::string(header) + "\nbrand = \"b\"\nname = \"" + name + "\"\nkeys = [";
    for (std::size_t i = 0; i < keys.size(); ++i) text += (i ? ", \"" : "\"") + keys[i] + "\"";
    return text + "]\n";
}
std::string entry(const std::string& name, const std::vector<std::string>& keys) {
    return record("[[entries]]", name, keys) + "media = { width_mm = 12, length = { kind = \"continuous\" } }\n";
}
std::string device(const std::string& name, const std::vector<std::string>& keys) {
    return record("[[devices]]", name, keys) + "protocol = \"zpl\"\ndpi = 203\nmax_width_mm = 104\n";
}

template <typename Record>
std::vector<std::string> names(const std::vector<Record>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r.name);
    return out;
}

TEST(SameKey, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(same_key("ABC", "abc"));
    EXPECT_TRUE(same_key("Z-Perform-1000D-4x6", "z-perform-1000d-4x6"));
    EXPECT_FALSE(same_key("\xC3\x84", "\xC3\xA4"));  // A-umlaut and a-umlaut
    EXPECT_FALSE(same_key("abc", "abcd"));
    EXPECT_FALSE(same_key("a-b", "a_b"));
    EXPECT_FALSE(same_key("@", "`"));  // neighbours of the letters are not folded
    EXPECT_TRUE(same_key("", ""));
}

TEST(Merge, LaterRecordsReplaceEveryEarlierRecordSharingAKey) {
    struct Case {
        std::string what;
        std::string text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"case-folded key", entry("first", {"ABC"}) + entry("second", {"abc"}), {"second"}},
        {"non-ASCII bytes exact", entry("upper", {"\xC3\x84"}) + entry("lower", {"\xC3\xA4"}), {"upper", "lower"}},
        {"one key of several", entry("ab", {"A", "B"}) + entry("bc", {"b", "C"}), {"bc"}},
        {"replaces two at once",
         entry("a", {"A"}) + entry("b", {"B"}) + entry("c", {"C"}) + entry("ab", {"b", "a"}),
         {"c", "ab"}},
        {"order of the rest kept",
         entry("A", {"a"}) + entry("B", {"b"}) + entry("C", {"c"}) + entry("D", {"x", "A"}),
         {"B", "C", "D"}},
        {"empty keys never meet",
         entry("empty", {}) + entry("any", {"a"}) + entry("empty again", {}),
         {"empty", "any", "empty again"}},
        {"repeated key inside one record", entry("twice", {"K", "k"}) + entry("x", {"y"}), {"twice", "x"}},
    };
    for (const Case& c : cases) {
        Catalog catalog;
        ASSERT_TRUE(merge_catalog_toml(catalog, c.text)) << c.what;
        EXPECT_EQ(names(catalog.entries), c.expected) << c.what;
    }
}

TEST(Merge, DevicesMergeByTheirOwnKeysApartFromEntries) {
    Catalog catalog;
    ASSERT_TRUE(
        merge_catalog_toml(catalog, entry("media", {"K1"}) + device("old", {"K1", "x"}) + device("other", {"z"})));
    ASSERT_TRUE(merge_catalog_toml(catalog, device("new", {"X"})));
    EXPECT_EQ(names(catalog.entries), std::vector<std::string>{"media"});
    EXPECT_EQ(names(catalog.devices), (std::vector<std::string>{"other", "new"}));
}

TEST(Merge, FailureLeavesTheCatalogUnchanged) {
    Catalog catalog;
    ASSERT_TRUE(merge_catalog_toml(catalog, entry("kept", {"A"}) + device("kept", {"D"})));
    const Catalog before = catalog;
    const std::string replacing = entry("new", {"a"}) + device("new", {"d"});
    const std::string texts[] = {
        replacing + "[[entries]]\n",                  // schema fault after good records
        replacing + "x = \n",                         // syntax fault
        replacing + "# [[printers]] in a comment\n",  // obsolete layout
    };
    for (const std::string& text : texts) {
        EXPECT_FALSE(merge_catalog_toml(catalog, text)) << text;
        EXPECT_EQ(catalog.entries, before.entries) << text;
        EXPECT_EQ(catalog.devices, before.devices) << text;
    }
}

// Read on its own, a text gives what merging it into an empty catalog gives, its error included.
TEST(ReadCatalog, GivesWhatAMergeIntoAnEmptyCatalogGives) {
    const std::string texts[] = {
        entry("first", {"A"}) + entry("second", {"a"}) + device("d", {"D"}),  // a record replaced
        entry("kept", {"A"}) + "x = \n",                                      // syntax fault
        entry("kept", {"A"}) + "[[printers]]\n",                              // obsolete layout
    };
    for (const std::string& text : texts) {
        Catalog merged;
        const auto expected = merge_catalog_toml(merged, text);
        const auto read = read_catalog(text);
        ASSERT_EQ(read.has_value(), expected.has_value()) << text;
        if (!read) {
            EXPECT_EQ(read.error(), expected.error()) << text;
            continue;
        }
        EXPECT_EQ((*read)->entries, merged.entries) << text;
        EXPECT_EQ((*read)->devices, merged.devices) << text;
    }
}

TEST(Merge, ObsoleteHeaderIsFoundAsBytesBeforeParsing) {
    Catalog catalog;
    // Found anywhere, even in a string of a document that would not parse.
    auto refused = merge_catalog_toml(catalog, "name = \"[[printers]]\nbroken = ");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().display(),
              "failed to parse catalog: catalog uses obsolete [[printers]] tables; rename them "
              "to [[devices]]");
    EXPECT_EQ(refused.error().message.size(), 69u);
    // Blanks inside the brackets or a capital letter pass the check; the table is then an
    // unknown key and skipped.
    for (const char* text : {"[[ printers ]]\nname = \"x\"\n", "[[Printers]]\nname = \"x\"\n"}) {
        ASSERT_TRUE(merge_catalog_toml(catalog, text)) << text;
        EXPECT_TRUE(catalog.devices.empty());
    }
}

TEST(Merge, ReaderFaultIsWrappedInTheParseError) {
    Catalog catalog;
    auto refused = merge_catalog_toml(catalog, "[[devices]]\n");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, CatalogError::Kind::Parse);
    EXPECT_THAT(refused.error().display(),
                ::testing::StartsWith("failed to parse catalog: devices[0]: missing key `brand`"));
}

TEST(Merge, BuiltinTextTwiceReplacesEachRecordByItsSecondCopy) {
    Catalog catalog;
    ASSERT_TRUE(merge_catalog_toml(catalog, BUILTIN_CATALOG));
    const Catalog once = catalog;
    ASSERT_TRUE(merge_catalog_toml(catalog, BUILTIN_CATALOG));
    EXPECT_EQ(catalog.entries.size(), 342u);
    EXPECT_EQ(catalog.devices.size(), 174u);
    EXPECT_EQ(catalog.entries, once.entries);
    EXPECT_EQ(catalog.devices, once.devices);
}

}  // namespace
}  // namespace pvo_catalog
