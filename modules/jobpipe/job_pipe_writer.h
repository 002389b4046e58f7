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
};

// Opens the job pipe, waiting up to timeoutMs while it is busy or not yet there, and reads the
// Hello; false unless it arrives whole with Tag 1.
bool OpenJobPipe(JobPipeWriter* writer, DWORD timeoutMs);
// Creates the data pipe named after the connection number and waits up to timeoutMs for the
// dispatcher to open it.
bool CreateDataPipe(JobPipeWriter* writer, DWORD timeoutMs);
// Both steps above: a writer ready for records.
bool ConnectJobPipe(JobPipeWriter* writer, DWORD timeoutMs);

bool WriteRecord(JobPipeWriter* writer, WORD type, const void* payload, WORD payloadLength);
// Bytes as they are, one message: for records whose header does not match their payload.
bool WriteRawMessage(JobPipeWriter* writer, const void* data, DWORD size);
bool WriteOpenSpool(JobPipeWriter* writer, WORD nameMode, const WCHAR* title);
bool WriteSpoolData(JobPipeWriter* writer, const void* data, DWORD size);  // split into records of at most 65535 bytes
bool WriteJobDoneOpen(JobPipeWriter* writer, WORD launchFlags);

// Ends the connection. With waitForReader, first waits until the dispatcher has read every
// record; without it the connection simply breaks.
void CloseJobPipeWriter(JobPipeWriter* writer, bool waitForReader);
