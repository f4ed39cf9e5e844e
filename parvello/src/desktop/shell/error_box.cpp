#include <gtk/gtk.h>

#include <string>

#include "desktop/shell/run_desktop.hpp"
#include "parvello/product.hpp"

namespace parvello::desktop {

void show_error_box(std::string_view text) {
    // gtk_init_check opens the display once per process and fails quietly without one, so a
    // headless agent on a machine with no display never waits here.
    if (!gtk_init_check(nullptr, nullptr)) return;
    const std::string message(text);
    const std::string title(kProductName);
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

}  // namespace parvello::desktop
