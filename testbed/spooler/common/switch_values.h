// The DWORD values of the test bed's switch key (fault counts, driver cache, job outcomes), shared
// by the service that takes them and the control library that sets them.
#pragma once
#include <windows.h>

// Reads the DWORD value `name` of the switch key; `fallback` when it is missing or not a DWORD.
DWORD ReadSwitch(const wchar_t* name, DWORD fallback);
// Writes it, creating the key; false with the registry's error as the last error.
bool WriteSwitch(const wchar_t* name, DWORD value);
