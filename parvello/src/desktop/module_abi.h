/* The one entry point between the agent and its desktop module (parvello-desktop.so).
 *
 * The module holds everything that needs GTK, WebKitGTK and the tray's D-Bus menu; the agent
 * opens it only in desktop mode and for the error box of a fatal error, so a headless agent
 * never maps those libraries. Only plain C types cross: the module is built from the same
 * sources as the agent, but nothing of the agent's own state (logging, settings, log buffer)
 * is linked into it twice; the agent lends it through these callbacks instead. */
#ifndef PARVELLO_DESKTOP_MODULE_ABI_H
#define PARVELLO_DESKTOP_MODULE_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever either structure below changes. */
#define PVO_DESKTOP_ABI_VERSION 1u
/* The one symbol the agent looks up in the module. */
#define PVO_DESKTOP_ENTRY_SYMBOL "pvo_desktop_entry"

/* Log levels the module uses, as the agent's logging numbers them. */
enum { PVO_DESKTOP_LOG_INFO = 2, PVO_DESKTOP_LOG_WARN = 3 };

/* What the agent lends the shell. Texts are UTF-8 and live as long as the process.
 * Callbacks may be called from the main thread only, each with `context`. */
struct pvo_desktop_host {
    void* context;
    int show_at_start;            /* 0 when started with --tray */
    const char* status_item;      /* the first, disabled line of the tray menu */
    const char* tooltip;          /* the tray item's tooltip */
    const char* designer_url;     /* the designer view's and the browser's address */
    const char* webview_data_dir; /* null when it cannot be resolved */

    void (*log)(void* context, int level, const char* target, const char* message);
    /* Hands every line of the log buffer, oldest first, to `line` with `user`; returns the
     * buffer's generation at that moment. */
    uint64_t (*log_snapshot)(void* context, void (*line)(void* user, const char* text, size_t size), void* user);
    /* Empties the log buffer. */
    void (*log_clear)(void* context);
    /* The settings' autostart value (a blocking read under the settings lock). */
    int (*autostart)(void* context);
    /* One click on "Start at login": starts its worker and returns at once. */
    void (*start_at_login)(void* context, int enabled);
};

struct pvo_desktop_module {
    uint32_t abi_version;
    /* Builds the shell and runs its loop on the calling thread, the process's main thread.
     * Normally it never returns (the loop ends the process); should the loop end, it returns
     * null. On a set-up failure it returns the error's text, owned by the module. */
    const char* (*run_desktop)(const struct pvo_desktop_host* host);
    /* A modal error dialog titled "parvello" with one OK button when a display can be opened;
     * returns once it is dismissed, or at once without a display. */
    void (*show_error_box)(const char* text);
};

typedef const struct pvo_desktop_module* (*pvo_desktop_entry_fn)(void);

#ifdef __cplusplus
}
#endif

#endif
