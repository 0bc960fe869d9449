// quab-export's web page: one HTML file holding the show's WebAssembly build (made by emscripten
// beside quab-export, in the build's web/ folder), the asset file gzip-compressed, the mix the
// exporter made encoded as Opus, and the song position and row of every tick of that mix.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "lib/export/progress.h"
#include "music/mixdown.h"

// The web build's products: the module, the page's template and its script.
struct WebParts {
    std::string wasm;
    std::string page;
    std::string script;
};

// Finds the web build in the folder "web" beside the running program. False with *error, one
// line that names what is missing and the package that makes it, when there is none.
[[nodiscard]] bool web_parts_find(WebParts* parts, std::string* error);

struct PageSettings {
    std::string ffmpeg;      // path of the ffmpeg program (it encodes the sound)
    std::string assets_path; // the asset file, already checked by the exporter
    std::string audio;       // the mix: 16-bit stereo at 44,100 Hz, host byte order
    std::string sound;       // a work file for the encoded sound; removed before returning
    std::string log;         // ffmpeg's messages
    std::string output;      // the file to write (the output's temporary, written by name)
    std::string name;        // the show's name for the start screen
};

enum class PageResult { WRITTEN, FAILED, INTERRUPTED };

// Writes the page for the mix of ticks (one clock per tick, tick k at entry k, as mixdown_run
// gives at 50 frames a second). Shows the encoding's progress on p. Checks *stop while ffmpeg
// runs and stops it when set. On FAILED *error says why in one line.
PageResult html_write_page(const PageSettings& settings, const WebParts& parts,
                           const std::vector<FrameClock>& ticks,
                           const volatile std::sig_atomic_t* stop, Progress* p, std::string* error);

// Text for the page's HTML (its title and heading): <, >, &, " and ' as character references.
std::string html_escape(const std::string& text);

// A JSON string for the page's script data: nothing in it can end the script element or open a
// comment (<, >, &, / escaped), nor end a line (control bytes, U+2028 and U+2029 escaped).
std::string json_string(const std::string& text);

// The bytes base64-encoded (RFC 4648, with padding) and gzip-compressed at the highest level.
std::string base64_encode(const std::string& bytes);
[[nodiscard]] bool gzip_compress(const std::string& bytes, std::string* out);
