// Whether OpenGL would be emulated, asked of the X server before any renderer is made. Apart
// from the screen code, as Xlib's own Screen type clashes with the player's.
#include "lib/play/gl_probe.h"

#include <cstdlib>
#include <cstring>

#include <SDL_syswm.h>

// Whether OpenGL on the window's X server would be emulated on the CPU: the server offers no
// direct rendering (DRI2 or DRI3: no graphics card behind it, as Xvfb or a remote display), or
// the user asks for software GL. Decided before any renderer is made, as making an OpenGL one
// only to drop it costs a fifth of a second before the first frame.
bool gl_would_be_emulated(SDL_Window* window) {
    const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software && *software && std::strcmp(software, "0") != 0)
        return true;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    int opcode, event, error;
    Display* display = info.info.x11.display;
    return !XQueryExtension(display, "DRI3", &opcode, &event, &error) &&
           !XQueryExtension(display, "DRI2", &opcode, &event, &error);
}
