// The scripted console library: answers from vga_script and logs each call with its argument.
#include "tests/display/svga/scripted_vga.h"

VgaScript vga_script;
unsigned char scripted_graphmem[320 * 240 * 4];
static vga_modeinfo scripted_info;

int vga_init(void) {
    vga_script.calls.push_back("init");
    return vga_script.init_result;
}

int vga_hasmode(int mode) {
    vga_script.calls.push_back("hasmode " + std::to_string(mode));
    return vga_script.hasmode_result;
}

int vga_setmode(int mode) {
    vga_script.calls.push_back("setmode " + std::to_string(mode));
    return mode == G320x240x16M32 ? vga_script.setmode54_result : 0;
}

vga_modeinfo* vga_getmodeinfo(int mode) {
    vga_script.calls.push_back("getmodeinfo " + std::to_string(mode));
    if (!vga_script.has_modeinfo)
        return nullptr;
    scripted_info = vga_modeinfo{320, 240, 4, 1 << 24, 1280, vga_script.modeinfo_flags};
    return &scripted_info;
}

int vga_setlinearaddressing(void) {
    vga_script.calls.push_back("setlinearaddressing");
    return -1; // the back-end does not use the result
}

unsigned char* vga_getgraphmem(void) {
    vga_script.calls.push_back("getgraphmem");
    return scripted_graphmem;
}

int vga_getkey(void) {
    vga_script.calls.push_back("getkey");
    if (vga_script.keys.empty())
        return 0;
    int key = vga_script.keys.front();
    vga_script.keys.erase(vga_script.keys.begin());
    return key;
}
