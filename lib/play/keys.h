// quab-play's keys: one table of which key does what, read by the key handling and held to the
// --help text and the man page by a test; and the answers to each key.
#pragma once

#include <cstddef>

#include <SDL.h>

#include "lib/play/player.h"

enum class KeyAction {
    NONE,
    QUIT,
    FULLSCREEN,
    PAUSE,
    PREVIOUS,
    NEXT,
    LOOP,
    STEP_ON,
    STEP_BACK,
    OVERLAY,
    SAVE_FRAME,
    WHOLE_PIXELS
};

struct KeyBinding {
    SDL_Keycode key;
    bool alt;     // only with Alt held
    bool repeats; // a held key goes on acting; the others act once a press
    KeyAction action;
    const char* name; // as --help and the man page name it
};

extern const KeyBinding PLAY_KEYS[];
extern const std::size_t PLAY_KEY_COUNT;

// What a key pressed (with the modifiers mod, repeat for a held key's repeats) asks for.
KeyAction key_action(SDL_Keycode key, Uint16 mod, bool repeat);

// Left or Right: the song position one before (delta -1) or after (1) the one last asked for,
// or the one heard when the music has made every jump asked; never below 0.
int jump_target(const Player& p, int delta);

// Answers one key; false for quit.
bool handle_key(Player* p, const SDL_KeyboardEvent& key);
