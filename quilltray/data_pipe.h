// The dispatcher's end of a connection's data pipe: finding the pipe that the connection's own
// writer made, under the name it was told, and reading it within deadlines.
#pragma once

#include <windows.h>

#include "quilltray/pipe_identity.h"

// A fresh random 24-bit key for a connection's data pipe name; nobody can make that name before
// the writer, who learns the key from the job pipe alone.
DWORD NewDataPipeKey();
// Opens the data pipe of connection `number` on `jobPipe`, trying for about 5 seconds (100
// attempts 50 ms apart): the keyed name first, then the documented one (for writers of the
// documented format). A pipe served by any process but the job pipe's client (clientProcessId)
// is someone who made the name first: it is closed and the search goes on. The pipe is opened for
// overlapped reads and for identification only; *standing tells what its server is.
// INVALID_HANDLE_VALUE when none was found.
HANDLE OpenConnectionDataPipe(const char* jobPipe, DWORD number, DWORD key, ULONG clientProcessId, ServerStanding* standing);
// One read of at most size bytes from an overlapped handle, waiting at most limitMs (INFINITE:
// without a limit); false when it failed or the time ran out (then it is cancelled).
bool ReadWithin(HANDLE pipe, HANDLE event, void* buffer, DWORD size, DWORD limitMs, DWORD* read);
