// Puts the machine's spooler service into the state a test needs and restores it afterwards.
#pragma once
#include <windows.h>

struct SpoolerSwitch {
  SC_HANDLE Manager = nullptr;
  SC_HANDLE Service = nullptr;
  DWORD OriginalStartType = SERVICE_DEMAND_START;
  bool WasRunning = false;
  bool Disabled = false;

  SpoolerSwitch();
  // Restores the start type; starts the spooler again if it ran before.
  ~SpoolerSwitch();
  SpoolerSwitch(const SpoolerSwitch&) = delete;
  SpoolerSwitch& operator=(const SpoolerSwitch&) = delete;

  DWORD State();
  // Stops the service and waits (at most 20 s) until it has stopped.
  bool Stop();
  // Makes every start request fail until the switch is released.
  bool Disable();
};
