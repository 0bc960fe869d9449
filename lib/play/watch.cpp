// Reload on save. The watch is read between frames without waiting (one read that finds nothing
// most of the time), so a quab-play that watches costs no more than one that does not. The module
// is kept as a copy in memory: a save that libmikmod refuses then brings back the last good one
// from the copy, since the file on disk is already the refused one.
#include "lib/play/watch.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <unistd.h>

#include "lib/pictures/pictures.h"
#include "lib/play/check.h"
#include "lib/play/show_loop.h"
#include "lib/show_files/show_files.h"
#include "lib/tool_common/streams.h"
#include "music/collector.h"

namespace {

// A save is taken once no event has come for this long: an editor's save is a burst of events
// (write a temporary, rename it, change its mode), and the last one ends it.
constexpr std::uint64_t SETTLE_NS = 60000000u;

// A module larger than this is refused before it is copied: far more than any tracker module.
constexpr std::size_t MAX_MODULE_BYTES = 64u << 20;

// What a watch on a folder hears: a save (written in place or renamed into it), and the folder
// itself going away (deleted, or renamed: its path no longer leads to it).
constexpr std::uint32_t WATCHED_EVENTS =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr std::uint32_t FOLDER_GONE = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;

// How often a folder that has gone is looked for again.
constexpr std::uint64_t LOOK_AGAIN_NS = 250000000u;

struct WatchedFile {
    int wd;           // the watch on its folder; -1 while the folder is gone
    std::string dir;  // the folder, after symlinks: what the user edits
    std::string name; // its name in the folder; empty: any PNG (the folder of pictures)
    bool saved;       // an event came since the last reload
    bool lost;        // the folder went away and nothing has said so yet
};

} // namespace

struct Watch {
    int fd;
    WatchedFile assets;
    WatchedFile music;
    std::uint64_t last_event_ns;
    std::uint64_t first_event_ns; // the first event of the save not yet taken, or 0
    std::uint64_t last_look_ns;   // when the folders that have gone were last looked for
    Checker* checker;
    // The picture files the asset table was last made from (--pictures).
    PictureStamp stamps[ASSET_COUNT];
    bool stamped;
};

namespace {

void split_path(const char* path, std::string* dir, std::string* name) {
    std::string p = path;
    std::size_t slash = p.rfind('/');
    *dir = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    *name = slash == std::string::npos ? p : p.substr(slash + 1);
}

// A copy of the file at path in memory, as a descriptor libmikmod can open by name. -1 with
// *problem when it cannot be read.
int copy_module(const char* path, std::string* problem) {
    int in = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        *problem = std::string(path) + ": cannot read: " + std::strerror(errno);
        return -1;
    }
    int out = memfd_create("quab-play-module", MFD_CLOEXEC);
    if (out < 0) {
        *problem = std::string(path) + ": cannot copy: " + std::strerror(errno);
        close(in);
        return -1;
    }
    char buffer[65536];
    std::size_t total = 0;
    for (;;) {
        ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (total += static_cast<std::size_t>(got)) > MAX_MODULE_BYTES ||
            (got > 0 && write(out, buffer, static_cast<std::size_t>(got)) != got)) {
            *problem =
                std::string(path) + (got < 0 ? ": cannot read: " + std::string(std::strerror(errno))
                                             : ": larger than 64 MB; not a module");
            close(in);
            close(out);
            return -1;
        }
        if (got == 0)
            break;
    }
    close(in);
    return out;
}

// The path a save reaches: the file a symlink leads to, else the path as given.
std::string watched_path(const char* path) {
    char* real = realpath(path, nullptr);
    std::string resolved = real ? real : path;
    std::free(real);
    return resolved;
}

std::string fd_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Reads what the watch has seen; marks the files saved.
void take_events(Watch* w) {
    // The folders that have gone, looked for again: one made again may hold a new save.
    std::uint64_t now = monotonic_ns();
    if (now - w->last_look_ns >= LOOK_AGAIN_NS) {
        w->last_look_ns = now;
        for (WatchedFile* f : {&w->assets, &w->music}) {
            if (f->wd >= 0)
                continue;
            f->wd = inotify_add_watch(w->fd, f->dir.c_str(), WATCHED_EVENTS);
            if (f->wd >= 0) {
                f->saved = true;
                w->last_event_ns = now;
                if (!w->first_event_ns)
                    w->first_event_ns = now;
            }
        }
    }
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t got = read(w->fd, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (char* at = buffer; at < buffer + got;) {
            auto* e = reinterpret_cast<inotify_event*>(at);
            at += sizeof(inotify_event) + e->len;
            std::string name = e->len ? e->name : "";
            for (WatchedFile* f : {&w->assets, &w->music}) {
                if (e->wd == f->wd && (e->mask & FOLDER_GONE)) {
                    // A renamed folder keeps its watch under its new name: dropped, so that the
                    // path is watched again once a folder is there.
                    inotify_rm_watch(w->fd, f->wd);
                    f->wd = -1;
                    f->lost = true;
                    continue;
                }
                // In the folder of pictures, a hidden PNG is an editor's temporary.
                bool match = f->name.empty() ? name.size() > 4 && name[0] != '.' &&
                                                   name.compare(name.size() - 4, 4, ".png") == 0
                                             : name == f->name;
                if (e->wd == f->wd && match) {
                    f->saved = true;
                    w->last_event_ns = monotonic_ns();
                    if (!w->first_event_ns)
                        w->first_event_ns = w->last_event_ns;
                }
            }
        }
    }
}

// Shows the frame of the clock on screen again after a reload while paused: the uninterrupted
// show's with the new files where a tick table is known.
void redraw_paused(Player* p) {
    p->stepped = false;
    p->heard = playback_heard();
    p->reseek = true;
    if (seek_to_heard(p)) {
        p->shown_tick = p->heard.tick_count + p->tick_offset;
        p->shown_sngpos = p->heard.sngpos;
        p->shown_patpos = p->heard.patpos;
    } else {
        show_restart(&p->show);
        show_pass_at(&p->show, &p->clock, p->shown_tick, p->shown_reading.sngpos,
                     p->shown_reading.patpos);
    }
    p->clock.running.store(1, std::memory_order_relaxed);
}

// The tick table of the module in memory at fd; none (the show restarts on jumps) when it
// cannot be mixed. Only while the music is stopped.
void take_tick_table(Player* p, int fd) {
    exact_show_free(&p->exact);
    std::string error;
    if (!module_tick_table(fd_path(fd).c_str(), &p->exact.ticks, &error))
        p->exact.ticks.clear();
}

void reload_assets(Watch* w, Player* p) {
    std::string problem;
    const char* name = p->source.pictures ? p->source.pictures : p->source.assets;
    // Only the pictures saved since are decoded again.
    PictureStamp stamps[ASSET_COUNT];
    std::memcpy(stamps, w->stamps, sizeof stamps);
    // Looked at before it is opened, as the pictures and the module are: opening a FIFO put in
    // its place would wait for a writer, and the window with it.
    if (!p->source.pictures) {
        if (Result regular = input_is_regular_file(p->source.assets); !regular.ok) {
            player_note(p, "quab-play: " + regular.reason + "; the show goes on as it was");
            return;
        }
    }
    AssetTable table = nullptr;
    Result loaded = p->source.pictures
                        ? asset_table_from_pictures(p->source.pictures, &table,
                                                    w->stamped ? p->assets : nullptr, stamps)
                        : load_show_assets(p->source.assets, &table);
    problem = loaded.reason;
    if (!table) {
        player_note(p, "quab-play: " + problem + "; the show goes on as it was");
        return;
    }
    std::memcpy(w->stamps, stamps, sizeof stamps);
    w->stamped = p->source.pictures != nullptr;
    free_asset_table(p->assets);
    p->assets = table;
    p->show.assets = table;
    // Paused, or on the last frame of a show that has ended: the new pictures on the same clock.
    bool ended = !p->clock.running.load(std::memory_order_relaxed);
    show_restart(&p->show);
    // Every later state changes with the assets: the index is made again over them.
    exact_show_reindex(&p->exact, &p->show);
    p->reseek = true;
    if (p->paused || ended)
        redraw_paused(p);
    player_note(p, std::string("quab-play: reloaded ") + name);
}

// The last module the music took, as a copy in memory (memfd), or -1: a save or a drop that
// libmikmod refuses brings it back, since the file on disk may already be the refused one.
int module_copy = -1;

// Restarts the music on the module in memory at fd, at the song position and row on screen.
bool restart_music(Player* p, int fd, std::string* problem) {
    bool bad_module = false;
    if (Result r = collector_open(fd_path(fd).c_str(), &bad_module); !r.ok) {
        *problem = r.reason;
        return false;
    }
    if (!take_module(p, fd_path(fd).c_str(), p->source.music, problem)) {
        collector_close();
        return false;
    }
    MODULE* module = collector_module();
    std::int16_t position = p->shown_sngpos;
    // A shorter song goes on from its last position rather than ending the show.
    if (position >= module->numpos)
        position = static_cast<std::int16_t>(module->numpos - 1);
    p->playback.start_position = position;
    p->playback.start_row = position == p->shown_sngpos ? p->shown_patpos : 0;
    playback_start(p->playback);
    if (p->paused)
        playback_set_paused(true);
    p->jumps_seen = p->jumps_asked = 0;
    show_restart(&p->show);
    // The new song plays again: a show that ended at the last one's end goes on.
    p->clock.running.store(1, std::memory_order_relaxed);
    exact_tables_follow_fit(p);
    exact_show_reindex(&p->exact, &p->show);
    p->stretch_seen = 0;
    p->reseek = true;
    return true;
}

// Plays the module copied in memory at copy instead of the one playing (name: the file it came
// from) where the show is; one that cannot be played leaves the last good one playing, with one
// line.
void take_module(Player* p, int copy, const char* name) {
    std::string error, problem;
    PlaybackEnd end = playback_stop(&error, PLAYBACK_RESTART_WAIT_NS);
    if (end == PlaybackEnd::HELD) {
        // The music thread is still inside the stopped sound server: nothing can be closed or
        // started again under it, so the show ends as Esc would end it then.
        std::fprintf(stderr, "quab-play: the sound output does not answer: cannot take %s\n", name);
        std::fflush(stderr);
        _exit(std::fflush(stdout) == 0 ? 0 : 1);
    }
    if (end == PlaybackEnd::FAILED)
        player_note(p, "quab-play: " + error);
    p->sngtime_before += p->heard.sngtime;
    p->heard.sngtime = 0;
    collector_close();
    take_tick_table(p, copy);
    if (restart_music(p, copy, &problem)) {
        if (module_copy >= 0)
            close(module_copy);
        module_copy = copy;
        player_note(p, std::string("quab-play: ") + "reloaded " + name);
    } else {
        close(copy);
        player_note(p, std::string("quab-play: ") + name + ": " + problem +
                           "; the show goes on as it was");
        std::string again;
        if (module_copy >= 0)
            take_tick_table(p, module_copy);
        if (module_copy < 0 || !restart_music(p, module_copy, &again)) {
            std::fprintf(stderr, "quab-play: the last good module cannot be played again: %s\n",
                         again.c_str());
            std::exit(1);
        }
    }
    if (p->paused)
        redraw_paused(p);
}

void reload_music(Player* p) {
    std::string problem;
    int copy = copy_module(p->source.music, &problem);
    if (copy < 0) {
        player_note(p, "quab-play: " + problem + "; the show goes on as it was");
        return;
    }
    take_module(p, copy, p->source.music);
}

// The picture files of the first show, for the watch's first reload.
PictureStamp first_stamps[ASSET_COUNT];

} // namespace

bool load_first_show(const ShowSource& source, AssetTable* assets, std::string* error) {
    if (!source.pictures)
        return load_show_files(source.assets, source.music, assets, error) == ShowFilesFault::NONE;
    if (Result r = asset_table_from_pictures(source.pictures, assets, nullptr, first_stamps);
        !r.ok) {
        *error = r.reason;
        return false;
    }
    bool bad_module = false;
    Result why = collector_open(source.music, &bad_module);
    if (why.ok)
        return true;
    free_asset_table(*assets);
    *assets = nullptr;
    *error = std::string(source.music) + ": " + why.reason;
    return false;
}

Watch* watch_start(Player* p, Checker* checker) {
    auto* w = new Watch{};
    w->checker = checker;
    w->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::string reason;
    // A show file that is a symlink is edited at its target: the target's folder is watched.
    std::string assets = watched_path(p->source.pictures ? p->source.pictures : p->source.assets);
    if (p->source.pictures)
        w->assets.dir = assets;
    else
        split_path(assets.c_str(), &w->assets.dir, &w->assets.name);
    split_path(watched_path(p->source.music).c_str(), &w->music.dir, &w->music.name);
    if (w->fd >= 0) {
        w->assets.wd = inotify_add_watch(w->fd, w->assets.dir.c_str(), WATCHED_EVENTS);
        w->music.wd = inotify_add_watch(w->fd, w->music.dir.c_str(), WATCHED_EVENTS);
    }
    if (w->fd < 0 || w->assets.wd < 0 || w->music.wd < 0) {
        std::fprintf(stderr,
                     "quab-play: cannot watch the show's files (%s); playing without "
                     "reloads\n",
                     std::strerror(errno));
        if (w->fd >= 0)
            close(w->fd);
        delete w;
        return nullptr;
    }
    if (module_copy < 0)
        module_copy = copy_module(p->source.music, &reason);
    std::memcpy(w->stamps, first_stamps, sizeof first_stamps);
    w->stamped = p->source.pictures != nullptr;
    // What the files are warned of now is known; later checks note what a save adds.
    checker_request(checker);
    return w;
}

bool watch_poll(Watch* w, Player* p) {
    checker_poll(w->checker, p);
    take_events(w);
    // Said once per folder, the two files' folders often being one.
    if (w->music.lost && w->assets.lost && w->music.dir == w->assets.dir)
        w->music.lost = false;
    for (WatchedFile* f : {&w->assets, &w->music}) {
        if (f->lost) {
            f->lost = false;
            player_note(p, "quab-play: " + f->dir +
                               " has gone; its saves are taken again once it is back");
        }
    }
    if (!w->assets.saved && !w->music.saved)
        return false;
    if (monotonic_ns() - w->last_event_ns < SETTLE_NS)
        return false;
    bool assets = w->assets.saved;
    bool music = w->music.saved;
    p->save_ns = w->first_event_ns;
    w->first_event_ns = 0;
    w->assets.saved = w->music.saved = false;
    if (assets)
        reload_assets(w, p);
    if (music)
        reload_music(p);
    checker_request(w->checker);
    return p->paused;
}

void watch_stop(Watch* w) {
    if (!w)
        return;
    close(w->fd);
    delete w;
}
