// install.exe (the one beside the test) run as a process, the way calling programs run it.
#pragma once
#include <windows.h>

#include <string>

// Runs install.exe with the arguments and returns its exit code, pumping the calling thread's
// messages meanwhile (a window of the test may be what install.exe talks to). 0xFFFFFFFF, and
// the process ended, when it did not end within timeoutMs.
DWORD RunInstallProcess(const std::wstring& arguments, DWORD timeoutMs = 120000);
