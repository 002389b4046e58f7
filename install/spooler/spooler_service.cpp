#include "spooler_service.h"

// Placeholder until the service control lands: nothing is checked or restarted.
bool CheckSpooler(InstallContext&) { return true; }
bool StartSpoolerAndWait(SC_HANDLE) { return false; }
SpoolerRestart::SpoolerRestart(InstallContext* context) : Context(context), ServiceManager(nullptr), Service(nullptr), Stopped(0) {}
SpoolerRestart::~SpoolerRestart() {}
