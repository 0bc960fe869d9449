// The collector: the show's music mixed on demand, offline. libmikmod with the show's mixing
// settings and an output driver of our own that mixes exactly as many sample frames as asked into
// the caller's buffer.
// quab-export writes them to a file, quab-play hands them to the sound output. All libmikmod calls
// of a program using it stay on one thread at a time: open, then start/mix/stop, then close.
#pragma once

#include <cstdint>
#include <string>

#include <mikmod.h>

#include "lib/base/result.h"

// 16-bit stereo in host byte order.
constexpr std::uint32_t MIX_BYTES_PER_FRAME = 4;

// Starts libmikmod with the show's settings and the collecting driver, and loads the module at
// path as xdemo does (hidden patterns not loaded, a module without song positions refused).
// Refused with the reason; *bad_module tells a module that cannot be loaded from a library that
// cannot start.
Result collector_open(const char* path, bool* bad_module);

// The loaded module; its sngpos, patpos and sngtime move as collector_mix runs the player.
MODULE* collector_module();

// Replaces the loaded module with the one at path, loaded as collector_open loads it; the player is
// stopped first and the caller starts the new module. Where path cannot be loaded, refused with
// the reason, and the loaded module plays on untouched. On the thread that mixes.
Result collector_switch_module(const char* path);

// Mixes exactly `frames` sample frames into out (frames * MIX_BYTES_PER_FRAME bytes). The player's
// tick handler runs inside, at the first sample of every player tick. Refused with the reason when
// libmikmod mixed less than asked.
Result collector_mix(void* out, std::uint32_t frames);

// Frees the module and closes libmikmod; the caller has stopped the player.
void collector_close();
