// The collecting output driver: built on libmikmod's software mixer, its Update mixes exactly the
// bytes asked for into the buffer it is pointed at, so the caller decides when sound is made and
// where it goes.
#include "music/collector.h"

#include "music/music.h"
#include "music/sample_clock.h"

namespace {

SBYTE* mix_buffer = nullptr;
ULONG mix_request_bytes = 0;
ULONG mix_written_bytes = 0;

void collector_command_line(const CHAR*) {}

BOOL collector_is_present() { return 1; }

int collector_reset() {
    VC_Exit();
    return VC_Init();
}

void collector_update() { mix_written_bytes = VC_WriteBytes(mix_buffer, mix_request_bytes); }

MDRIVER drv_collector = {
    nullptr,
    "quab collector",
    "quab sample collector 1.0",
    0,
    255,
    "quabcollect",
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

// The module at path as xdemo loads it (hidden patterns beyond the order list not loaded), or
// null with *error set; a module without song positions is refused, as there is no song to play.
Result load_module(const char* path, MODULE** loaded) {
    MODULE* m = Player_Load(path, MUSIC_MAX_VOICES, 0);
    if (!m)
        return Result::fail(std::string("cannot load the module: ") +
                            MikMod_strerror(MikMod_errno));
    if (m->numpos == 0) {
        Player_Free(m);
        return Result::fail("cannot load the module: it has no song positions");
    }
    *loaded = m;
    return Result::success();
}

// libmikmod appends a loader registered twice to its own list, which then never ends: a second
// open (quab-play taking a saved module) registers nothing again.
bool registered = false;

} // namespace

Result collector_open(const char* path, bool* bad_module) {
    *bad_module = false;
    if (!registered) {
        MikMod_RegisterAllLoaders();
        MikMod_RegisterDriver(&drv_collector);
        registered = true;
    }
    music_apply_settings();
    md_device = static_cast<UWORD>(MikMod_DriverFromAlias("quabcollect"));
    if (MikMod_Init(""))
        return Result::fail(std::string("libmikmod cannot start: ") +
                            MikMod_strerror(MikMod_errno));
    if (md_mixfreq != MIX_RATE_HZ) {
        MikMod_Exit();
        return Result::fail("libmikmod mixes at " + std::to_string(md_mixfreq) + " Hz, not " +
                            std::to_string(MIX_RATE_HZ));
    }
    module = nullptr;
    Result loaded = load_module(path, &module);
    if (!loaded.ok) {
        *bad_module = true;
        MikMod_Exit();
    }
    return loaded;
}

Result collector_switch_module(const char* path) {
    MODULE* next = nullptr;
    if (Result r = load_module(path, &next); !r.ok)
        return r;
    Player_Stop();
    Player_Free(module);
    module = next;
    return Result::success();
}

MODULE* collector_module() { return module; }

Result collector_mix(void* out, std::uint32_t frames) {
    mix_buffer = static_cast<SBYTE*>(out);
    mix_request_bytes = static_cast<ULONG>(frames * MIX_BYTES_PER_FRAME);
    mix_written_bytes = 0;
    MikMod_Update();
    mix_buffer = nullptr;
    if (mix_written_bytes != mix_request_bytes)
        return Result::fail("libmikmod mixed " + std::to_string(mix_written_bytes) + " of " +
                            std::to_string(mix_request_bytes) + " bytes");
    return Result::success();
}

void collector_close() {
    Player_Free(module);
    module = nullptr;
    MikMod_Exit();
}
