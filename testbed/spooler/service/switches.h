// The test bed's switches (fault counts, driver cache) as the service reads them.
#pragma once
#include <windows.h>

#include "../common/switch_values.h"

// When the count `name` is above 0, lowers it by one and returns the error to fail with:
// the value "<name>Error" when it is set, else `defaultError`. Returns 0 when no fault is due.
DWORD TakeFault(const wchar_t* name, DWORD defaultError);
// The error a fault of this name produces when the test gives none: what the real spooler
// returns when the same call fails now and then.
DWORD DefaultFaultError(const wchar_t* name);
