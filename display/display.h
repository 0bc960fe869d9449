// The display interface the driver calls. Each deliverable links exactly one back-end
// (display/x11 for xdemo, display/svga for vgademo), which owns every platform detail.
#pragma once

#include "display/frame.h"

struct DisplayContext; // the back-end's own record

// True when the driver must allocate offscreen_frame and have the scenes draw there (vgademo);
// false when the back-end hands out the frame itself (xdemo).
bool display_wants_offscreen_frame();

// Opens the display (prints its "Initiating" line and any failure line). Null on failure.
[[nodiscard]] DisplayContext* display_open(int argc, char** argv);

// 1 when the record is usable; otherwise the driver releases it with display_discard.
int display_status(const DisplayContext* context);

// Releases a record whose status is not 1 (and whatever mode it left the screen in).
void display_discard(DisplayContext* context);

// The 320x240 frame the scenes draw into, zero-filled; null for back-ends that want the
// driver's offscreen_frame.
Pixel* display_frame(DisplayContext* context);

// Shows the frame the scenes drew this pass.
void display_present(DisplayContext* context, const Pixel* frame);

// Takes at most one pending quit request (key or button); never blocks.
[[nodiscard]] bool display_poll_quit(DisplayContext* context);

// Releases what display_open acquired and returns the screen to its earlier state.
void display_close(DisplayContext* context);
