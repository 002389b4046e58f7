// The client side of the job pipe: what a port monitor (or any other writer) does to hand a job
// to the dispatcher. Open the job pipe and read its Hello, create the connection's data pipe and
// wait for the dispatcher to open it, write records, close.
#pragma once

#include <windows.h>

#include "quilltray/pipe_protocol.h"

struct JobPipeWriter {
  HANDLE JobPipe;           // client end of the job pipe, held until the connection is closed
  HANDLE DataPipe;          // server end of the data pipe
  DWORD ConnectionNumber;   // from the Hello
  BYTE* Buffer;             // one record, header and payload, written as one message
  DWORD WriteTimeoutMs;     // bound for one record's write
  HANDLE WriteEvent;        // signals the end of each overlapped write
  OVERLAPPED Pending;       // the write that BeginRawMessage started, while PendingSize > 0
  DWORD PendingSize;
};

// Every failure below leaves a Windows error as the last error.

// Opens the job pipe, waiting up to timeoutMs while it is busy or not yet there, and reads the
// Hello (within the same time); false unless it arrives whole with Tag 1.
bool OpenJobPipe(JobPipeWriter* writer, DWORD timeoutMs);
// Creates the data pipe named after the connection number and waits up to timeoutMs for the
// dispatcher to open it. The pipe carries the user's document: it refuses remote clients and
// admits only local interactive users, SYSTEM and administrators (DataPipeSecurity), and it
// must be the first instance of its name, so that nobody who made it before us reads the job.
bool CreateDataPipe(JobPipeWriter* writer, DWORD timeoutMs);
// Both steps above within timeoutMs in all: a writer ready for records.
bool ConnectJobPipe(JobPipeWriter* writer, DWORD timeoutMs);
// The data pipe's security descriptor in SDDL: no access for network logons, read access for
// interactive users (the dispatcher only reads), full access for SYSTEM and administrators.
#define QUILL_DATA_PIPE_SDDL L"D:P(D;;GA;;;NU)(A;;GR;;;IU)(A;;GA;;;SY)(A;;GA;;;BA)"
// That descriptor in `attributes`; the caller frees lpSecurityDescriptor with LocalFree.
bool DataPipeSecurity(SECURITY_ATTRIBUTES* attributes);

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
