// libFuzzer target for the login entry's Desktop Entry text. Two properties:
// - the input as a file found in an autostart directory: reading its switch never crashes;
// - the input as a program path: the entry written for it is always well-formed and approved,
//   whatever the path holds (line breaks, quotes, escapes, percent signs).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop_entry.hpp"
#include "pvo-util/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)parvello::desktop_entry_approved(text);

    const std::string program = pvo_util::utf8_lossy(text);
    const std::vector<std::string> arguments{"--tray", program};
    const auto approved =
        parvello::desktop_entry_approved(parvello::desktop_entry_text("parvello", program, arguments));
    if (!approved || !*approved) std::abort();
    return 0;
}
