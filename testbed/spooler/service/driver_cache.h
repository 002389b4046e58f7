// The service's driver cache: a driver's files stay loaded from the first time a printer of the
// driver is created or opened until the service stops, as in the real spooler.
#pragma once
#include <string>

#include "spooler_state.h"

DWORD UseDriver(SpoolerState& state, const std::wstring& environment, const std::wstring& name);
DWORD DeleteDriver(SpoolerState& state, const std::wstring& environment, const std::wstring& name, DWORD flags);
void ReleaseDriverCache(SpoolerState& state);
