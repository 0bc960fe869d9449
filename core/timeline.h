// The show's timeline: the scenes by name, the song positions each scene and each of its
// changes is shown at, and the pattern rows Scene 7's pictures follow. Every program and script
// that needs them derives them from here (scripts through the build's timeline.sh).
#pragma once

#include <cstdint>

constexpr int SCENE_COUNT = 8;

// What each scene is called wherever a person reads about it: window titles, the checker's
// plan, the credits, the contact sheet. Lower case, so that they read inside a sentence.
constexpr const char* SCENE_NAMES[SCENE_COUNT] = {
    "masked twin scroll", "polar flash",     "twin-light bump map", "cycling-overlay scroll",
    "wobble tunnel",      "orbiting panels", "picture sequence",    "closing scroller",
};

// The last song position of each scene, Scenes 1 to 8: a scene's block hands over to the next
// once sngpos is greater than its entry. Scene k + 1 starts at the position after Scene k's last.
constexpr std::int16_t SCENE_LAST_POSITION[SCENE_COUNT] = {6, 9, 11, 13, 17, 20, 21, 29};

// The show ends on the first pass whose song position is beyond this one.
constexpr std::int16_t LAST_SHOW_POSITION = SCENE_LAST_POSITION[SCENE_COUNT - 1];

// The song positions a module needs for the whole show: 0 to LAST_SHOW_POSITION. A song that
// stops sooner ends the show with it; one more position ends the show by the timeline instead.
constexpr int SHOW_POSITIONS = LAST_SHOW_POSITION + 1;

// The first song position of scene k (0-based).
static inline constexpr std::int16_t scene_first_position(int k) {
    return k == 0 ? 0 : static_cast<std::int16_t>(SCENE_LAST_POSITION[k - 1] + 1);
}

// The scene (0-based) shown once the song has reached sngpos; SCENE_COUNT past the last position.
static inline constexpr int scene_at_position(std::int16_t sngpos) {
    int k = 0;
    while (k < SCENE_COUNT && sngpos > SCENE_LAST_POSITION[k])
        k++;
    return k;
}

// Scene 1 fades its picture in while the song is at either of the first two positions and out
// while it is at either of the other two; it holds its level at every other position.
constexpr std::int16_t SCENE1_FADE_IN_POSITIONS[2] = {0, 3};
constexpr std::int16_t SCENE1_FADE_OUT_POSITIONS[2] = {2, 4};

// Scene 1 shows its second mask from this song position on.
constexpr std::int16_t SCENE1_LATE_MASK_POSITION = 3;

// Scene 2 lays one overlay over its picture at each of these song positions, and its white
// flash fades while the song is at any of them; the flash fires again as the song reaches the
// second and the third.
constexpr int SCENE2_OVERLAY_COUNT = 3;
constexpr std::int16_t SCENE2_OVERLAY_POSITIONS[SCENE2_OVERLAY_COUNT] = {7, 8, 9};

// Scene 3 lays its overlay over the bump map at this one song position.
constexpr std::int16_t SCENE3_OVERLAY_POSITION = 11;

// Scene 7 is shown at this one position.
constexpr std::int16_t SCENE7_POSITION = SCENE_LAST_POSITION[6];

// Scene 7's pictures follow its pattern row: picture j (0-based) appears once patpos is greater
// than SCENE7_ROW_AFTER[j], and once patpos is greater than the last entry nothing more is drawn.
// The module's word changes fall on the rows one after each entry.
constexpr int SCENE7_PICTURES = 11;
constexpr std::uint16_t SCENE7_ROW_AFTER[SCENE7_PICTURES + 1] = {5,  12, 15, 20, 25, 30,
                                                                 35, 40, 45, 50, 55, 60};

static_assert(SCENE1_FADE_OUT_POSITIONS[1] <= SCENE_LAST_POSITION[0] &&
                  SCENE1_LATE_MASK_POSITION <= SCENE_LAST_POSITION[0],
              "Scene 1's changes fall within its positions");
static_assert(SCENE2_OVERLAY_POSITIONS[0] >= SCENE_LAST_POSITION[0] + 1 &&
                  SCENE2_OVERLAY_POSITIONS[SCENE2_OVERLAY_COUNT - 1] <= SCENE_LAST_POSITION[1],
              "Scene 2's overlays fall within its positions");
static_assert(SCENE3_OVERLAY_POSITION > SCENE_LAST_POSITION[1] &&
                  SCENE3_OVERLAY_POSITION <= SCENE_LAST_POSITION[2],
              "Scene 3's overlay falls within its positions");
