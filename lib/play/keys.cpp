// The key table and what each action does to the player, the music and the window.
#include "lib/play/keys.h"

#include <string>

#include "lib/play/bench.h"
#include "lib/play/playback.h"
#include "lib/play/screen.h"

const KeyBinding PLAY_KEYS[] = {
    {SDLK_ESCAPE, false, true, KeyAction::QUIT, "Esc"},
    {SDLK_q, false, true, KeyAction::QUIT, "Q"},
    {SDLK_LEFT, false, true, KeyAction::PREVIOUS, "Left"},
    {SDLK_RIGHT, false, true, KeyAction::NEXT, "Right"},
    {SDLK_PERIOD, false, true, KeyAction::STEP_ON, "."},
    {SDLK_COMMA, false, true, KeyAction::STEP_BACK, ","},
    {SDLK_F11, false, false, KeyAction::FULLSCREEN, "F11"},
    {SDLK_RETURN, true, false, KeyAction::FULLSCREEN, "Alt+Enter"},
    {SDLK_KP_ENTER, true, false, KeyAction::FULLSCREEN, "Alt+Enter"},
    {SDLK_SPACE, false, false, KeyAction::PAUSE, "Space"},
    {SDLK_l, false, false, KeyAction::LOOP, "L"},
    {SDLK_TAB, false, false, KeyAction::OVERLAY, "Tab"},
    {SDLK_F12, false, false, KeyAction::SAVE_FRAME, "F12"},
    {SDLK_i, false, false, KeyAction::WHOLE_PIXELS, "I"},
};
const std::size_t PLAY_KEY_COUNT = sizeof PLAY_KEYS / sizeof PLAY_KEYS[0];

KeyAction key_action(SDL_Keycode key, Uint16 mod, bool repeat) {
    for (const KeyBinding& b : PLAY_KEYS)
        if (b.key == key && (!b.alt || (mod & KMOD_ALT)) && (b.repeats || !repeat))
            return b.action;
    return KeyAction::NONE;
}

int jump_target(const Player& p, int delta) {
    int from = p.jumps_asked != p.heard.jumps ? p.asked_position : p.heard.sngpos;
    int to = from + delta;
    return to < 0 ? 0 : to;
}

namespace {

void jump(Player* p, int delta) {
    p->asked_position = jump_target(*p, delta);
    playback_jump(static_cast<std::int16_t>(p->asked_position), ++p->jumps_asked);
    if (p->paused)
        player_note(p, "position " + std::to_string(p->asked_position) + " once playing");
}

void toggle_pause(Player* p) {
    p->paused = !p->paused;
    if (!p->paused)
        end_steps(p);
    playback_set_paused(p->paused);
    set_title(p);
}

} // namespace

bool handle_key(Player* p, const SDL_KeyboardEvent& key) {
    KeyAction action = key_action(key.keysym.sym, key.keysym.mod, key.repeat != 0);
    switch (action) {
    case KeyAction::QUIT:
        return false;
    case KeyAction::FULLSCREEN:
        toggle_fullscreen(&p->screen);
        break;
    case KeyAction::PAUSE:
        toggle_pause(p);
        break;
    case KeyAction::PREVIOUS:
    case KeyAction::NEXT:
        jump(p, action == KeyAction::NEXT ? 1 : -1);
        break;
    case KeyAction::LOOP:
        toggle_scene_loop(p);
        break;
    case KeyAction::STEP_ON:
    case KeyAction::STEP_BACK:
        step_tick(p, action == KeyAction::STEP_ON ? 1 : -1);
        break;
    case KeyAction::OVERLAY:
        p->overlay_on = !p->overlay_on;
        break;
    case KeyAction::SAVE_FRAME:
        save_frame(p);
        break;
    case KeyAction::WHOLE_PIXELS:
        toggle_whole_pixels(&p->screen);
        player_note(p, screen_whole_pixels(&p->screen) ? "whole pixels" : "fill");
        break;
    case KeyAction::NONE:
        break;
    }
    return true;
}
