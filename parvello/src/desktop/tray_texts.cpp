#include "desktop/tray_texts.hpp"

#include <cstdlib>

#include <fmt/format.h>

#include "pvo-util/text.hpp"

#include "parvello/product.hpp"

namespace parvello::desktop {

std::string status_item_text(std::uint16_t port) {
    return fmt::format("{} v{} \u00b7 :{}", kProductName, kVersion, port);
}

std::string tray_tooltip(std::uint16_t port) {
    return fmt::format("{} v{} (127.0.0.1:{})", kProductName, kVersion, port);
}

std::string vestra_url(const char* variable_value) {
    if (variable_value != nullptr && pvo_util::is_valid_utf8(variable_value)) return variable_value;
    return fmt::format("https://{}/vestra/", maker_host());
}

std::string vestra_url() { return vestra_url(std::getenv("PARVELLO_VESTRA_URL")); }

}  // namespace parvello::desktop
