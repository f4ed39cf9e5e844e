// The texts the tray shows about the running agent, and the designer's address: made by the
// agent and handed to the desktop module.
#include <string>

#include <gtest/gtest.h>

#include "desktop/tray_texts.hpp"
#include "parvello/product.hpp"

namespace parvello::desktop {
namespace {

TEST(TrayTexts, NameVersionAndPort) {
    EXPECT_EQ(status_item_text(27419), "parvello v" PVO_VERSION " \u00b7 :27419");
    EXPECT_EQ(tray_tooltip(27419), "parvello v2.0.6 (127.0.0.1:27419)");
    EXPECT_EQ(status_item_text(8080), "parvello v2.0.6 \u00b7 :8080");
    EXPECT_EQ(tray_tooltip(8080), "parvello v2.0.6 (127.0.0.1:8080)");
}

TEST(VestraUrl, TheVariableExactlyAsGivenElseTheMakersDesigner) {
    const std::string builtin = "https://" + std::string(maker_host()) + "/vestra/";
    EXPECT_EQ(vestra_url(nullptr), builtin);
    EXPECT_EQ(vestra_url("\xff not utf-8"), builtin);
    EXPECT_EQ(vestra_url(" http://127.0.0.1:9/x?y "), " http://127.0.0.1:9/x?y ");
    EXPECT_EQ(vestra_url(""), "");
}

}  // namespace
}  // namespace parvello::desktop
