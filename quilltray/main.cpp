#include <windows.h>

#include "dispatcher.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunDispatcher(); }
