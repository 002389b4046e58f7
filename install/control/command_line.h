// The installer's top level: reads the command word, runs one mode, returns the exit code.
#pragma once
#include <windows.h>

int RunCommandLine(HINSTANCE instance);
