// Placeholder precalc phase: tables stay zero until the real one lands.
#include "core/core.h"

void precalc_tables(ShowState*) {}
