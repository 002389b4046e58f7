// The job pipe's server side: the listener thread, the take-over and the connection threads.
#pragma once

#include <windows.h>

#include "quilltray/job_session.h"

// The two ends a dispatcher holds while it plays the client to take the pipe over.
struct TakeOverConnection {
  HANDLE JobPipe;   // client end of the job pipe
  HANDLE DataPipe;  // server end of our data pipe
};

// Sets Listening and starts ListenLoop; the thread handle, or null.
HANDLE StartListener(HWND window);
// Starts serving the job pipe of this logon session for the life of the process; the thread
// handle, or null.
HANDLE StartSessionListener();
// Ends the listener's wait for clients so that it ends; true when the request was signalled.
bool StopListener();
DWORD WINAPI ListenLoop(LPVOID window);
bool TakeOverListening(TakeOverConnection* connection);
DWORD WINAPI ConnectionThread(LPVOID session);
void ServeConnection(JobSession* session);
void ReleaseJobSession(JobSession* session);
