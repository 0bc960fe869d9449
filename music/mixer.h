// The show's music mixed on demand: libmikmod with the show's mixing settings and an output
// driver of our own that mixes exactly as many sample frames as asked into the caller's buffer.
// quab-export writes them to a file, quab-play hands them to the sound output. All libmikmod calls
// of a program using it stay on one thread at a time: open, then start/mix/stop, then close.
#pragma once

#include <cstdint>
#include <string>

#include <mikmod.h>

// 16-bit stereo in host byte order.
constexpr std::uint32_t MIX_BYTES_PER_FRAME = 4;

// Starts libmikmod with the show's settings and the collecting driver, and loads the module at
// path as xdemo does (hidden patterns not loaded, a module without song positions refused).
// Returns true, or false with *error holding the reason; *bad_module tells a module that cannot
// be loaded from a library that cannot start.
[[nodiscard]] bool mixer_open(const char* path, std::string* error, bool* bad_module);

// The loaded module; its sngpos, patpos and sngtime move as mixer_mix runs the player.
MODULE* mixer_module();

// Mixes exactly `frames` sample frames into out (frames * MIX_BYTES_PER_FRAME bytes). The player's
// tick handler runs inside, at the first sample of every player tick. False with *error set when
// libmikmod mixed less than asked.
[[nodiscard]] bool mixer_mix(void* out, std::uint32_t frames, std::string* error);

// Frees the module and closes libmikmod; the caller has stopped the player.
void mixer_close();
