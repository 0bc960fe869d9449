// Reload on save: the show's files watched with inotify (their folders, so that an editor's save
// by rename is seen as well as a write in place) and taken again once a save has settled, the
// show going on at the same song position and row. A file that cannot be used leaves the show
// as it was, with one line naming the file and the reason.
#pragma once

#include <string>

#include "lib/play/player.h"

struct Watch;
struct Checker;

// Loads the show's files as the command line names them: the asset file (or the folder of
// pictures), then the module into the mixer. False with one line in *error naming the file.
[[nodiscard]] bool load_first_show(const ShowSource& source, AssetTable* assets,
                                   std::string* error);

// Starts watching the player's files; each reload is then checked by checker (null: none). Null,
// after a line on standard error, when the system cannot watch them; the show then plays on
// without reloads.
Watch* watch_start(Player* p, Checker* checker);

// Between frames: reloads what has been saved since and has settled. True when the frame on
// screen was drawn again (a reload while paused).
bool watch_poll(Watch* w, Player* p);

// Stops watching; null is allowed.
void watch_stop(Watch* w);
