// How every message prints a path: as it stands, unless it holds a byte that would split or
// disguise the one line a failure gets (a newline from an environment variable, a carriage
// return, an escape sequence); then in the shell's $'...' form, which names every byte.
#pragma once

#include <string>

// path itself when every byte is printable (UTF-8 passes), else $'...' with \n, \t, \r, \\, \'
// and \xHH for the other control bytes, so that the text pasted into a shell names the file.
static inline std::string shown_path(const std::string& path) {
    bool plain = true;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7f)
            plain = false;
    if (plain)
        return path;
    static constexpr char HEX[] = "0123456789abcdef";
    std::string shown = "$'";
    for (unsigned char c : path) {
        switch (c) {
        case '\n':
            shown += "\\n";
            break;
        case '\t':
            shown += "\\t";
            break;
        case '\r':
            shown += "\\r";
            break;
        case '\\':
            shown += "\\\\";
            break;
        case '\'':
            shown += "\\'";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                shown += "\\x";
                shown += HEX[c >> 4];
                shown += HEX[c & 15];
            } else {
                shown += static_cast<char>(c);
            }
        }
    }
    return shown + "'";
}
