// The client side of the job pipe: what a port monitor (or any other writer) does to hand a job
// to the dispatcher. Open the job pipe and read its Hello, create the connection's data pipe and
// wait for the dispatcher to open it, write records, close.
#pragma once

#include <windows.h>

#include "shared/pipe_protocol.h"

struct JobPipeWriter {
  HANDLE JobPipe;           // client end of the job pipe, held until the connection is closed
  HANDLE DataPipe;          // server end of the data pipe
  DWORD ConnectionNumber;   // from the Hello
  char PipeName[QUILL_PIPE_NAME_CHARS];  // the job pipe connected to; the data pipe is named after it
  BYTE Reader[SECURITY_MAX_SID_SIZE];    // the only user who may open the data pipe
  bool ReaderSet;           // false: the user this process runs as
  bool ResultsOffered;      // the dispatcher's Features offer a JobResult per job
  bool ResultsWanted;       // WantResults was sent
  bool FeaturesRead;        // the dispatcher's Features were taken
  bool KeyedDataPipe;       // the dispatcher sent a DataPipeKey: the data pipe is named after it
  DWORD DataPipeKey;
  // Set by another thread to break off every wait of this writer at once (ERROR_OPERATION_ABORTED);
  // null: none. Not owned by the writer, and kept when a job pipe is opened.
  HANDLE Cancel;
  BYTE* Buffer;             // one record, header and payload, written as one message
  DWORD WriteTimeoutMs;     // bound for one record's write
  HANDLE WriteEvent;        // signals the end of each overlapped write
  OVERLAPPED Pending;       // the write that BeginRawMessage started, while PendingSize > 0
  DWORD PendingSize;
};

// Every failure below leaves a Windows error as the last error.

// Opens the documented job pipe, waiting up to timeoutMs while it is busy or not yet there, and
// reads the Hello (within the same time); false unless it arrives whole with Tag 1. A connection
// that the dispatcher closes before its Hello (it has no room now) is tried again within the same
// time. Then takes the Features (with the data pipe's key) that a dispatcher of this version
// writes right after the Hello, waiting at most a second for them; one of the documented format
// sends none.
bool OpenJobPipe(JobPipeWriter* writer, DWORD timeoutMs);
// The same for the job pipe `name`. With `server` the process serving the pipe must run as that
// user (ERROR_ACCESS_DENIED otherwise), checked before anything is read from it, and a pipe that
// does not exist fails at once (ERROR_FILE_NOT_FOUND) instead of being waited for. The pipe is
// opened for identification only, so its server can't act as this process's user.
bool OpenJobPipeAt(JobPipeWriter* writer, const char* name, PSID server, DWORD timeoutMs);
// The user who alone may read the data pipe (by default the user this process runs as). Call
// between opening the job pipe and CreateDataPipe.
bool SetDataPipeReader(JobPipeWriter* writer, PSID user);
// Creates the data pipe named after the job pipe and the connection number (and the dispatcher's
// key, when it sent one) and waits up to
// timeoutMs for the dispatcher to open it. The pipe carries the user's document: it refuses
// remote clients, admits only the reader and SYSTEM (DataPipeSecurity), must be the first
// instance of its name, so that nobody who made it before us reads the job, and the process that
// opened it must run as the reader before anything is written (ERROR_ACCESS_DENIED otherwise).
// Then takes the dispatcher's Features if it sent them.
bool CreateDataPipe(JobPipeWriter* writer, DWORD timeoutMs);
// OpenJobPipe and CreateDataPipe within timeoutMs in all: a writer ready for records.
bool ConnectJobPipe(JobPipeWriter* writer, DWORD timeoutMs);
// The data pipe's security descriptor in SDDL, for the reader's SID string: no access for network
// logons, read access for the reader (the dispatcher only reads), full access for SYSTEM.
#define QUILL_DATA_PIPE_SDDL_FORMAT L"D:P(D;;GA;;;NU)(A;;GR;;;%s)(A;;GA;;;SY)"
// That descriptor for `reader` in `attributes`; the caller frees lpSecurityDescriptor with LocalFree.
bool DataPipeSecurity(PSID reader, SECURITY_ATTRIBUTES* attributes);

// Asks the dispatcher for a JobResult per job, when its Features offer them; true when asked.
// A dispatcher of the documented format is written to as ever.
bool RequestJobResults(JobPipeWriter* writer);
// Waits up to timeoutMs for the JobResult of the job just ended: true with *result 0 (stored and
// handed off) or the dispatcher's error; false when none came (the pipe broke, or the time ran out).
bool WaitForJobResult(JobPipeWriter* writer, DWORD timeoutMs, DWORD* result);

bool WriteRecord(JobPipeWriter* writer, WORD type, const void* payload, WORD payloadLength);
// Bytes as they are, one message: for records whose header does not match their payload.
// Waits for a write begun before and then for this one, each for at most WriteTimeoutMs.
bool WriteRawMessage(JobPipeWriter* writer, const void* data, DWORD size);
// Starts writing one message and returns without waiting for it, so that the caller can fill
// its next buffer meanwhile; `data` must stay untouched until the next call of the writer.
// First waits (at most WriteTimeoutMs) for the write begun before.
bool BeginRawMessage(JobPipeWriter* writer, const void* data, DWORD size);
// Waits (at most WriteTimeoutMs) for the write BeginRawMessage started; true when there was none.
bool FinishRawMessage(JobPipeWriter* writer);
bool WriteOpenSpool(JobPipeWriter* writer, WORD nameMode, const WCHAR* title);
bool WriteSpoolData(JobPipeWriter* writer, const void* data, DWORD size);  // split into records of at most 65535 bytes
bool WriteJobDoneOpen(JobPipeWriter* writer, WORD launchFlags);

// Ends the connection. With waitForReader, first waits until the dispatcher has read every
// record; without it the connection simply breaks.
void CloseJobPipeWriter(JobPipeWriter* writer, bool waitForReader);
