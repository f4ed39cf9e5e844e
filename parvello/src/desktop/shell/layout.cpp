#include "desktop/shell/layout.hpp"

#include <algorithm>

namespace parvello::desktop {

namespace {
constexpr double kMinPanel = 80;
constexpr double kMaxLogPanel = 180;
}  // namespace

WebviewLayout layout_webviews(double pixel_width, double pixel_height, double scale) {
    const double w = pixel_width / scale;
    const double h = pixel_height / scale;
    const double log_height = std::max(std::min(h - kMinPanel, kMaxLogPanel), kMinPanel);
    const double designer_height = std::max(h - log_height, kMinPanel);
    return {{0, 0, w, designer_height}, {0, designer_height, w, log_height}};
}

}  // namespace parvello::desktop
