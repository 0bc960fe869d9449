// Offline playback of the show's module: the show's mixing settings, a libmikmod output driver
// built on the library's software mixer that mixes exactly as many samples as asked, and the
// sampling of song position and row at each video frame's first sample.
#include "tools/export/mixdown.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <mikmod.h>
#include <unistd.h>

#include "music/music.h"
#include "tools/export/clock.h"

namespace {

// The voice budget xdemo loads the module with.
constexpr int MAX_CHANNELS = 24;
constexpr std::uint32_t BYTES_PER_SAMPLE_FRAME = 4; // 16-bit stereo

// The driver's Update mixes exactly mix_request_bytes into mix_buffer; the player's tick
// handler runs inside that mixing, at the first sample of every tick.
SBYTE* mix_buffer = nullptr;
ULONG mix_request_bytes = 0;
ULONG mix_written_bytes = 0;

void collector_command_line(const CHAR*) {}

BOOL collector_is_present() {
    return 1;
}

int collector_reset() {
    VC_Exit();
    return VC_Init();
}

void collector_update() {
    mix_written_bytes = VC_WriteBytes(mix_buffer, mix_request_bytes);
}

MDRIVER drv_collector = {
    nullptr,
    "quab-export collector",
    "quab-export sample collector 1.0",
    0,
    255,
    "quabexport",
    "",
    collector_command_line,
    collector_is_present,
    VC_SampleLoad,
    VC_SampleUnload,
    VC_SampleSpace,
    VC_SampleLength,
    VC_Init,
    VC_Exit,
    collector_reset,
    VC_SetNumVoices,
    VC_PlayStart,
    VC_PlayStop,
    collector_update,
    nullptr,
    VC_VoiceSetVolume,
    VC_VoiceGetVolume,
    VC_VoiceSetFrequency,
    VC_VoiceGetFrequency,
    VC_VoiceSetPanning,
    VC_VoiceGetPanning,
    VC_VoicePlay,
    VC_VoiceStop,
    VC_VoiceStopped,
    VC_VoiceGetPosition,
    VC_VoiceRealVolume,
};

MODULE* module = nullptr;
std::uint64_t samples_mixed = 0;

// Mixes until `target` sample frames have been mixed in all, appending them to audio.
bool mix_until(std::uint64_t target, std::uint32_t buffer_frames, FILE* audio, std::string* error) {
    while (samples_mixed < target) {
        std::uint64_t n = target - samples_mixed;
        if (n > buffer_frames)
            n = buffer_frames;
        mix_request_bytes = static_cast<ULONG>(n * BYTES_PER_SAMPLE_FRAME);
        mix_written_bytes = 0;
        MikMod_Update();
        if (mix_written_bytes != mix_request_bytes) {
            *error = "libmikmod mixed " + std::to_string(mix_written_bytes) + " of " +
                     std::to_string(mix_request_bytes) + " bytes";
            return false;
        }
        errno = 0;
        if (std::fwrite(mix_buffer, BYTES_PER_SAMPLE_FRAME, n, audio) != n) {
            *error = std::string("cannot write the mixed sound: ") + std::strerror(errno);
            return false;
        }
        samples_mixed += n;
    }
    return true;
}

} // namespace

bool mixdown_open(const char* path, std::string* error, bool* bad_module) {
    *bad_module = false;
    MikMod_RegisterAllLoaders();
    MikMod_RegisterDriver(&drv_collector);
    music_apply_settings();
    md_device = static_cast<UWORD>(MikMod_DriverFromAlias("quabexport"));
    if (MikMod_Init("")) {
        *error = std::string("libmikmod cannot start: ") + MikMod_strerror(MikMod_errno);
        return false;
    }
    if (md_mixfreq != MIX_RATE_HZ) {
        *error = "libmikmod mixes at " + std::to_string(md_mixfreq) + " Hz, not " +
                 std::to_string(MIX_RATE_HZ);
        MikMod_Exit();
        return false;
    }
    // Hidden patterns beyond the order list are not loaded, as in the show.
    module = Player_Load(path, MAX_CHANNELS, 0);
    if (!module) {
        *error = std::string("cannot load the module: ") + MikMod_strerror(MikMod_errno);
        *bad_module = true;
        MikMod_Exit();
        return false;
    }
    return true;
}

MixEnd mixdown_run(FILE* audio, std::uint32_t fps, const volatile std::sig_atomic_t* stop,
                   std::vector<FrameClock>* frames, std::string* error) {
    // One frame's worth of samples, plus the one that runs a tick starting on a frame.
    std::uint32_t buffer_frames = MIX_RATE_HZ / fps + 2;
    mix_buffer = static_cast<SBYTE*>(std::malloc(buffer_frames * BYTES_PER_SAMPLE_FRAME));
    if (!mix_buffer) {
        *error = "out of memory for the mixing buffer";
        return MixEnd::WRITE_FAILED;
    }
    samples_mixed = 0;
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
        if (!mix_until(start + 1, buffer_frames, audio, error)) {
            end = MixEnd::WRITE_FAILED;
            break;
        }
        std::int16_t sngpos = module->sngpos;
        if (sngpos > LAST_SHOW_POSITION) {
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
    if (ended &&
        (std::fflush(audio) != 0 ||
         ftruncate(fileno(audio), static_cast<off_t>(end_sample * BYTES_PER_SAMPLE_FRAME)) != 0)) {
        *error = std::string("cannot write the mixed sound: ") + std::strerror(errno);
        end = MixEnd::WRITE_FAILED;
    }
    Player_Stop();
    std::free(mix_buffer);
    mix_buffer = nullptr;
    return end;
}

void mixdown_close() {
    Player_Free(module);
    module = nullptr;
    MikMod_Exit();
}
