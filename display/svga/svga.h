// The console back-end of vgademo: mode 54 of the console graphics library, into whose linear
// video memory each pass copies the driver's offscreen_frame, with a non-blocking key poll.
#pragma once

#include <cstdint>

#include "display/display.h"

struct DisplayContext {
    std::int32_t status; // 1 when mode 54 is set and its memory addressed linearly, else 0
    std::uint8_t depth;  // 32 once usable, 0xFF before
    Pixel* frame;        // the mode's video memory; null until usable
};

// Prints the start-up line, initialises the library and sets mode 54. Null (after its message)
// when the library cannot start or the record cannot be allocated; otherwise the record, whose
// status says whether the mode is usable.
[[nodiscard]] DisplayContext* svga_open();

// Copies the 76,800 words of offscreen_frame to video memory as they are.
void svga_present(DisplayContext* context, const Pixel* offscreen_frame);

// True when a key was waiting (it is consumed); never blocks.
[[nodiscard]] bool svga_poll_quit();

// Returns the console to text mode.
void svga_close();
