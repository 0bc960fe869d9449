// A file dropped on quab-play's window, as "Open with" or a file manager's drag gives it: the
// module to play the show with, from the beginning.
#pragma once

#include <cstdint>

#include <SDL.h>

// Asks the music thread to play the dropped file as jump `jump_number` (the caller's next jump
// number) and frees SDL's copy of the name. Other drop events are let through untouched.
void play_dropped_file(SDL_DropEvent* drop, std::uint32_t jump_number);
