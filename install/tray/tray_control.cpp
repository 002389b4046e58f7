#include "tray_control.h"

// The tray program is not touched yet.
void RemoveTray() {}
