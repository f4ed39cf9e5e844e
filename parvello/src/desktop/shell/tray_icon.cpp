#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>

#include <fmt/format.h>

#include "desktop/shell/tray.hpp"

namespace parvello::desktop {
namespace {

// The tray picture, drawn by scripts/make-tray-icon.py.
constexpr std::uint8_t TRAY_ICON_PNG[] = {
#include "desktop/shell/tray_icon_png.inc"
};

constexpr int kIconSize = 32;

DesktopError icon_error(const char* what, GError* error) {
    DesktopError out{fmt::format("tray icon: {}", error != nullptr ? error->message : what)};
    if (error != nullptr) g_error_free(error);
    return out;
}

}  // namespace

std::expected<TrayPixmap, DesktopError> load_tray_icon() {
    GError* error = nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", &error);
    if (loader == nullptr) return std::unexpected(icon_error("no PNG decoder", error));
    const bool decoded = gdk_pixbuf_loader_write(loader, TRAY_ICON_PNG, sizeof TRAY_ICON_PNG, &error) &&
                         gdk_pixbuf_loader_close(loader, &error);
    if (!decoded) {
        g_object_unref(loader);
        return std::unexpected(icon_error("cannot decode", error));
    }
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf == nullptr || gdk_pixbuf_get_width(pixbuf) != kIconSize || gdk_pixbuf_get_height(pixbuf) != kIconSize ||
        !gdk_pixbuf_get_has_alpha(pixbuf) || gdk_pixbuf_get_n_channels(pixbuf) != 4 ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) {
        g_object_unref(loader);
        return std::unexpected(icon_error("not a 32 x 32 RGBA picture", nullptr));
    }

    // The item's pixmap is ARGB32 in network byte order: A, R, G, B for each pixel.
    TrayPixmap pixmap{kIconSize, kIconSize, {}};
    pixmap.argb.reserve(kIconSize * kIconSize * 4);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            const guchar* p = pixels + y * stride + x * 4;
            pixmap.argb.insert(pixmap.argb.end(), {p[3], p[0], p[1], p[2]});
        }
    }
    g_object_unref(loader);
    return pixmap;
}

}  // namespace parvello::desktop
