#pragma once
// The texts the tray shows about the running agent, and the designer's address.
#include <cstdint>
#include <string>

namespace parvello::desktop {

// "parvello v2.0.6 · :27419": the first, disabled line of the tray menu.
std::string status_item_text(std::uint16_t port);

// "parvello v2.0.6 (127.0.0.1:27419)".
std::string tray_tooltip(std::uint16_t port);

// PARVELLO_VESTRA_URL exactly as given (empty included) when it is set and valid UTF-8,
// otherwise the designer on the maker's host: https://<host>/vestra/.
std::string vestra_url();
// The same decision from a raw environment value (null when unset).
std::string vestra_url(const char* variable_value);

}  // namespace parvello::desktop
