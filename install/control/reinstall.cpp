#include "reinstall.h"

// Nothing is removed or installed yet.
void ReInstall(InstallContext&) {}
