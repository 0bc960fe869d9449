// Writes the show's timeline (core/timeline.h), scene names included, as bash variables on standard
// output; the build keeps the result as timeline.sh at the top of the build folder, so that scripts
// and shell tests source the table instead of restating the song positions.
#include <cstdio>

#include "core/timeline.h"

int main() {
    std::printf("# The show's timeline, written at build time from core/timeline.h.\n");
    std::printf("SCENE_LAST_POSITION=(");
    for (int k = 0; k < SCENE_COUNT; k++)
        std::printf(k == 0 ? "%d" : " %d", SCENE_LAST_POSITION[k]);
    std::printf(")\nLAST_SHOW_POSITION=%d\nSCENE7_POSITION=%d\nSCENE7_ROW_AFTER=(",
                LAST_SHOW_POSITION, SCENE7_POSITION);
    for (int j = 0; j <= SCENE7_PICTURES; j++)
        std::printf(j == 0 ? "%d" : " %d", SCENE7_ROW_AFTER[j]);
    std::printf(")\nSCENE_NAMES=(");
    // The names hold only letters, spaces and hyphens: double quotes keep them whole.
    for (int k = 0; k < SCENE_COUNT; k++)
        std::printf(k == 0 ? "\"%s\"" : " \"%s\"", SCENE_NAMES[k]);
    std::printf(")\n");
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
