// The check of a show's files, written once: load the asset file (or build it from pictures),
// read the module's clock, plan the show and run the timing, black-frame and key checks.
// quab-check prints what it finds; quab-play's checker of each save notes its warnings.
#pragma once

#include <string>
#include <vector>

#include "lib/show_plan/fit.h"
#include "lib/show_plan/plan.h"
#include "lib/show_plan/show_clock.h"

// The files to check: the asset file, or a folder of pictures it is built from, and the module.
struct ShowCheckFiles {
    const char* assets;   // unless pictures
    const char* pictures; // or null
    const char* music;
    FitChoice fit; // AUTO unless given
};

struct ShowCheck {
    // Both files could be read: the assets loaded and the module mixed (its song may still end
    // before it starts).
    bool files_read;
    // The mixer itself could not run (not the module's fault): nothing was checked, mix_error
    // says why.
    bool mixer_failed;
    std::string mix_error;
    // The show's buffers for the black-frame check could not be had: the check stopped there.
    bool out_of_memory;
    // A clock with readings: plan and clock are set, and black too once the assets loaded
    // (black_checked).
    bool planned;
    bool black_checked;
    // The show is fitted to the song: clock and plan are the fitted show's, own_plan the song's
    // own (as planned whether fitted or not).
    bool fitted;
    ShowPlan own_plan;
    ShowClock clock;
    ShowPlan plan;
    std::vector<BlackStretch> black;
    std::vector<std::string> problems; // what keeps the show from starting at all
    std::vector<std::string> warnings; // what keeps it from playing as meant, in the order told
};

// Checks the show's files as they are now. The asset loader's own lines go to standard output.
ShowCheck check_show_files(const ShowCheckFiles& files);
