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

} // namespace

MixEnd mixdown_run(FILE* audio, std::uint32_t fps, std::int16_t last_position,
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
    for (std::uint64_t k = 0; !*stop; k++) {
        std::uint64_t start = frame_start_sample(k, fps);
        end_sample = start;
        if (start >= std::uint64_t{MAX_SHOW_SECONDS} * MIX_RATE_HZ) {
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
        if (sngpos > last_position) {
            end = MixEnd::SHOW_ENDED;
            break;
        }
        if (!Player_Active()) {
            end = MixEnd::SONG_ENDED;
            break;
        }
        frames->push_back({tick_at_sample(start), sngpos, module->patpos});
    }
    // The sound stops where the first frame past the end would start.
    bool ended =
        end == MixEnd::SHOW_ENDED || end == MixEnd::SONG_ENDED || end == MixEnd::TIME_LIMIT;
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
