#include <gtest/gtest.h>

#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"

namespace pvo_catalog {
namespace {
TEST(BuiltinCatalog, Loads) {
    auto catalog = load_builtin_catalog();
    ASSERT_TRUE(catalog) << catalog.error();
    EXPECT_EQ(catalog->entries.size(), 342u);
    EXPECT_EQ(catalog->devices.size(), 174u);
}
}  // namespace
}  // namespace pvo_catalog
