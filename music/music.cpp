// libmikmod start-up with the show's fixed mixing settings, the module handle the frame loop
// reads its song position from, and the music's shutdown.
#include "music/music.h"

#include <cstdio>

MODULE* music_module = nullptr;

void music_apply_settings() {
    md_pansep = 128;
    md_volume = 128;
    md_reverb = 0;
    md_device = 0; // autodetect: the first registered driver that reports itself present
    md_mixfreq = 44100;
    // 16-bit stereo, music mixed in software; no high-quality mixer, surround or interpolation.
    // Every other bit keeps the value the library gave it.
    md_mode = static_cast<UWORD>((md_mode & 0xFCEF) | 0x000B);
}

int music_start(const char* path, std::uint8_t max_channels) {
    std::printf("Initiating Mikmod startup sequence...\n");
    std::fflush(stdout);
    MikMod_RegisterAllLoaders();
    MikMod_RegisterAllDrivers();
    music_apply_settings();

    if (MikMod_Init("")) {
        std::fprintf(stderr, "Mikmod: Unable to initialize mikmod: %s\n",
                     MikMod_strerror(MikMod_errno));
        return 0;
    }
    // Hidden patterns beyond the order list are not loaded.
    music_module = Player_Load(path, max_channels, 0);
    if (!music_module) {
        std::fprintf(stderr, "Unable to load module becouse: %s\n", MikMod_strerror(MikMod_errno));
        MikMod_Exit();
        return 0;
    }
    // libmikmod loads a module whose order list is empty; it has no song to play, and the show,
    // which follows the song position, would wait in silence for ever.
    if (music_module->numpos == 0) {
        std::fprintf(stderr, "Unable to load module becouse: %s has no song positions\n", path);
        Player_Free(music_module);
        music_module = nullptr;
        MikMod_Exit();
        return 0;
    }
    return 1;
}

void music_stop() {
    Player_Free(music_module);
    music_module = nullptr;
    MikMod_Exit();
}
