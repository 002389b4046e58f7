// A DLL without InitializePrintMonitor2: AddMonitorW must refuse it.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI NotAMonitor() { return 0; }
