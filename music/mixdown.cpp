// Offline playback of the show's module through the collector, with the song position
// and row taken at each video frame's first sample.
#include "music/mixdown.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <mikmod.h>
#include <unistd.h>

#include "music/collector.h"
#include "music/sample_clock.h"

namespace {

std::uint64_t samples_mixed = 0;

// Mixes until `target` sample frames have been mixed in all, appending them to audio if any.
Result mix_until(std::uint64_t target, std::uint32_t buffer_frames, void* buffer, FILE* audio) {
    while (samples_mixed < target) {
        std::uint64_t n = target - samples_mixed;
        if (n > buffer_frames)
            n = buffer_frames;
        if (Result r = collector_mix(buffer, static_cast<std::uint32_t>(n)); !r.ok)
            return r;
        errno = 0;
        if (audio && std::fwrite(buffer, MIX_BYTES_PER_FRAME, n, audio) != n)
            return Result::fail(std::string("cannot write the mixed sound: ") +
                                std::strerror(errno));
        samples_mixed += n;
    }
    return Result::success();
}

// Where a mix ends: past the show's last position, or (whole_song) at the song's first jump
// back, and after limit_s seconds either way.
struct MixLimits {
    std::int16_t last_position;
    bool whole_song;
    std::uint32_t limit_s;
};

MixEnd mix(FILE* audio, std::uint32_t fps, const MixLimits& limits,
           const volatile std::sig_atomic_t* stop, std::vector<FrameClock>* frames,
           std::string* error) {
    // One frame's worth of samples, plus the one that runs a tick starting on a frame.
    std::uint32_t buffer_frames = MIX_RATE_HZ / fps + 2;
    void* buffer = std::malloc(buffer_frames * MIX_BYTES_PER_FRAME);
    if (!buffer) {
        *error = "out of memory for the mixing buffer";
        return MixEnd::WRITE_FAILED;
    }
    samples_mixed = 0;
    MODULE* module = collector_module();
    Player_Start(module);

    MixEnd end = MixEnd::INTERRUPTED;
    std::uint64_t end_sample = 0;
    std::vector<bool> played; // the song positions played so far
    std::size_t first_frame = frames->size();
    for (std::uint64_t k = 0; !*stop; k++) {
        std::uint64_t start = frame_start_sample(k, fps);
        end_sample = start;
        if (start >= std::uint64_t{limits.limit_s} * MIX_RATE_HZ) {
            end = MixEnd::TIME_LIMIT;
            break;
        }
        // Mixing the frame's first sample runs the player tick that starts on it.
        if (Result r = mix_until(start + 1, buffer_frames, buffer, audio); !r.ok) {
            *error = r.reason;
            end = MixEnd::WRITE_FAILED;
            break;
        }
        std::int16_t sngpos = module->sngpos;
        if (sngpos > limits.last_position) {
            end = MixEnd::SHOW_ENDED;
            break;
        }
        if (!Player_Active()) {
            end = MixEnd::SONG_ENDED;
            break;
        }
        bool moved = frames->size() > first_frame && sngpos != frames->back().sngpos;
        if (limits.whole_song && moved && sngpos >= 0 &&
            static_cast<std::size_t>(sngpos) < played.size() && played[sngpos]) {
            end = MixEnd::LOOPED;
            break;
        }
        if (sngpos >= 0) {
            if (static_cast<std::size_t>(sngpos) >= played.size())
                played.resize(static_cast<std::size_t>(sngpos) + 1);
            played[sngpos] = true;
        }
        frames->push_back({tick_at_sample(start), sngpos, module->patpos});
    }
    // The sound stops where the first frame past the end would start.
    bool ended = end == MixEnd::SHOW_ENDED || end == MixEnd::SONG_ENDED ||
                 end == MixEnd::TIME_LIMIT || end == MixEnd::LOOPED;
    if (ended && audio &&
        (std::fflush(audio) != 0 ||
         ftruncate(fileno(audio), static_cast<off_t>(end_sample * MIX_BYTES_PER_FRAME)) != 0)) {
        *error = std::string("cannot write the mixed sound: ") + std::strerror(errno);
        end = MixEnd::WRITE_FAILED;
    }
    Player_Stop();
    std::free(buffer);
    return end;
}

} // namespace

MixEnd mixdown_run(FILE* audio, std::uint32_t fps, std::int16_t last_position,
                   const volatile std::sig_atomic_t* stop, std::vector<FrameClock>* frames,
                   std::string* error) {
    return mix(audio, fps, {last_position, false, MAX_SHOW_SECONDS}, stop, frames, error);
}

MixEnd mixdown_song(FILE* audio, std::uint32_t fps, std::uint32_t limit_s,
                    const volatile std::sig_atomic_t* stop, std::vector<FrameClock>* frames,
                    std::string* error) {
    return mix(audio, fps, {INT16_MAX, true, limit_s}, stop, frames, error);
}
