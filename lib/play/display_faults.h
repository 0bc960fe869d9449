// quab-play's answers to a display that goes away under it: a window destroyed by another client
// ends the show as its close button does, and a lost connection to the X server is one line and
// exit status 1, at once, never Xlib's exit() under running threads.
#pragma once

#include <SDL.h>

// Installs the handler of a lost X connection; called before SDL opens the display, so that a
// server that goes away while the window opens is answered too. Harmless without X.
void watch_display_connection();

// Installs the X error handler for the window, and a crash handler that tells a crash on a
// closed connection as the display lost; nothing under other video drivers. Called once the
// window is open, and again once the renderer is made (an OpenGL renderer makes the window anew).
void watch_display_faults(SDL_Window* window);

// True once the X server has reported the window destroyed from outside (xdotool windowclose):
// the frame loop ends the show.
bool display_window_gone();

// After SDL_DestroyWindow, before SDL_Quit: takes in the X server's answers to what was sent, so
// that errors about a window destroyed from outside still come here, not to Xlib's handler,
// which SDL_Quit puts back before it closes the display.
void display_faults_settle();
