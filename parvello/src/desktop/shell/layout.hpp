#pragma once
// Where the two web views sit in the window: the designer on top, the log panel below.
namespace parvello::desktop {

// A rectangle in logical units.
struct Bounds {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Bounds&) const = default;
};

struct WebviewLayout {
    Bounds designer;
    Bounds log;
    bool operator==(const WebviewLayout&) const = default;
};

// The layout for a client area of `pixel_width` x `pixel_height` physical pixels at `scale`.
// The log panel is 180 units high when there is room, never less than 80; the designer takes
// the rest but keeps at least 80 units, so in a very short window the log panel runs past the
// bottom edge rather than squeezing the designer away.
WebviewLayout layout_webviews(double pixel_width, double pixel_height, double scale);

}  // namespace parvello::desktop
