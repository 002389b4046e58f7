// One job connection's record and the process-wide state the threads share.
#pragma once

#include <windows.h>

#define SPOOL_PATH_UNITS 512

// One per accepted connection, a zero-filled LocalAlloc block. The listener creates it, the
// connection thread uses it, and after UM_CONNECTION_CLOSED the window thread releases and
// frees it.
struct JobSession {
  HANDLE ListenPipe;       // server end of the job-pipe instance the client connected to
  HANDLE DataPipe;         // our end of the data pipe; null until opened
  HANDLE Thread;           // the connection thread
  HANDLE SpoolFile;        // open spool file, null when none
  BYTE* Payload;           // payload buffer (LocalAlloc, zero-filled), null until needed
  DWORD PayloadCapacity;   // size of Payload in bytes
  WCHAR SpoolPath[SPOOL_PATH_UNITS];  // the spool file this connection created; empty: nothing to delete
  // The job of the file in SpoolPath was ended by JobDone or a short JobDoneOpen: the file is
  // deleted at the latest when the connection ends, also if a new OpenSpool replaces SpoolPath.
  BOOL SpoolEnded;
  const char* PipeName;    // the job pipe the client came through; its data pipe is named after it
  ULONG ClientProcessId;   // the process that connected to the job pipe: only its data pipe is read
  // The data pipe's server runs as LocalSystem (the spooler) or as our own user: only then are its
  // records acted on. Anyone else may only ask us to stop listening (the take-over).
  BOOL TrustedServer;
  BOOL WantsResults;       // the writer asked for a JobResult per job
  DWORD SpoolError;        // why the current job's file is not being stored whole; 0 while it is
  BOOL LastJobFailed;      // the last job ended unstored: its failure balloon is not replaced
};

// 1 while the listener is to keep accepting. Written on the window thread, read by the listener.
extern volatile LONG Listening;
// Connections accepted by this process; the next connection's number is one more.
extern volatile LONG ConnectionCounter;
// Connections that have a thread now (bounded: see AdmitsConnection).
extern volatile LONG LiveConnections;
// Jobs finished since the last balloon.
extern volatile LONG JobsPrinted;
// Target of the worker threads' posts.
extern HWND MainWindow;
