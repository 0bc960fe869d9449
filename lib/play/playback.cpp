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

// Where the music last started straight on from one place (HeardClock's stretch).
struct Stretch {
    std::uint32_t number;
    std::uint64_t start; // first sample frame
    std::int16_t sngpos;
    std::uint16_t patpos;
};

struct Block {
    std::uint64_t start; // first sample frame
    std::uint32_t frames;
    std::int16_t sngpos;
    std::uint16_t patpos;
    std::uint32_t sngtime;
    std::uint32_t jumps;
    Stretch stretch;
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
    Stretch stretch{};
    bool song_over = false;
    std::uint64_t song_end_sample = 0;
    // The silent clock: samples run from clock_start_ns, less the time spent paused.
    std::uint64_t clock_start_ns = 0;
    std::uint64_t paused_ns = 0;
    std::uint64_t paused_since_ns = 0;
    bool paused = false;
    Output output = Output::OPENING;
};

// One run of the music, from playback_start to playback_stop: each start makes a new one, so
// that a second start begins from nothing as the first does. Each member says who may touch it.
struct Run {
    // Both threads, under shared.lock.
    Shared shared;

    // Set before the music thread starts, or by it before the picture side reads them under
    // shared.lock (the output being SOUND).
    SDL_AudioDeviceID device = 0;
    std::uint32_t device_frames = 0;
    std::uint32_t latency_frames = 0;
    std::uint32_t ahead_frames = 0;
    std::int16_t first_position = 0;
    std::uint16_t first_row = 0;
    bool mute = false;
    pthread_t music_thread{};
    bool music_thread_started = false;
    // Set by the music thread, read once it has been joined.
    std::string mix_error;
    bool mix_failed = false;

    // Asked of the music thread by the picture side.
    std::atomic<bool> quit{false};
    // The latest jump asked for: its number in the upper bits, the song position in the low 16;
    // 0 for none.
    std::atomic<std::uint64_t> jump_request{0};

    // The opening of the output on a helper thread of its own (detached: one that a stopped
    // server holds is left to the process exit). The helper's results are read once open_done
    // is posted; close_done is posted once the device is closed.
    sem_t open_done;
    std::atomic<bool> open_finished{false};
    SDL_AudioDeviceID opened_device = 0;
    SDL_AudioSpec opened_spec{};
    bool opener_started = false;
    sem_t close_done;

    // The sound ring between the music thread (writer) and the output's callback (reader), in
    // sample frames counted from the start; a position's frame lies at (position % ring_frames).
    // The callback runs under SDL's device lock, and takes no lock of ours.
    std::uint8_t* ring_bytes = nullptr;
    std::uint64_t ring_frames = 0;
    std::atomic<std::uint64_t> ring_written{0};
    std::atomic<std::uint64_t> ring_read{0};
    // The last hand-over, when and up to which frame, published by the callback under a
    // sequence number that is odd while it writes.
    std::atomic<std::uint32_t> handover_seq{0};
    std::atomic<std::uint64_t> handover_frames{0};
    std::atomic<std::uint64_t> handover_ns{0};

    // The picture side's, under shared.lock. The heard sample never goes back: a pause stops
    // the clock short of where it had got. The last heard clock's distance behind the samples
    // handed over, and the sound queued then.
    std::int64_t last_heard = 0;
    std::uint32_t last_output_frames = 0;
    std::uint32_t last_queued_frames = 0;
};

// The run playing, or the last one stopped. Replaced only once its threads have ended (a run
// that a stopped sound server holds ends the process instead), and never freed at exit, when
// a held thread may still be inside it.
Run* run = new Run{};

// What outlives a run: the loop, which goes on over a reloaded module, and a module asked for
// by the picture side (a file dropped on the window) and taken by the music thread, which
// alone calls libmikmod while the show plays.
// The loop's first and last song positions, first in the upper 16 bits; 0xFFFF in the lower
// half for no loop.
std::atomic<std::uint32_t> loop_positions{0xFFFFu};
std::mutex switch_lock;
std::string switch_path;
std::uint32_t switch_number = 0; // 0: nothing asked

void SDLCALL output_callback(void*, Uint8* stream, int len) {
    std::uint64_t read = run->ring_read.load(std::memory_order_relaxed);
    std::uint64_t available = run->ring_written.load(std::memory_order_acquire) - read;
    std::uint64_t wanted = static_cast<std::uint64_t>(len) / MIX_BYTES_PER_FRAME;
    std::uint64_t n = available < wanted ? available : wanted;
    for (std::uint64_t done = 0; done < n;) {
        std::uint64_t at = (read + done) % run->ring_frames;
        std::uint64_t span = run->ring_frames - at < n - done ? run->ring_frames - at : n - done;
        std::memcpy(stream + done * MIX_BYTES_PER_FRAME, run->ring_bytes + at * MIX_BYTES_PER_FRAME,
                    span * MIX_BYTES_PER_FRAME);
        done += span;
    }
    // Running dry plays silence, and the clock waits for the sound.
    std::memset(stream + n * MIX_BYTES_PER_FRAME, 0, (wanted - n) * MIX_BYTES_PER_FRAME);
    run->ring_read.store(read + n, std::memory_order_release);
    run->handover_seq.fetch_add(1, std::memory_order_acq_rel);
    run->handover_frames.store(read + n, std::memory_order_relaxed);
    run->handover_ns.store(monotonic_ns(), std::memory_order_relaxed);
    run->handover_seq.fetch_add(1, std::memory_order_acq_rel);
}

// The last hand-over, read consistently.
void read_handover(std::uint64_t* frames, std::uint64_t* at_ns) {
    for (;;) {
        std::uint32_t before = run->handover_seq.load(std::memory_order_acquire);
        *frames = run->handover_frames.load(std::memory_order_relaxed);
        *at_ns = run->handover_ns.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (!(before & 1u) && run->handover_seq.load(std::memory_order_relaxed) == before)
            return;
    }
}

// Samples the silent clock has run; under the lock.
std::uint64_t silent_samples(std::uint64_t now) {
    std::uint64_t end = run->shared.paused ? run->shared.paused_since_ns : now;
    std::uint64_t run_ns = end - run->shared.clock_start_ns - run->shared.paused_ns;
    return run_ns / 1000u * MIX_RATE_HZ / 1000000u;
}

// Drops blocks from `sample` on; under the lock.
void drop_blocks_from(std::uint64_t sample) {
    while (run->shared.next_block > run->shared.first_block) {
        Block* b = &run->shared.ring[(run->shared.next_block - 1) % RING_BLOCKS];
        if (b->start < sample) {
            if (b->start + b->frames > sample)
                b->frames = static_cast<std::uint32_t>(sample - b->start);
            break;
        }
        run->shared.next_block--;
    }
}

// The music goes on from sngpos and patpos at sample start; under the lock.
void begin_stretch(std::uint64_t start, std::int16_t sngpos, std::uint16_t patpos) {
    run->shared.stretch = Stretch{run->shared.stretch.number + 1, start, sngpos, patpos};
}

void apply_jump(std::int16_t position, std::uint32_t number) {
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        std::uint64_t keep = run->shared.handed;
        if (run->shared.output == Output::SOUND) {
            // What the ring still holds is never heard; what the output took still is.
            SDL_LockAudioDevice(run->device);
            keep = run->ring_read.load(std::memory_order_relaxed);
            run->ring_written.store(keep, std::memory_order_release);
            SDL_UnlockAudioDevice(run->device);
        } else {
            std::uint64_t now = silent_samples(monotonic_ns());
            if (now < keep)
                keep = now;
        }
        drop_blocks_from(keep);
        run->shared.handed = keep;
        run->shared.song_over = false;
        run->shared.jumps = number;
        begin_stretch(keep, position, 0);
    }
    Player_SetPosition(static_cast<UWORD>(position));
}

// Whether the output has room for another block; sleeps a little when it has not.
bool wait_for_room() {
    bool sound;
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        sound = run->shared.output == Output::SOUND;
    }
    if (sound) {
        std::uint64_t queued = run->ring_written.load(std::memory_order_relaxed) -
                               run->ring_read.load(std::memory_order_acquire);
        if (queued < run->ahead_frames)
            return true;
        std::uint32_t over_ms =
            static_cast<std::uint32_t>((queued - run->ahead_frames) * 1000u / MIX_RATE_HZ);
        sleep_ms(over_ms < 1 ? 1 : over_ms > 10 ? 10 : over_ms);
        return false;
    }
    std::uint64_t handed, now;
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        handed = run->shared.handed;
        now = silent_samples(monotonic_ns());
    }
    if (handed < now + run->ahead_frames)
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
        run->opened_device = SDL_OpenAudioDevice(nullptr, 0, &want, &run->opened_spec, 0);
    }
    run->open_finished.store(true);
    sem_post(&run->open_done);
    return nullptr;
}

// The output the show plays through: the device once it has opened within SOUND_INIT_WAIT_S
// seconds, else silent, after one line saying why. Muted, nothing is opened or said.
Output open_output() {
    if (run->mute)
        return Output::SILENT;
    run->ring_bytes =
        static_cast<std::uint8_t*>(std::malloc(run->ring_frames * MIX_BYTES_PER_FRAME));
    pthread_t opener;
    if (!run->ring_bytes || sem_init(&run->open_done, 0, 0) != 0 ||
        pthread_create(&opener, nullptr, open_main, nullptr) != 0) {
        std::fprintf(stderr, "no sound output: playing without sound\n");
        return Output::SILENT;
    }
    pthread_detach(opener);
    run->opener_started = true;
    // In short waits, so that the end of the show is not held up by them.
    std::uint64_t deadline = monotonic_ns() + std::uint64_t{SOUND_INIT_WAIT_S} * 1000000000u;
    while (!sem_wait_until_ns(&run->open_done, deadline_after_ns(50'000'000))) {
        if (run->quit.load())
            return Output::SILENT;
        if (monotonic_ns() >= deadline) {
            std::fprintf(stderr,
                         "the sound output did not answer in %d seconds: playing without sound\n",
                         SOUND_INIT_WAIT_S);
            return Output::SILENT;
        }
    }
    if (!run->opened_device) {
        std::fprintf(stderr, "no sound output: playing without sound\n");
        return Output::SILENT;
    }
    run->device = run->opened_device;
    run->device_frames = run->opened_spec.samples;
    if (std::getenv("QUAB_PLAY_TRACE"))
        std::fprintf(stderr, "trace: device buffer %u frames\n", run->opened_spec.samples);
    // SDL asks the sound server to hold one device buffer of sound, its own buffer and the
    // sink's together, and calls back for the next buffer when a buffer's room is free. Held
    // sound then runs from half a buffer (just before a hand-over) to one and a half (just
    // after), one on average; so the sample handed last at a callback is heard a buffer and a
    // half later, and the clock moves on at the mixing rate from there until the next hand-over.
    run->latency_frames = run->opened_spec.samples + run->opened_spec.samples / 2u;
    return Output::SOUND;
}

// The sample being heard through the device at now; under the lock. It never goes back: a pause
// stops it short of where it had got.
std::int64_t heard_from_device(std::uint64_t now) {
    std::uint64_t handed, at_ns;
    read_handover(&handed, &at_ns);
    std::uint64_t since = 0;
    if (!run->shared.paused && now > at_ns)
        since = (now - at_ns) / 1000u * MIX_RATE_HZ / 1000000u;
    if (since > run->device_frames)
        since = run->device_frames;
    std::int64_t heard = static_cast<std::int64_t>(handed + since) - run->latency_frames;
    if (heard < run->last_heard)
        heard = run->last_heard;
    run->last_heard = heard;
    run->last_output_frames = static_cast<std::uint32_t>(static_cast<std::int64_t>(handed) - heard);
    run->last_queued_frames =
        static_cast<std::uint32_t>(run->ring_written.load(std::memory_order_relaxed) - handed);
    return heard;
}

// True once, when a device that played stops for good: SDL stops a device whose server has gone
// away, and calls back no more.
bool sound_output_lost() {
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        if (run->shared.output != Output::SOUND)
            return false;
    }
    return SDL_GetAudioDeviceStatus(run->device) == SDL_AUDIO_STOPPED;
}

// From the sample heard now on, the system clock runs the show; what was mixed and not heard is
// taken as heard at the mixing rate, so the song goes on in time.
void go_silent_from_heard() {
    std::lock_guard<std::mutex> guard(run->shared.lock);
    std::uint64_t now = monotonic_ns();
    std::int64_t heard = heard_from_device(now);
    std::uint64_t heard_ns =
        heard > 0 ? static_cast<std::uint64_t>(heard) * 1000000000u / MIX_RATE_HZ : 0;
    std::uint64_t end = run->shared.paused ? run->shared.paused_since_ns : now;
    run->shared.clock_start_ns = end - run->shared.paused_ns - heard_ns;
    run->shared.output = Output::SILENT;
    run->last_output_frames = 0;
    run->last_queued_frames = 0;
}

// Modules switched to: how they are fitted, and the last one loaded or refused, for the picture
// side (under switch_lock).
FitChoice switch_fit_choice = FitChoice::AUTO;
SwitchedModule switched{};
std::string switch_failure;

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
    SwitchedModule taken{number, false, {}, -1, {}};
    if (Result r = collector_switch_module(path.c_str()); !r.ok) {
        std::lock_guard<std::mutex> guard(switch_lock);
        switch_failure = "quab-play: " + path + ": " + r.reason + "; the show goes on";
        return;
    }
    // Fitting mixes the module silently first: the sound pauses that long. Where the mixer
    // fails, the module plays on its own positions, loaded afresh if it can be.
    std::string failure;
    if (Result why = fit_loaded_module(path.c_str(), switch_fit_choice, &taken.fitted, &taken.fit,
                                       &taken.show_ticks);
        !why.ok) {
        failure = "quab-play: " + path + ": cannot fit the show to it: " + why.reason;
        taken.fitted = false;
        taken.show_ticks = -1;
        if (Result again = collector_switch_module(path.c_str()); !again.ok)
            failure += "; " + again.reason;
    }
    *module = collector_module();
    taken.title = module_title((*module)->songname, path.c_str());
    {
        std::lock_guard<std::mutex> guard(switch_lock);
        switched = std::move(taken);
        switch_failure = failure;
    }
    Player_Start(*module);
    apply_jump(0, number);
}

// Starts the module at the settings' song position and row.
void start_module(MODULE* module) {
    Player_Start(module);
    if (run->first_position > 0 || run->first_row > 0)
        Player_SetPosition(static_cast<UWORD>(run->first_position));
    // Player_SetPosition goes to row 0; a pattern break's row takes the player to first_row
    // with the same move, as the Dxx effect does.
    if (run->first_row > 0)
        module->patbrk = run->first_row;
}

// Takes what the picture side has asked for since the last block (another module, a jump) and
// notices an output that has gone; true while there is nothing to mix (paused, or the song
// over).
bool take_requests(MODULE** module) {
    take_module_switch(module);
    std::uint64_t jump = run->jump_request.exchange(0);
    if (jump != 0)
        apply_jump(static_cast<std::int16_t>(jump & 0xFFFFu),
                   static_cast<std::uint32_t>(jump >> 16));
    bool idle;
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        idle = run->shared.paused || run->shared.song_over;
    }
    if (sound_output_lost()) {
        std::fprintf(stderr, "Sound output lost: the show goes on without music\n");
        go_silent_from_heard();
    }
    return idle;
}

// Past the loop's last song position, the song goes on at its first.
void follow_loop(const MODULE* module) {
    std::uint32_t loop = loop_positions.load(std::memory_order_relaxed);
    if ((loop & 0xFFFFu) == 0xFFFFu || module->sngpos <= static_cast<SWORD>(loop & 0xFFFFu))
        return;
    Player_SetPosition(static_cast<UWORD>(loop >> 16));
    std::lock_guard<std::mutex> guard(run->shared.lock);
    begin_stretch(run->shared.handed, static_cast<std::int16_t>(loop >> 16), 0);
}

// Mixes the next block, from the sample after those handed over, into buffer and records its
// first sample's clock in *b; *song_on is false once the song has passed its end. False (with
// mix_error) when mixing fails.
bool mix_block(const MODULE* module, void* buffer, Block* b, bool* song_on) {
    std::uint64_t start;
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        start = run->shared.handed;
    }
    // Blocks start on multiples of BLOCK_FRAMES, so none straddles a tick; after a jump the
    // first block is shortened to get back in step.
    std::uint32_t frames = BLOCK_FRAMES - static_cast<std::uint32_t>(start % BLOCK_FRAMES);
    // Mixing the first sample runs the player tick that starts on it, so the block's record
    // holds the row playing from its first sample on, as quab-export takes it.
    if (Result r = collector_mix(buffer, 1); !r.ok) {
        run->mix_error = r.reason;
        return false;
    }
    *b = Block{start, frames, module->sngpos, module->patpos, module->sngtime, 0, {}};
    *song_on = Player_Active();
    if (frames <= 1)
        return true;
    Result rest =
        collector_mix(static_cast<std::uint8_t*>(buffer) + MIX_BYTES_PER_FRAME, frames - 1);
    if (!rest.ok)
        run->mix_error = rest.reason;
    return rest.ok;
}

// Hands the block mixed in buffer to the output's ring (when playing through the device) and
// records it for the heard clock.
void hand_over(const void* buffer, Block b, bool song_on) {
    std::lock_guard<std::mutex> guard(run->shared.lock);
    if (run->shared.output == Output::SOUND) {
        // Only this thread moves ring_written, and a jump (on this thread) is all that could
        // have moved the block's start; the callback only ever reads behind it.
        for (std::uint32_t done = 0; done < b.frames;) {
            std::uint64_t at = (b.start + done) % run->ring_frames;
            std::uint64_t span =
                run->ring_frames - at < b.frames - done ? run->ring_frames - at : b.frames - done;
            std::memcpy(run->ring_bytes + at * MIX_BYTES_PER_FRAME,
                        static_cast<const std::uint8_t*>(buffer) + done * MIX_BYTES_PER_FRAME,
                        span * MIX_BYTES_PER_FRAME);
            done += static_cast<std::uint32_t>(span);
        }
        run->ring_written.store(b.start + b.frames, std::memory_order_release);
    }
    b.jumps = run->shared.jumps;
    b.stretch = run->shared.stretch;
    if (run->shared.next_block - run->shared.first_block == RING_BLOCKS)
        run->shared.first_block++;
    run->shared.ring[run->shared.next_block % RING_BLOCKS] = b;
    run->shared.next_block++;
    run->shared.handed = b.start + b.frames;
    if (!song_on) {
        run->shared.song_over = true;
        run->shared.song_end_sample = b.start;
    }
}

// The music thread's work once the output is settled: a block at a time, as far ahead of the
// output as asked, until quit.
void play_music() {
    MODULE* module = collector_module();
    start_module(module);
    void* buffer = std::malloc(BLOCK_FRAMES * MIX_BYTES_PER_FRAME);
    if (!buffer) {
        run->mix_error = "out of memory for the mixing buffer";
        run->mix_failed = true;
    }
    while (buffer && !run->quit.load(std::memory_order_relaxed)) {
        if (take_requests(&module)) {
            sleep_ms(5);
            continue;
        }
        if (!wait_for_room())
            continue;
        follow_loop(module);
        Block b;
        bool song_on;
        if (!mix_block(module, buffer, &b, &song_on)) {
            run->mix_failed = true;
            break;
        }
        hand_over(buffer, b, song_on);
    }
    Player_Stop();
    std::free(buffer);
}

void* music_thread_main(void*) {
    Output output = open_output();
    {
        std::lock_guard<std::mutex> guard(run->shared.lock);
        run->shared.output = output;
        run->shared.clock_start_ns = monotonic_ns();
        // A pause asked for while the output opened starts with the clock.
        if (run->shared.paused)
            run->shared.paused_since_ns = run->shared.clock_start_ns;
        if (output == Output::SOUND)
            SDL_PauseAudioDevice(run->device, run->shared.paused ? 1 : 0);
    }
    if (!run->quit.load())
        play_music();
    return nullptr;
}

// Closes the device and quits SDL's audio, which a stopped server can hold for ever.

void* close_main(void*) {
    if (run->device)
        SDL_CloseAudioDevice(run->device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sem_post(&run->close_done);
    return nullptr;
}

} // namespace

void playback_start(const PlaybackSettings& settings) {
    // A second start (after playback_stop, which has ended the last run's threads) begins from
    // nothing, as the first does.
    delete run;
    run = new Run{};
    run->first_position = settings.start_position;
    run->first_row = settings.start_row;
    run->shared.stretch = Stretch{0, 0, settings.start_position, settings.start_row};
    run->mute = settings.mute;
    run->ahead_frames = settings.buffer_ms * MIX_RATE_HZ / 1000u;
    if (run->ahead_frames < 2 * BLOCK_FRAMES)
        run->ahead_frames = 2 * BLOCK_FRAMES;
    // Silent, the song is mixed just ahead of the clock.
    if (run->mute)
        run->ahead_frames = 2 * BLOCK_FRAMES;
    // Room for the longest buffer, a block being written and the output's own buffer.
    run->ring_frames = run->ahead_frames + 8u * BLOCK_FRAMES + 8192u;
    run->shared.clock_start_ns = monotonic_ns();
    run->music_thread_started =
        pthread_create(&run->music_thread, nullptr, music_thread_main, nullptr) == 0;
    if (!run->music_thread_started) {
        run->mix_error = "cannot start the music thread";
        run->mix_failed = true;
    }
}

HeardClock playback_heard() {
    std::lock_guard<std::mutex> guard(run->shared.lock);
    HeardClock c{0, run->first_position, 0, 0, 0, 0, 0, run->first_position, run->first_row, false,
                 0};
    if (run->shared.output == Output::OPENING)
        return c;
    std::int64_t heard = run->shared.output == Output::SOUND
                             ? heard_from_device(monotonic_ns())
                             : static_cast<std::int64_t>(silent_samples(monotonic_ns()));
    c.sample = heard;
    if (run->shared.next_block == run->shared.first_block)
        return c;
    // The newest block that starts at or before the heard sample; before the first, the first.
    std::uint64_t i = run->shared.next_block - 1;
    while (i > run->shared.first_block &&
           static_cast<std::int64_t>(run->shared.ring[i % RING_BLOCKS].start) >
               (heard < 0 ? 0 : heard))
        i--;
    const Block& b = run->shared.ring[i % RING_BLOCKS];
    c.tick_count = tick_at_sample(heard < 0 ? 0 : static_cast<std::uint64_t>(heard));
    c.sngpos = b.sngpos;
    c.patpos = b.patpos;
    c.sngtime = b.sngtime;
    c.jumps = b.jumps;
    const Stretch& s = b.stretch;
    c.stretch = s.number;
    c.stretch_tick = tick_at_sample(s.start);
    c.stretch_sngpos = s.sngpos;
    c.stretch_patpos = s.patpos;
    c.song_ended =
        run->shared.song_over && heard >= static_cast<std::int64_t>(run->shared.song_end_sample);
    return c;
}

void playback_set_paused(bool paused) {
    std::lock_guard<std::mutex> guard(run->shared.lock);
    if (paused == run->shared.paused)
        return;
    std::uint64_t now = monotonic_ns();
    if (paused)
        run->shared.paused_since_ns = now;
    else
        run->shared.paused_ns += now - run->shared.paused_since_ns;
    run->shared.paused = paused;
    // Only the callback holds SDL's device lock, briefly, even with a stopped server.
    if (run->shared.output == Output::SOUND)
        SDL_PauseAudioDevice(run->device, paused ? 1 : 0);
}

void playback_jump(std::int16_t position, std::uint32_t number) {
    std::uint64_t p = position < 0 ? 0u : static_cast<std::uint64_t>(position);
    run->jump_request.store(std::uint64_t{number} << 16 | p);
}

void playback_switch_module(const char* path, std::uint32_t number) {
    std::lock_guard<std::mutex> guard(switch_lock);
    switch_path = path;
    switch_number = number;
}

std::string module_title(const char* songname, const char* path) {
    std::string title = songname ? songname : "";
    while (!title.empty() && title.back() == ' ')
        title.pop_back();
    if (!title.empty())
        return title;
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void playback_set_fit_choice(FitChoice choice) {
    std::lock_guard<std::mutex> guard(switch_lock);
    switch_fit_choice = choice;
}

bool playback_take_switched(std::uint32_t jump, SwitchedModule* out) {
    std::lock_guard<std::mutex> guard(switch_lock);
    if (switched.jump == 0 || switched.jump != jump)
        return false;
    *out = std::move(switched);
    switched = SwitchedModule{};
    return true;
}

bool playback_take_switch_failure(std::string* line) {
    std::lock_guard<std::mutex> guard(switch_lock);
    if (switch_failure.empty())
        return false;
    line->swap(switch_failure);
    switch_failure.clear();
    return true;
}

void playback_latency(std::uint32_t* output_frames, std::uint32_t* queued_frames) {
    std::lock_guard<std::mutex> guard(run->shared.lock);
    *output_frames = run->last_output_frames;
    *queued_frames = run->last_queued_frames;
}

void playback_set_loop(std::int16_t first, std::int16_t last) {
    std::uint32_t word =
        last < 0 ? 0xFFFFu
                 : static_cast<std::uint32_t>(first) << 16 | static_cast<std::uint32_t>(last);
    loop_positions.store(word);
}

bool playback_clock_at(std::int32_t tick, std::int16_t* sngpos, std::uint16_t* patpos) {
    std::lock_guard<std::mutex> guard(run->shared.lock);
    if (run->shared.next_block == run->shared.first_block)
        return false;
    std::uint64_t sample = static_cast<std::uint64_t>(tick < 0 ? 0 : tick) * SAMPLES_PER_TICK;
    std::uint64_t i = run->shared.next_block - 1;
    while (i > run->shared.first_block && run->shared.ring[i % RING_BLOCKS].start > sample)
        i--;
    *sngpos = run->shared.ring[i % RING_BLOCKS].sngpos;
    *patpos = run->shared.ring[i % RING_BLOCKS].patpos;
    return true;
}

PlaybackEnd playback_stop(std::string* error, std::uint64_t wait_ns) {
    run->quit.store(true);
    bool held = false;
    if (run->music_thread_started) {
        timespec until = monotonic_timespec(monotonic_ns() + wait_ns);
        held = pthread_clockjoin_np(run->music_thread, nullptr, CLOCK_MONOTONIC, &until) != 0;
    }
    // An opening still under way (the music thread gave up waiting for it at quit) is waited
    // for as a close is; one that never finishes holds SDL's audio start-up and is left as it is.
    if (!held && run->opener_started && !run->open_finished.load())
        held = !sem_wait_until_ns(&run->open_done, monotonic_ns() + wait_ns);
    // A device opened after the music thread stopped waiting is closed with the rest.
    if (!held && run->opener_started && !run->device)
        run->device = run->opened_device;
    if (!held && run->opener_started) {
        pthread_t closer;
        if (!run->open_finished.load() || sem_init(&run->close_done, 0, 0) != 0 ||
            pthread_create(&closer, nullptr, close_main, nullptr) != 0) {
            held = true;
        } else {
            pthread_detach(closer);
            held = !sem_wait_until_ns(&run->close_done, monotonic_ns() + wait_ns);
        }
    }
    if (held)
        return PlaybackEnd::HELD;
    run->device = 0;
    std::free(run->ring_bytes);
    run->ring_bytes = nullptr;
    if (run->mix_failed) {
        *error = run->mix_error;
        return PlaybackEnd::FAILED;
    }
    return PlaybackEnd::STOPPED;
}
