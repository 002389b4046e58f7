// The parts of the service's state with a lifetime: what it loads at start and lets go at stop.
#pragma once
#include "spooler_state.h"

// Loads every registered port monitor (LoadLibrary, InitializePrintMonitor2) and starts the
// despooler.
void StartSpoolerParts(SpoolerState& state);
// Stops the despooler, drops unfinished jobs, closes the driver cache and unloads the monitors: a stopped spooler
// holds nothing.
void StopSpoolerParts(SpoolerState& state);
