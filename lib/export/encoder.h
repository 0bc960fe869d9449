// ffmpeg as the export's encoder: a child process that takes the raw frames on a pipe and the
// mixed sound from a file, and writes H.264 video with AAC (MP4) or Opus (MKV) audio. Only one
// pipe runs between the two processes, so neither can wait on the other's second input.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct EncodeSettings {
    std::string ffmpeg; // path of the ffmpeg program
    std::string output; // the file ffmpeg writes
    std::string audio;  // raw 16-bit stereo samples at 44,100 Hz, host byte order
    std::string log;    // ffmpeg's messages go here
    bool matroska;      // MKV with Opus audio rather than MP4 with AAC audio
    bool lossless;      // H.264 in RGB without loss rather than yuv420p
    std::uint32_t scale;
    std::uint32_t fps;
};

struct Encoder {
    pid_t pid = -1;
    int video_fd = -1; // frames go here: 320x240 Pixels, host byte order
};

// The full path of an executable named `name` on PATH, or "" when there is none.
std::string find_program(const char* name);

// ffmpeg's argument vector (without the program name) for these settings.
std::vector<std::string> ffmpeg_arguments(const EncodeSettings& settings);

// Starts ffmpeg in a process group of its own (a Ctrl+C at the terminal reaches the export
// only, which then stops ffmpeg itself), killed by the system when the export dies. False with
// *error when it cannot be started.
[[nodiscard]] bool encoder_start(const EncodeSettings& settings, Encoder* encoder,
                                 std::string* error);

enum class FeedResult { WRITTEN, ENCODER_GONE, INTERRUPTED };

// Writes all of bytes to the frame pipe, blocking while ffmpeg catches up. Checks *stop
// whenever a signal interrupts the write.
FeedResult encoder_feed(Encoder* encoder, const void* bytes, std::size_t count,
                        const volatile std::sig_atomic_t* stop);

enum class FinishResult { SUCCEEDED, FAILED, INTERRUPTED };

// Closes the frame pipe and waits for ffmpeg to finish the file. On FAILED, *error says how
// ffmpeg ended and gives its last message from the log.
FinishResult encoder_finish(Encoder* encoder, const std::string& log,
                            const volatile std::sig_atomic_t* stop, std::string* error);

// Stops a running ffmpeg at once and waits for it; its output is to be thrown away.
void encoder_abort(Encoder* encoder);

// The last non-empty line of ffmpeg's log, or "" when it wrote nothing.
std::string last_log_line(const std::string& log);
