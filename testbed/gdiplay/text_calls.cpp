// Text records as DrvTextOut (not yet: drawn straight in).
#include "record_player.h"

bool PlayTextRecord(PlayContext&) { return false; }
