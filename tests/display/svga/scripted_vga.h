// A scripted console library for the back-end's tests of outcomes the real library never
// produces (mode 54 without mode information, or without linear addressing): every vga_* call
// answers from the script and is logged.
#pragma once

#include <string>
#include <vector>

#include "display/svga/vga.h"

struct VgaScript {
    int init_result = 0;
    int hasmode_result = 1;
    int setmode54_result = 0;
    bool has_modeinfo = true;
    int modeinfo_flags = CAPABLE_LINEAR;
    std::vector<int> keys; // vga_getkey answers, then 0
    std::vector<std::string> calls;
};

extern VgaScript vga_script;
// Video memory vga_getgraphmem hands out.
extern unsigned char scripted_graphmem[320 * 240 * 4];
