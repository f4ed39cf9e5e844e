#pragma once
#include <string>

namespace parvello::desktop {

// A failure to set up the desktop, with the text the fatal report shows.
struct DesktopError {
    std::string message;
};

}  // namespace parvello::desktop
