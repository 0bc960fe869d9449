// A look at the window's display before quab-play picks its renderer.
#pragma once

#include <SDL.h>

// True where OpenGL on the window's display would be emulated on the CPU (llvmpipe, softpipe):
// an X server without direct rendering, or software GL asked for. Then SDL's own software
// renderer is the faster one, and making an OpenGL one first only to drop it costs a fifth of a
// second before the first frame.
bool gl_would_be_emulated(SDL_Window* window);
