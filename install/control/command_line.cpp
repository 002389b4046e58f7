#include "command_line.h"

// No mode is wired up yet: every command line is answered like an unrecognised word.
int RunCommandLine(HINSTANCE) { return 6; }
