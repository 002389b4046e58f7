// The service's end of the request pipe: one instance, requests handled one after another.
#pragma once
#include <windows.h>

#include "../common/spooler_pipe.h"
#include "spooler_state.h"

// Answers one request. Defined with the request handlers.
void HandleRequest(SpoolerState& state, const SpoolerRequest& request, SpoolerReply& reply);

// Asks the service to stop once the current request is answered. Defined by the service's main.
void RequestServiceStop();

// Serves the pipe until `stopEvent` is set. False when the pipe could not be created.
bool ServeRequests(SpoolerState& state, DWORD generation, HANDLE stopEvent);
