// Finding the show's files by name when the command line names none: the current folder first,
// as the show always read it, then the show a build tree made beside its programs, then the
// default show installed beside the program, then the user's and the system's data folders as
// the desktop's base directories define them.
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/show_files/show_files.h"
#include "lib/tool_common/shown_path.h"
#include "lib/tool_common/streams.h"

namespace {

// The folder above `folder` ("/opt/q/bin" gives "/opt/q"; "/bin" gives "").
std::string parent_of(const std::string& folder) {
    std::size_t slash = folder.find_last_of('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

bool is_regular_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void add_folder(std::vector<std::string>* folders, std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    for (const std::string& f : *folders)
        if (f == folder)
            return;
    folders->push_back(folder);
}

} // namespace

std::vector<std::string> show_lookup_folders(const ShowLookupPlaces& places) {
    std::vector<std::string> folders = {"./"};
    if (places.exe_path && places.exe_path[0] == '/') {
        std::string bindir = parent_of(places.exe_path);
        // A build tree (CMake leaves its cache there) makes its default show beside its programs.
        if (is_regular_file(bindir + "/CMakeCache.txt"))
            add_folder(&folders, bindir);
        add_folder(&folders, parent_of(bindir) + "/share/quab");
    }
    // Relative entries in the base-directory variables are invalid and ignored.
    std::string data_home = places.xdg_data_home ? places.xdg_data_home : "";
    if (data_home.empty() || data_home[0] != '/')
        data_home = places.home && places.home[0] == '/'
                        ? std::string(places.home) + "/.local/share"
                        : std::string();
    if (!data_home.empty())
        add_folder(&folders, data_home + "/quab");
    std::string data_dirs = places.xdg_data_dirs ? places.xdg_data_dirs : "";
    if (data_dirs.empty())
        data_dirs = "/usr/local/share:/usr/share";
    for (std::size_t at = 0; at <= data_dirs.size();) {
        std::size_t colon = data_dirs.find(':', at);
        if (colon == std::string::npos)
            colon = data_dirs.size();
        std::string entry = data_dirs.substr(at, colon - at);
        if (!entry.empty() && entry[0] == '/') {
            while (entry.size() > 1 && entry.back() == '/')
                entry.pop_back();
            add_folder(&folders, (entry == "/" ? std::string() : entry) + "/quab");
        }
        at = colon + 1;
    }
    return folders;
}

Result find_show_file_in(const char* name, const ShowLookupPlaces& places, std::string* found) {
    found->clear();
    std::vector<std::string> folders = show_lookup_folders(places);
    // In the current folder the name stays as given, as the show has always printed it.
    for (const std::string& folder : folders) {
        if (is_regular_file(folder + name)) {
            *found = folder == "./" ? std::string(name) : folder + name;
            return Result::success();
        }
    }
    std::string list;
    for (const std::string& folder : folders)
        list += (list.empty() ? "" : ", ") + shown_path(folder);
    return Result::fail("cannot find " + shown_path(name) + " (looked in " + list +
                        "); name one with --" +
                        (std::string(name) == "quab.dat" ? "assets" : "music"));
}

Result find_show_file(const char* name, std::string* found) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[n > 0 ? n : 0] = '\0';
    ShowLookupPlaces places{n > 0 ? exe : nullptr, std::getenv("XDG_DATA_HOME"),
                            std::getenv("XDG_DATA_DIRS"), std::getenv("HOME")};
    return find_show_file_in(name, places, found);
}

std::string given_or_found_show_file(const char* given, const char* name, const char* program,
                                     int status) {
    if (given)
        return given;
    std::string found;
    if (Result r = find_show_file(name, &found); !r.ok) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", program, r.reason.c_str());
        std::exit(status);
    }
    return found;
}

void settle_show_inputs(ShowInputs* inputs, const char* program, std::string held[2]) {
    held[0] = given_or_found_show_file(inputs->assets, "quab.dat", program, EXIT_NO_SHOW);
    held[1] = given_or_found_show_file(inputs->music, "music.xm", program, EXIT_NO_SHOW);
    inputs->assets = held[0].c_str();
    inputs->music = held[1].c_str();
    require_regular_inputs(program, {inputs->assets, inputs->music});
}
