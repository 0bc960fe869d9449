// Dropped files: SDL turns the desktop's drag and drop (XDND on X11, the data device on Wayland)
// into SDL_DROPFILE with a local path; the music thread does the loading, as only it calls
// libmikmod while the show plays.
#include "lib/play/dropped_file.h"

#include "lib/play/playback.h"

void play_dropped_file(SDL_DropEvent* drop, std::uint32_t jump_number) {
    if (drop->type != SDL_DROPFILE || !drop->file)
        return;
    playback_switch_module(drop->file, jump_number);
    SDL_free(drop->file);
    drop->file = nullptr;
}
