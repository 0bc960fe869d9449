// The console graphics library of vgademo: the svgalib calls the console back-end uses, with
// their svgalib names and meanings, implemented on the Linux framebuffer device and the
// console's terminal. Only the text mode and mode 54 (320x240, 32-bit pixels) exist.
//
// Settings (the library's own, as svgalib has its configuration; the program has none):
//   VGA_FBDEV                the framebuffer device to use instead of /dev/fb0.
//   VGA_FBDEV_TEST_GEOMETRY  for tests only: "WIDTHxHEIGHTxBITS[,LINE_BYTES]", the geometry of a
//                            device that is not a framebuffer (a regular file of at least
//                            LINE_BYTES * HEIGHT bytes, LINE_BYTES defaulting to WIDTH * BITS / 8),
//                            consulted only when the device refuses the framebuffer ioctls.
//                            32-bit pixels are taken as red at bit 16, green 8, blue 0.
//
// The terminal is standard input. On a virtual console mode 54 switches it to graphics
// (KDSETMODE); on any terminal it turns off echo and line buffering. The terminal, the console
// mode and a black screen are restored by vga_setmode(TEXT), at exit, on death by a signal whose
// action was the default (SIGINT, SIGTERM, SIGABRT, ...) and on a fault (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL) before whatever handles it. Handlers the program set for other signals are kept.
#pragma once

// Modes.
constexpr int TEXT = 0;
constexpr int G320x240x16M32 = 54;

// vga_modeinfo::flags bits.
constexpr int CAPABLE_LINEAR = 0x10; // the mode's memory can be addressed linearly
constexpr int IS_LINEAR = 0x20;      // linear addressing is on

struct vga_modeinfo {
    int width;  // pixels
    int height; // pixels
    int bytesperpixel;
    int colors;
    int linewidth; // bytes from one row to the next
    int flags;     // CAPABLE_LINEAR, IS_LINEAR
};

// Opens the framebuffer device and reads its geometry. 0 on success; otherwise prints why on
// standard error and returns -1. May be called again while in text mode to reopen the device.
int vga_init(void);

// 1 when the mode can be set on this framebuffer (TEXT always), 0 otherwise.
int vga_hasmode(int mode);

// Sets mode 54 (graphics, video memory, scan-out, keyboard) or TEXT (everything restored,
// screen cleared). 0 on success, -1 on failure, leaving the console as it was.
int vga_setmode(int mode);

// The mode's description, owned by the library; null for modes other than 54.
vga_modeinfo* vga_getmodeinfo(int mode);

// Turns on linear addressing of the current mode's memory. Its size in bytes, or -1 in text mode.
int vga_setlinearaddressing(void);

// Start of the current graphics mode's video memory (240 rows of 320 32-bit pixels, 1,280
// bytes apart, blue in the low byte); null in text mode. Valid until the next vga_setmode.
unsigned char* vga_getgraphmem(void);

// The next waiting key byte from the terminal, without waiting; 0 when none. One per call.
// Always 0 when standard input was no terminal at vga_init.
int vga_getkey(void);
