// The web page writer: finds the web build, compresses the asset file and the tick table,
// encodes the mix to Ogg Opus with an ffmpeg child (its progress read from a pipe), and fills
// the page's template with them, base64-encoded.
#include "lib/export/html.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "core/core.h"
#include "core/timeline.h"
#include "lib/tool_common/shown_path.h"
#include "music/sample_clock.h"

namespace {

// About 128 kbit/s keeps the default show's page under 6 MB and the music clean.
constexpr const char* SOUND_BITRATE = "128k";

bool read_file(const std::string& path, std::string* bytes, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in.good() && !in.eof()) {
        *error = shown_path(path) + ": cannot read: " + std::strerror(errno);
        return false;
    }
    if (!in.is_open()) {
        *error = shown_path(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    *bytes = all.str();
    return true;
}

// The folder of the running program.
std::string program_dir() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (slash)
        *slash = '\0';
    return path;
}

// Song position and row of every tick, each a little-endian 16-bit word.
std::string tick_table(const std::vector<FrameClock>& ticks) {
    std::string table;
    table.reserve(ticks.size() * 4);
    for (const FrameClock& c : ticks) {
        std::uint16_t words[2] = {static_cast<std::uint16_t>(c.sngpos), c.patpos};
        for (std::uint16_t w : words) {
            table += static_cast<char>(w & 0xFF);
            table += static_cast<char>(w >> 8);
        }
    }
    return table;
}

std::string last_line_of(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last;
}

// Encodes the mix to Ogg Opus at settings.sound, reporting ffmpeg's progress (the show time it
// has encoded) on p. ffmpeg runs in a process group of its own, so that a Ctrl+C at the
// terminal reaches the export only, which then stops ffmpeg; it dies with the export.
PageResult encode_sound(const PageSettings& settings, double total_s,
                        const volatile std::sig_atomic_t* stop, Progress* p, std::string* error) {
    const char* sample_format = std::endian::native == std::endian::little ? "s16le" : "s16be";
    std::string rate = std::to_string(MIX_RATE_HZ);
    const char* argv[] = {settings.ffmpeg.c_str(),
                          "-nostdin",
                          "-hide_banner",
                          "-loglevel",
                          "error",
                          "-y",
                          "-f",
                          sample_format,
                          "-ar",
                          rate.c_str(),
                          "-ac",
                          "2",
                          "-i",
                          settings.audio.c_str(),
                          "-c:a",
                          "libopus",
                          "-b:a",
                          SOUND_BITRATE,
                          "-f",
                          "ogg",
                          "-progress",
                          "pipe:1",
                          "-nostats",
                          settings.sound.c_str(),
                          nullptr};
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        *error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        return PageResult::FAILED;
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return PageResult::FAILED;
    }
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        int log = open(settings.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int null_in = open("/dev/null", O_RDONLY);
        if (log < 0 || null_in < 0 || dup2(null_in, 0) < 0 || dup2(pipe_fds[1], 1) < 0 ||
            dup2(log, 2) < 0)
            _exit(127);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(sig, SIG_DFL);
        execv(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    close(pipe_fds[1]);
    // ffmpeg's progress comes as key=value lines; out_time_us is the show time encoded.
    std::string pending;
    char buffer[4096];
    bool interrupted = false;
    for (;;) {
        ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
        if (*stop) {
            interrupted = true;
            break;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.rfind("out_time_us=", 0) == 0)
                progress_show(p, std::atof(line.c_str() + 12) / 1e6, total_s, false);
        }
    }
    close(pipe_fds[0]);
    if (interrupted)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (interrupted || *stop)
        return PageResult::INTERRUPTED;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string last = last_line_of(settings.log);
        *error = WIFEXITED(status) && WEXITSTATUS(status) == 127 && last.empty()
                     ? "cannot run " + settings.ffmpeg
                     : "ffmpeg failed to encode the sound" + (last.empty() ? "" : ": " + last);
        return PageResult::FAILED;
    }
    return PageResult::WRITTEN;
}

// The template with each @KEY@ replaced once by its text; what is put in is not searched again.
std::string fill_template(const std::string& page,
                          const std::vector<std::pair<std::string, const std::string*>>& fields) {
    std::string out;
    std::size_t at = 0;
    while (at < page.size()) {
        std::size_t open = page.find('@', at);
        if (open == std::string::npos)
            break;
        std::size_t close = page.find('@', open + 1);
        if (close == std::string::npos)
            break;
        std::string key = page.substr(open + 1, close - open - 1);
        const std::string* value = nullptr;
        for (const auto& f : fields)
            if (f.first == key)
                value = f.second;
        if (!value) {
            out.append(page, at, close - at);
            at = close;
            continue;
        }
        out.append(page, at, open - at);
        out += *value;
        at = close + 1;
    }
    out.append(page, at, std::string::npos);
    return out;
}

} // namespace

std::string html_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '\'')
            out += "&#39;";
        else
            out += c;
    }
    return out;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // U+2028 and U+2029 end a line in older script parsers; written as escapes they cannot.
        bool line_separator = c == 0xe2 && i + 2 < text.size() &&
                              static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                              (static_cast<unsigned char>(text[i + 2]) & 0xfe) == 0xa8;
        if (c == '"' || c == '\\' || c == '/') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7f) {
            // "<!--", "<script" and "</" in script data change how the page is parsed.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (line_separator) {
            out += static_cast<unsigned char>(text[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string base64_encode(const std::string& bytes) {
    static const char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                          static_cast<unsigned char>(bytes[i + 1]) << 8 |
                          static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0})
            out += ALPHABET[(v >> shift) & 63];
    }
    std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += ALPHABET[(v >> 18) & 63];
        out += ALPHABET[(v >> 12) & 63];
        out += left == 2 ? ALPHABET[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool gzip_compress(const std::string& bytes, std::string* out) {
    z_stream z;
    std::memset(&z, 0, sizeof z);
    // 16 + 15: a gzip header and trailer around the deflate stream, as DecompressionStream
    // ("gzip") takes it.
    if (deflateInit2(&z, 9, Z_DEFLATED, 16 + 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&z, bytes.size()) + 32);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out->data());
    z.avail_out = static_cast<uInt>(out->size());
    int result = deflate(&z, Z_FINISH);
    out->resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

bool web_parts_find(WebParts* parts, std::string* error) {
    // A build keeps them in web/ beside the programs; an installed tree or the package in
    // share/quab/web beside bin/.
    std::string build = program_dir() + "/web", installed = program_dir() + "/../share/quab/web";
    std::string dir =
        access((program_dir() + "/CMakeCache.txt").c_str(), F_OK) == 0 ? build : installed;
    for (const std::string& d : {build, installed})
        if (access((d + "/quab.wasm").c_str(), R_OK) == 0) {
            dir = d;
            break;
        }
    parts->wasm = dir + "/quab.wasm";
    parts->page = dir + "/page.html";
    parts->script = dir + "/page.js";
    for (const std::string* path : {&parts->wasm, &parts->page, &parts->script})
        if (access(path->c_str(), R_OK) != 0) {
            *error = "an .html output needs the show's WebAssembly build, and " +
                     shown_path(*path) +
                     " is missing: install emscripten (Debian package emscripten), then build "
                     "(and install) QUAB again; the build makes it wherever emcc is found";
            return false;
        }
    return true;
}

PageResult html_write_page(const PageSettings& settings, const WebParts& parts,
                           const std::vector<FrameClock>& ticks,
                           const volatile std::sig_atomic_t* stop, Progress* p,
                           std::string* error) {
    for (std::size_t k = 0; k < ticks.size(); k++)
        if (ticks[k].tick_count != static_cast<std::int32_t>(k)) {
            *error = "the mix's clock is not one entry a tick";
            return PageResult::FAILED;
        }
    double total_s = static_cast<double>(ticks.size()) / (MIX_RATE_HZ / SAMPLES_PER_TICK);
    PageResult encoded = encode_sound(settings, total_s, stop, p, error);
    std::string sound;
    if (encoded == PageResult::WRITTEN && !read_file(settings.sound, &sound, error))
        encoded = PageResult::FAILED;
    unlink(settings.sound.c_str());
    if (encoded != PageResult::WRITTEN)
        return encoded;

    std::string wasm, page, script, assets, assets_gz, ticks_gz;
    if (!read_file(parts.wasm, &wasm, error) || !read_file(parts.page, &page, error) ||
        !read_file(parts.script, &script, error) ||
        !read_file(settings.assets_path, &assets, error))
        return PageResult::FAILED;
    if (!gzip_compress(assets, &assets_gz) || !gzip_compress(tick_table(ticks), &ticks_gz)) {
        *error = "out of memory compressing the asset file";
        return PageResult::FAILED;
    }
    // The page takes the show's clock, frame size and scenes from here, never from constants
    // of its own: rate_hz / samples_per_tick is the tick rate the tick table was made at, the
    // pass reports scene index scenes.length once the show has ended, and scene_positions are
    // the song positions the scenes start at, for the seek bar's marks.
    std::string show = "{\"name\": " + json_string(settings.name) +
                       ", \"rate_hz\": " + std::to_string(MIX_RATE_HZ) +
                       ", \"samples_per_tick\": " + std::to_string(SAMPLES_PER_TICK) +
                       ", \"width\": " + std::to_string(FRAME_W) +
                       ", \"height\": " + std::to_string(FRAME_H) + ", \"scenes\": [";
    for (int i = 0; i < SCENE_COUNT; i++)
        show += (i ? ", " : "") + json_string(SCENE_NAMES[i]);
    show += "], \"scene_positions\": [";
    for (int i = 0; i < SCENE_COUNT; i++)
        show += (i ? ", " : "") + std::to_string(scene_first_position(i));
    show += "]}";
    static_assert(SCENE_END == SCENE_COUNT, "the page ends the show at scene index scenes.length");
    std::string name = html_escape(settings.name);
    std::string wasm64 = base64_encode(wasm), assets64 = base64_encode(assets_gz),
                ticks64 = base64_encode(ticks_gz), sound64 = base64_encode(sound);
    std::string text = fill_template(page, {{"NAME", &name},
                                            {"SHOW", &show},
                                            {"WASM", &wasm64},
                                            {"ASSETS", &assets64},
                                            {"TICKS", &ticks64},
                                            {"SOUND", &sound64},
                                            {"SCRIPT", &script}});
    FILE* f = std::fopen(settings.output.c_str(), "we");
    bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0)
        written = false;
    if (!written) {
        *error = shown_path(settings.output) + ": cannot write: " + std::strerror(errno);
        return PageResult::FAILED;
    }
    progress_show(p, total_s, total_s, true);
    return PageResult::WRITTEN;
}
