// The music thread and the heard clock. The thread keeps a ring of mixed sound a set time ahead
// of the output, in blocks whose first-sample state it records; the output's callback takes from
// the ring and notes when and how much it took. The picture side finds the block that holds the
// sample being heard: samples handed over, moved on at the mixing rate since the last hand-over,
// less the output's latency. Without sound the system clock stands in at 44,100 samples a second.
//
// A sound server can stop answering (a stopped one) or go away at any moment, and SDL's calls
// into it then wait as long as it does. So the frame loop never calls them: the music thread opens
// the output through a helper thread, giving it SOUND_INIT_WAIT_S seconds, and goes silent
// without it; an output that stops taking sound (its server died) is told once, and the clock
// goes on from the sample heard, silent; and at the end the output is closed by a helper thread
// given 0.3 seconds, past which it is left to the process exit.
#include "lib/play/playback.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <SDL.h>

#include "lib/base/clock.h"
#include "music/collector.h"
#include "music/music.h"
#include "music/sample_clock.h"

namespace {

struct Block {
    std::uint64_t start; // first sample frame
    std::uint32_t frames;
    std::int16_t sngpos;
    std::uint16_t patpos;
    std::uint32_t sngtime;
    std::uint32_t jumps;
};

// Enough for the longest buffer allowed plus the output's latency, many times over.
constexpr std::uint32_t RING_BLOCKS = 4096;
static_assert((RING_BLOCKS & (RING_BLOCKS - 1)) == 0);

// Asked-for device buffer: about 12 ms at 44,100 Hz.
constexpr Uint16 DEVICE_FRAMES = 512;

void sleep_ms(std::uint32_t ms) {
    timespec t{0, static_cast<long>(ms) * 1000000L};
    nanosleep(&t, nullptr);
}

// The sound output's state. Set by the music thread under the lock; the picture side reads it
// under the lock before it touches the device.
enum class Output {
    OPENING, // the music thread waits for the output; the clock stands at the first sample
    SOUND,   // playing through the device
    SILENT   // on the system clock: muted, no output, or the output was lost
};

// Everything below `lock` is shared by the two threads and guarded by it.
struct Shared {
    std::mutex lock;
    Block ring[RING_BLOCKS];
    std::uint64_t first_block = 0; // oldest block still held
    std::uint64_t next_block = 0;  // one past the newest
    std::uint64_t handed = 0;      // sample frames mixed for the output and not taken back
    std::uint32_t jumps = 0;
    bool song_over = false;
    std::uint64_t song_end_sample = 0;
    // The silent clock: samples run from clock_start_ns, less the time spent paused.
    std::uint64_t clock_start_ns = 0;
    std::uint64_t paused_ns = 0;
    std::uint64_t paused_since_ns = 0;
    bool paused = false;
    Output output = Output::OPENING;
};

Shared shared;
SDL_AudioDeviceID device = 0;
std::uint32_t device_frames = 0;
std::uint32_t latency_frames = 0;
std::uint32_t ahead_frames = 0;
std::int16_t first_position = 0;
bool mute = false;
pthread_t music_thread;
bool music_thread_started = false;
std::uint16_t first_row = 0;
// The loop's first and last song positions, first in the upper 16 bits; 0xFFFF in the lower
// half for no loop.
std::atomic<std::uint32_t> loop_positions{0xFFFFu};
std::atomic<bool> quit{false};

// The opening of the output on a helper thread of its own (detached: one that a stopped server
// holds is left to the process exit). The helper's results are read once open_done is posted.
sem_t open_done;
std::atomic<bool> open_finished{false};
SDL_AudioDeviceID opened_device = 0;
SDL_AudioSpec opened_spec;
bool opener_started = false;
// The latest jump asked for: its number in the upper bits, the song position in the low 16; 0 for
// none.
std::atomic<std::uint64_t> jump_request{0};
std::string mix_error;
bool mix_failed = false;

// A module to play instead, asked for by the picture side (a file dropped on the window) and
// taken by the music thread, which alone calls libmikmod while the show plays.
std::mutex switch_lock;
std::string switch_path;
std::uint32_t switch_number = 0; // 0: nothing asked

// The sound ring between the music thread (writer) and the output's callback (reader), in sample
// frames counted from the start; a position's frame lies at (position % ring_frames). The callback
// runs under SDL's device lock, and takes no lock of ours.
std::uint8_t* ring_bytes = nullptr;
std::uint64_t ring_frames = 0;
std::atomic<std::uint64_t> ring_written{0};
std::atomic<std::uint64_t> ring_read{0};
// The last hand-over, when and up to which frame, published by the callback under a sequence
// number that is odd while it writes.
std::atomic<std::uint32_t> handover_seq{0};
std::atomic<std::uint64_t> handover_frames{0};
std::atomic<std::uint64_t> handover_ns{0};

// The heard sample never goes back: a pause stops the clock short of where it had got.
std::int64_t last_heard = 0;
// The last heard clock's distance behind the samples handed over, and the sound queued then.
std::uint32_t last_output_frames = 0;
std::uint32_t last_queued_frames = 0;

void SDLCALL output_callback(void*, Uint8* stream, int len) {
    std::uint64_t read = ring_read.load(std::memory_order_relaxed);
    std::uint64_t available = ring_written.load(std::memory_order_acquire) - read;
    std::uint64_t wanted = static_cast<std::uint64_t>(len) / MIX_BYTES_PER_FRAME;
    std::uint64_t n = available < wanted ? available : wanted;
    for (std::uint64_t done = 0; done < n;) {
        std::uint64_t at = (read + done) % ring_frames;
        std::uint64_t run = ring_frames - at < n - done ? ring_frames - at : n - done;
        std::memcpy(stream + done * MIX_BYTES_PER_FRAME, ring_bytes + at * MIX_BYTES_PER_FRAME,
                    run * MIX_BYTES_PER_FRAME);
        done += run;
    }
    // Running dry plays silence, and the clock waits for the sound.
    std::memset(stream + n * MIX_BYTES_PER_FRAME, 0, (wanted - n) * MIX_BYTES_PER_FRAME);
    ring_read.store(read + n, std::memory_order_release);
    handover_seq.fetch_add(1, std::memory_order_acq_rel);
    handover_frames.store(read + n, std::memory_order_relaxed);
    handover_ns.store(monotonic_ns(), std::memory_order_relaxed);
    handover_seq.fetch_add(1, std::memory_order_acq_rel);
}

// The last hand-over, read consistently.
void read_handover(std::uint64_t* frames, std::uint64_t* at_ns) {
    for (;;) {
        std::uint32_t before = handover_seq.load(std::memory_order_acquire);
        *frames = handover_frames.load(std::memory_order_relaxed);
        *at_ns = handover_ns.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (!(before & 1u) && handover_seq.load(std::memory_order_relaxed) == before)
            return;
    }
}

// Samples the silent clock has run; under the lock.
std::uint64_t silent_samples(std::uint64_t now) {
    std::uint64_t end = shared.paused ? shared.paused_since_ns : now;
    std::uint64_t run_ns = end - shared.clock_start_ns - shared.paused_ns;
    return run_ns / 1000u * MIX_RATE_HZ / 1000000u;
}

// Drops blocks from `sample` on; under the lock.
void drop_blocks_from(std::uint64_t sample) {
    while (shared.next_block > shared.first_block) {
        Block* b = &shared.ring[(shared.next_block - 1) % RING_BLOCKS];
        if (b->start < sample) {
            if (b->start + b->frames > sample)
                b->frames = static_cast<std::uint32_t>(sample - b->start);
            break;
        }
        shared.next_block--;
    }
}

void apply_jump(std::int16_t position, std::uint32_t number) {
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        std::uint64_t keep = shared.handed;
        if (shared.output == Output::SOUND) {
            // What the ring still holds is never heard; what the output took still is.
            SDL_LockAudioDevice(device);
            keep = ring_read.load(std::memory_order_relaxed);
            ring_written.store(keep, std::memory_order_release);
            SDL_UnlockAudioDevice(device);
        } else {
            std::uint64_t now = silent_samples(monotonic_ns());
            if (now < keep)
                keep = now;
        }
        drop_blocks_from(keep);
        shared.handed = keep;
        shared.song_over = false;
        shared.jumps = number;
    }
    Player_SetPosition(static_cast<UWORD>(position));
}

// Whether the output has room for another block; sleeps a little when it has not.
bool wait_for_room() {
    bool sound;
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        sound = shared.output == Output::SOUND;
    }
    if (sound) {
        std::uint64_t queued = ring_written.load(std::memory_order_relaxed) -
                               ring_read.load(std::memory_order_acquire);
        if (queued < ahead_frames)
            return true;
        std::uint32_t over_ms =
            static_cast<std::uint32_t>((queued - ahead_frames) * 1000u / MIX_RATE_HZ);
        sleep_ms(over_ms < 1 ? 1 : over_ms > 10 ? 10 : over_ms);
        return false;
    }
    std::uint64_t handed, now;
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        handed = shared.handed;
        now = silent_samples(monotonic_ns());
    }
    if (handed < now + ahead_frames)
        return true;
    sleep_ms(5);
    return false;
}

// alsa-lib writes its own lines on standard error when it finds no sound card (the sound
// server gone, SDL tries ALSA next); the show says it in one line of its own.
void quiet_alsa_error(const char*, int, const char*, int, const char*, ...) {}

// Quiets the alsa-lib that SDL's audio start-up has loaded, if it has.
void quiet_alsa() {
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!alsa)
        return;
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(ErrorHandler);
    auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (set)
        set(quiet_alsa_error);
    dlclose(alsa);
}

// Opens the output on the helper thread: SDL's audio start-up connects to the sound server, and
// with a stopped one neither it nor SDL_OpenAudioDevice returns.
void* open_main(void*) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        quiet_alsa();
        SDL_AudioSpec want;
        SDL_zero(want);
        want.freq = static_cast<int>(MIX_RATE_HZ);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = DEVICE_FRAMES;
        want.callback = output_callback;
        opened_device = SDL_OpenAudioDevice(nullptr, 0, &want, &opened_spec, 0);
    }
    open_finished.store(true);
    sem_post(&open_done);
    return nullptr;
}

// The output the show plays through: the device once it has opened within SOUND_INIT_WAIT_S
// seconds, else silent, after one line saying why. Muted, nothing is opened or said.
Output open_output() {
    if (mute)
        return Output::SILENT;
    ring_bytes = static_cast<std::uint8_t*>(std::malloc(ring_frames * MIX_BYTES_PER_FRAME));
    pthread_t opener;
    if (!ring_bytes || sem_init(&open_done, 0, 0) != 0 ||
        pthread_create(&opener, nullptr, open_main, nullptr) != 0) {
        std::fprintf(stderr, "no sound output: playing without sound\n");
        return Output::SILENT;
    }
    pthread_detach(opener);
    opener_started = true;
    // In short waits, so that the end of the show is not held up by them.
    std::uint64_t deadline = monotonic_ns() + std::uint64_t{SOUND_INIT_WAIT_S} * 1000000000u;
    while (!sem_wait_until_ns(&open_done, deadline_after_ns(50'000'000))) {
        if (quit.load())
            return Output::SILENT;
        if (monotonic_ns() >= deadline) {
            std::fprintf(stderr,
                         "the sound output did not answer in %d seconds: playing without sound\n",
                         SOUND_INIT_WAIT_S);
            return Output::SILENT;
        }
    }
    if (!opened_device) {
        std::fprintf(stderr, "no sound output: playing without sound\n");
        return Output::SILENT;
    }
    device = opened_device;
    device_frames = opened_spec.samples;
    if (std::getenv("QUAB_PLAY_TRACE"))
        std::fprintf(stderr, "trace: device buffer %u frames\n", opened_spec.samples);
    // SDL asks the sound server to hold one device buffer of sound, its own buffer and the
    // sink's together, and calls back for the next buffer when a buffer's room is free. Held
    // sound then runs from half a buffer (just before a hand-over) to one and a half (just
    // after), one on average; so the sample handed last at a callback is heard a buffer and a
    // half later, and the clock moves on at the mixing rate from there until the next hand-over.
    latency_frames = opened_spec.samples + opened_spec.samples / 2u;
    return Output::SOUND;
}

// The sample being heard through the device at now; under the lock. It never goes back: a pause
// stops it short of where it had got.
std::int64_t heard_from_device(std::uint64_t now) {
    std::uint64_t handed, at_ns;
    read_handover(&handed, &at_ns);
    std::uint64_t since = 0;
    if (!shared.paused && now > at_ns)
        since = (now - at_ns) / 1000u * MIX_RATE_HZ / 1000000u;
    if (since > device_frames)
        since = device_frames;
    std::int64_t heard = static_cast<std::int64_t>(handed + since) - latency_frames;
    if (heard < last_heard)
        heard = last_heard;
    last_heard = heard;
    last_output_frames = static_cast<std::uint32_t>(static_cast<std::int64_t>(handed) - heard);
    last_queued_frames =
        static_cast<std::uint32_t>(ring_written.load(std::memory_order_relaxed) - handed);
    return heard;
}

// True once, when a device that played stops for good: SDL stops a device whose server has gone
// away, and calls back no more.
bool sound_output_lost() {
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        if (shared.output != Output::SOUND)
            return false;
    }
    return SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED;
}

// From the sample heard now on, the system clock runs the show; what was mixed and not heard is
// taken as heard at the mixing rate, so the song goes on in time.
void go_silent_from_heard() {
    std::lock_guard<std::mutex> guard(shared.lock);
    std::uint64_t now = monotonic_ns();
    std::int64_t heard = heard_from_device(now);
    std::uint64_t heard_ns =
        heard > 0 ? static_cast<std::uint64_t>(heard) * 1000000000u / MIX_RATE_HZ : 0;
    std::uint64_t end = shared.paused ? shared.paused_since_ns : now;
    shared.clock_start_ns = end - shared.paused_ns - heard_ns;
    shared.output = Output::SILENT;
    last_output_frames = 0;
    last_queued_frames = 0;
}

// Loads a module asked for by playback_switch_module and starts it from its beginning as jump
// `number`; one that cannot be loaded is one line, and the module playing plays on.
void take_module_switch(MODULE** module) {
    std::string path;
    std::uint32_t number;
    {
        std::lock_guard<std::mutex> guard(switch_lock);
        number = switch_number;
        if (number == 0)
            return;
        path.swap(switch_path);
        switch_number = 0;
    }
    std::string why;
    if (!collector_switch_module(path.c_str(), &why)) {
        std::fprintf(stderr, "quab-play: %s: %s; the show goes on\n", path.c_str(), why.c_str());
        return;
    }
    *module = collector_module();
    Player_Start(*module);
    apply_jump(0, number);
}

void play_music() {
    MODULE* module = collector_module();
    Player_Start(module);
    if (first_position > 0 || first_row > 0)
        Player_SetPosition(static_cast<UWORD>(first_position));
    // Player_SetPosition goes to row 0; a pattern break's row takes the player to first_row
    // with the same move, as the Dxx effect does.
    if (first_row > 0)
        module->patbrk = first_row;
    void* buffer = std::malloc(BLOCK_FRAMES * MIX_BYTES_PER_FRAME);
    if (!buffer) {
        mix_error = "out of memory for the mixing buffer";
        mix_failed = true;
    }
    while (buffer && !quit.load(std::memory_order_relaxed)) {
        take_module_switch(&module);
        std::uint64_t jump = jump_request.exchange(0);
        if (jump != 0)
            apply_jump(static_cast<std::int16_t>(jump & 0xFFFFu),
                       static_cast<std::uint32_t>(jump >> 16));
        bool idle;
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            idle = shared.paused || shared.song_over;
        }
        if (sound_output_lost()) {
            std::fprintf(stderr, "Sound output lost: the show goes on without music\n");
            go_silent_from_heard();
        }
        if (idle) {
            sleep_ms(5);
            continue;
        }
        if (!wait_for_room())
            continue;
        std::uint32_t loop = loop_positions.load(std::memory_order_relaxed);
        if ((loop & 0xFFFFu) != 0xFFFFu && module->sngpos > static_cast<SWORD>(loop & 0xFFFFu))
            Player_SetPosition(static_cast<UWORD>(loop >> 16));

        std::uint64_t start;
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            start = shared.handed;
        }
        // Blocks start on multiples of BLOCK_FRAMES, so none straddles a tick; after a jump the
        // first block is shortened to get back in step.
        std::uint32_t frames = BLOCK_FRAMES - static_cast<std::uint32_t>(start % BLOCK_FRAMES);
        // Mixing the first sample runs the player tick that starts on it, so the block's record
        // holds the row playing from its first sample on, as quab-export takes it.
        if (!collector_mix(buffer, 1, &mix_error)) {
            mix_failed = true;
            break;
        }
        Block b{start, frames, module->sngpos, module->patpos, module->sngtime, 0};
        bool active = Player_Active();
        if (frames > 1 && !collector_mix(static_cast<std::uint8_t*>(buffer) + MIX_BYTES_PER_FRAME,
                                         frames - 1, &mix_error)) {
            mix_failed = true;
            break;
        }
        std::lock_guard<std::mutex> guard(shared.lock);
        if (shared.output == Output::SOUND) {
            // Only this thread moves ring_written, and a jump (on this thread) is all that
            // could have moved start; the callback only ever reads behind it.
            for (std::uint32_t done = 0; done < frames;) {
                std::uint64_t at = (start + done) % ring_frames;
                std::uint64_t run =
                    ring_frames - at < frames - done ? ring_frames - at : frames - done;
                std::memcpy(ring_bytes + at * MIX_BYTES_PER_FRAME,
                            static_cast<std::uint8_t*>(buffer) + done * MIX_BYTES_PER_FRAME,
                            run * MIX_BYTES_PER_FRAME);
                done += static_cast<std::uint32_t>(run);
            }
            ring_written.store(start + frames, std::memory_order_release);
        }
        b.jumps = shared.jumps;
        if (shared.next_block - shared.first_block == RING_BLOCKS)
            shared.first_block++;
        shared.ring[shared.next_block % RING_BLOCKS] = b;
        shared.next_block++;
        shared.handed = start + frames;
        if (!active) {
            shared.song_over = true;
            shared.song_end_sample = start;
        }
    }
    Player_Stop();
    std::free(buffer);
}

void* music_thread_main(void*) {
    Output output = open_output();
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        shared.output = output;
        shared.clock_start_ns = monotonic_ns();
        // A pause asked for while the output opened starts with the clock.
        if (shared.paused)
            shared.paused_since_ns = shared.clock_start_ns;
        if (output == Output::SOUND)
            SDL_PauseAudioDevice(device, shared.paused ? 1 : 0);
    }
    if (!quit.load())
        play_music();
    return nullptr;
}

// Closes the device and quits SDL's audio, which a stopped server can hold for ever.
sem_t close_done;

void* close_main(void*) {
    if (device)
        SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sem_post(&close_done);
    return nullptr;
}

} // namespace

void playback_start(const PlaybackSettings& settings) {
    // A second start (after playback_stop) begins from nothing, as the first does.
    shared.first_block = shared.next_block = shared.handed = 0;
    shared.jumps = 0;
    shared.song_over = false;
    shared.paused_ns = shared.paused_since_ns = 0;
    shared.paused = false;
    shared.output = Output::OPENING;
    quit.store(false);
    jump_request.store(0);
    ring_written.store(0);
    ring_read.store(0);
    handover_frames.store(0);
    handover_ns.store(0);
    last_heard = 0;
    mix_failed = false;
    opener_started = false;
    open_finished.store(false);
    opened_device = 0;
    first_position = settings.start_position;
    first_row = settings.start_row;
    mute = settings.mute;
    ahead_frames = settings.buffer_ms * MIX_RATE_HZ / 1000u;
    if (ahead_frames < 2 * BLOCK_FRAMES)
        ahead_frames = 2 * BLOCK_FRAMES;
    // Silent, the song is mixed just ahead of the clock.
    if (mute)
        ahead_frames = 2 * BLOCK_FRAMES;
    device = 0;
    // Room for the longest buffer, a block being written and the output's own buffer.
    ring_frames = ahead_frames + 8u * BLOCK_FRAMES + 8192u;
    shared.clock_start_ns = monotonic_ns();
    music_thread_started = pthread_create(&music_thread, nullptr, music_thread_main, nullptr) == 0;
    if (!music_thread_started) {
        mix_error = "cannot start the music thread";
        mix_failed = true;
    }
}

HeardClock playback_heard() {
    std::lock_guard<std::mutex> guard(shared.lock);
    HeardClock c{0, first_position, 0, 0, 0, false, 0};
    if (shared.output == Output::OPENING)
        return c;
    std::int64_t heard = shared.output == Output::SOUND
                             ? heard_from_device(monotonic_ns())
                             : static_cast<std::int64_t>(silent_samples(monotonic_ns()));
    c.sample = heard;
    if (shared.next_block == shared.first_block)
        return c;
    // The newest block that starts at or before the heard sample; before the first, the first.
    std::uint64_t i = shared.next_block - 1;
    while (i > shared.first_block &&
           static_cast<std::int64_t>(shared.ring[i % RING_BLOCKS].start) > (heard < 0 ? 0 : heard))
        i--;
    const Block& b = shared.ring[i % RING_BLOCKS];
    c.tick_count = tick_at_sample(heard < 0 ? 0 : static_cast<std::uint64_t>(heard));
    c.sngpos = b.sngpos;
    c.patpos = b.patpos;
    c.sngtime = b.sngtime;
    c.jumps = b.jumps;
    c.song_ended = shared.song_over && heard >= static_cast<std::int64_t>(shared.song_end_sample);
    return c;
}

void playback_set_paused(bool paused) {
    std::lock_guard<std::mutex> guard(shared.lock);
    if (paused == shared.paused)
        return;
    std::uint64_t now = monotonic_ns();
    if (paused)
        shared.paused_since_ns = now;
    else
        shared.paused_ns += now - shared.paused_since_ns;
    shared.paused = paused;
    // Only the callback holds SDL's device lock, briefly, even with a stopped server.
    if (shared.output == Output::SOUND)
        SDL_PauseAudioDevice(device, paused ? 1 : 0);
}

void playback_jump(std::int16_t position, std::uint32_t number) {
    std::uint64_t p = position < 0 ? 0u : static_cast<std::uint64_t>(position);
    jump_request.store(std::uint64_t{number} << 16 | p);
}

void playback_switch_module(const char* path, std::uint32_t number) {
    std::lock_guard<std::mutex> guard(switch_lock);
    switch_path = path;
    switch_number = number;
}

void playback_latency(std::uint32_t* output_frames, std::uint32_t* queued_frames) {
    std::lock_guard<std::mutex> guard(shared.lock);
    *output_frames = last_output_frames;
    *queued_frames = last_queued_frames;
}

void playback_set_loop(std::int16_t first, std::int16_t last) {
    std::uint32_t word =
        last < 0 ? 0xFFFFu
                 : static_cast<std::uint32_t>(first) << 16 | static_cast<std::uint32_t>(last);
    loop_positions.store(word);
}

bool playback_clock_at(std::int32_t tick, std::int16_t* sngpos, std::uint16_t* patpos) {
    std::lock_guard<std::mutex> guard(shared.lock);
    if (shared.next_block == shared.first_block)
        return false;
    std::uint64_t sample = static_cast<std::uint64_t>(tick < 0 ? 0 : tick) * SAMPLES_PER_TICK;
    std::uint64_t i = shared.next_block - 1;
    while (i > shared.first_block && shared.ring[i % RING_BLOCKS].start > sample)
        i--;
    *sngpos = shared.ring[i % RING_BLOCKS].sngpos;
    *patpos = shared.ring[i % RING_BLOCKS].patpos;
    return true;
}

PlaybackEnd playback_stop(std::string* error, std::uint64_t wait_ns) {
    quit.store(true);
    bool held = false;
    if (music_thread_started) {
        timespec until = monotonic_timespec(monotonic_ns() + wait_ns);
        held = pthread_clockjoin_np(music_thread, nullptr, CLOCK_MONOTONIC, &until) != 0;
    }
    // An opening that never finished holds SDL's audio start-up: it is left as it is.
    if (!held && opener_started) {
        pthread_t closer;
        if (!open_finished.load() || sem_init(&close_done, 0, 0) != 0 ||
            pthread_create(&closer, nullptr, close_main, nullptr) != 0) {
            held = true;
        } else {
            pthread_detach(closer);
            held = !sem_wait_until_ns(&close_done, monotonic_ns() + wait_ns);
        }
    }
    if (held)
        return PlaybackEnd::HELD;
    device = 0;
    std::free(ring_bytes);
    ring_bytes = nullptr;
    if (mix_failed) {
        *error = mix_error;
        return PlaybackEnd::FAILED;
    }
    return PlaybackEnd::STOPPED;
}
