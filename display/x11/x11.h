// The X11 window back-end of xdemo: a fixed 320x240 window whose client-side image buffer is the
// frame the scenes draw into, presented once per pass, with a non-blocking key/button poll.
#pragma once

#include <cstdint>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "display/display.h"

struct DisplayContext {
    Display* display;
    Window window;
    GC gc;
    XImage* image;
    XEvent event;          // filled by the quit poll
    int byte_order;        // the image's, for information
    int bytes_per_line;    // the image's, for information
    std::uint8_t depth;    // of the chosen visual: 32, 24 or 16
    Pixel* frame;          // the image's pixel buffer
    Atom wm_delete_window; // the window manager's close message
};

// Opens the window on the default display; argc/argv go to the window's command property.
// Prints its start-up line and, on failure, why; returns null having released what it opened.
[[nodiscard]] DisplayContext* x11_open(int argc, char** argv);

// Sends the whole frame to the window.
void x11_present(DisplayContext* context);

// Takes at most one pending key or button press, or the window manager's request to close the
// window; true when it took one, and also once the window has been destroyed under the show.
// Never blocks.
[[nodiscard]] bool x11_poll_quit(DisplayContext* context);

// Frees the pixel buffer and the image, closes the connection, frees the record.
void x11_close(DisplayContext* context);
