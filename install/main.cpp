#include <windows.h>

#include "control/command_line.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return RunCommandLine(instance); }
