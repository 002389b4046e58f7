// The client end of the request pipe, shared by the stand-in's winspool.drv and the control
// library.
#pragma once
#include "spooler_pipe.h"

// Sends one request and waits for the reply (bounded: busy pipes are retried for at most about
// 60 seconds, the time a despooled job may take). Returns 0 when a reply arrived (its own Error
// is then in `reply`), else the error of the transport: RPC_S_SERVER_UNAVAILABLE when the service
// does not run, ERROR_TIMEOUT when it stays busy.
DWORD CallSpooler(const SpoolerRequest& request, SpoolerReply& reply);
