// What openmpt123 and sox say about a module and its sound, for the tests of the tools that write
// modules: openmpt123's report on a module and its rendering to WAV, sox's figures on a WAV, and
// the fields read from those reports.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/process.h"

// The text after ": " on the first line of a report that starts with key ("Duration",
// "Maximum amplitude"), or "" when no line does.
inline std::string report_field(const std::string& report, const std::string& key) {
    std::size_t at = 0;
    while (at < report.size()) {
        std::size_t end = report.find('\n', at);
        if (end == std::string::npos)
            end = report.size();
        std::string line = report.substr(at, end - at);
        if (line.rfind(key, 0) == 0) {
            std::size_t colon = line.find(": ");
            return colon == std::string::npos ? "" : line.substr(colon + 2);
        }
        at = end + 1;
    }
    return "";
}

// openmpt123's "MM:SS.mmm" in seconds, or -1.
inline double parse_duration(const std::string& text) {
    int minutes = 0, seconds = 0, millis = 0;
    if (std::sscanf(text.c_str(), "%d:%d.%d", &minutes, &seconds, &millis) != 3)
        return -1;
    return minutes * 60.0 + seconds + millis / 1000.0;
}

// openmpt123's report on a module, its errors included.
inline CommandResult openmpt_info(const std::string& module) {
    return run_command("openmpt123 --info " + module + " 2>&1");
}

// openmpt123 renders a module to module + ".wav", 16-bit; its messages in the output.
inline CommandResult openmpt_render(const std::string& module) {
    return run_command("openmpt123 --quiet --render --force --no-float " + module + " 2>&1");
}

// sox's "stat" report on a WAV file after the effects given ("trim 1 1", or "" for the whole).
inline std::string sox_stat_report(const std::string& wav, const std::string& effects) {
    return run_command("sox " + wav + " -n " + effects + " stat 2>&1").output;
}

// One of sox's "stat" figures ("RMS     amplitude") after the effects given, or -1 when the
// report lacks it.
inline double sox_stat(const std::string& wav, const std::string& effects, const std::string& key) {
    std::string v = report_field(sox_stat_report(wav, effects), key);
    return v.empty() ? -1.0 : std::atof(v.c_str());
}
