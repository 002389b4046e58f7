#include "dispatcher.h"

// Nothing to serve yet.
int RunDispatcher() { return 0; }
