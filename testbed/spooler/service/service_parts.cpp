#include "service_parts.h"

void StartSpoolerParts(SpoolerState& state) { (void)state; }
void StopSpoolerParts(SpoolerState& state) { (void)state; }
