// The console back-end of vgademo over the console graphics library (vga.h), and the display
// interface the driver calls. The scenes draw into the driver's offscreen_frame; presenting is
// one plain copy of it into the mode's linear video memory.
#include "display/svga/svga.h"

#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "display/svga/vga.h"

// Set from a successful vga_setmode(54) until text mode returns: the two failure paths after it
// hand back a record of status 0 with the console still in graphics.
static bool in_graphics = false;

DisplayContext* svga_open() {
    std::printf("Initiating dravo/QUAB svgalib startup v%s\n", QUAB_VERSION);
    std::fflush(stdout);
    if (vga_init() != 0) {
        std::printf("Unable to initiate svgalib\n");
        return nullptr;
    }
    auto* context = static_cast<DisplayContext*>(std::malloc(sizeof(DisplayContext)));
    if (!context) {
        std::printf("Unable to allocate %d bytes of memory\n",
                    static_cast<int>(sizeof(DisplayContext)));
        return nullptr;
    }
    context->status = 0;
    context->depth = 0xFF;
    context->frame = nullptr;

    if (vga_hasmode(G320x240x16M32) <= 0)
        return context;
    if (vga_setmode(G320x240x16M32) != 0) {
        std::printf("Unable to set mode: 320x240x32\n");
        return context;
    }
    in_graphics = true;
    vga_modeinfo* info = vga_getmodeinfo(G320x240x16M32);
    if (!info) {
        std::printf("Unable to get mode info\n");
        return context;
    }
    if (info->flags & (CAPABLE_LINEAR | IS_LINEAR)) {
        vga_setlinearaddressing();
        context->frame = reinterpret_cast<Pixel*>(vga_getgraphmem());
        context->status = 1;
        context->depth = 32;
        return context;
    }
    std::printf("Unable to set mode to linear\n");
    return context;
}

void svga_present(DisplayContext* context, const Pixel* offscreen_frame) {
    Pixel* __restrict dst = context->frame;
    const Pixel* __restrict src = offscreen_frame;
    for (int i = 0; i < FRAME_PIXELS; i++)
        dst[i] = src[i];
}

bool svga_poll_quit() { return vga_getkey() != 0; }

void svga_close() {
    vga_setmode(TEXT);
    in_graphics = false;
}

bool display_wants_offscreen_frame() { return true; }
DisplayContext* display_open(int, char**) { return svga_open(); }
int display_status(const DisplayContext* context) { return context->status; }

// A console left in graphics by a failed start-up would be unusable after the exit.
void display_discard(DisplayContext* context) {
    if (in_graphics)
        svga_close();
    std::free(context);
}

Pixel* display_frame(DisplayContext*) { return nullptr; }
void display_present(DisplayContext* context, const Pixel* frame) { svga_present(context, frame); }
bool display_poll_quit(DisplayContext*) { return svga_poll_quit(); }

void display_close(DisplayContext* context) {
    svga_close();
    std::free(context);
}
