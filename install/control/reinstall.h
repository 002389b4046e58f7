// The install sequence: remove what an earlier version left, then install anew.
#pragma once

#include "install_context.h"

void ReInstall(InstallContext& context);
