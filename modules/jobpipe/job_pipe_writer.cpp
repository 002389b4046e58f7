#include "modules/jobpipe/job_pipe_writer.h"

#include <sddl.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "shared/pipe_peer.h"

namespace {

const DWORD DefaultWriteTimeoutMs = 30000;
const DWORD RecordBufferSize = sizeof(RecordHeader) + QUILL_MAX_PAYLOAD;
// Room for several records in the pipe, so that the writer runs ahead of the dispatcher instead
// of waiting for each of its reads.
const DWORD DataPipeBufferSize = 256 * 1024;

// How long a writer waits after the Hello for the Features of a dispatcher of this version, which
// writes them at once; a dispatcher of the documented format sends none.
const DWORD FeaturesWaitMs = 1000;

// Waits for an overlapped operation on pipe; cancels it after timeoutMs (ERROR_TIMEOUT), or as soon
// as `cancel` is set (ERROR_OPERATION_ABORTED). Only this operation is cancelled, whichever thread
// started it: the spooler may call WritePort and ClosePort on different threads. Returns only once
// the operation is over, so that its OVERLAPPED and buffer are free again.
bool FinishOverlapped(HANDLE pipe, OVERLAPPED* overlapped, BOOL started, DWORD timeoutMs, HANDLE cancel, DWORD* bytes) {
  if (started) return GetOverlappedResult(pipe, overlapped, bytes, TRUE) != FALSE;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  HANDLE events[2] = {overlapped->hEvent, cancel};
  DWORD waited = WaitForMultipleObjects(cancel ? 2 : 1, events, FALSE, timeoutMs);
  if (waited != WAIT_OBJECT_0) {
    CancelIoEx(pipe, overlapped);
    GetOverlappedResult(pipe, overlapped, bytes, TRUE);
    SetLastError(waited == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT);
    return false;
  }
  return GetOverlappedResult(pipe, overlapped, bytes, FALSE) != FALSE;
}

bool Cancelled(const JobPipeWriter* writer) {
  return writer->Cancel && WaitForSingleObject(writer->Cancel, 0) == WAIT_OBJECT_0;
}

DWORD Remaining(DWORD start, DWORD timeoutMs) {
  DWORD elapsed = GetTickCount() - start;
  return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
}

bool EnsureWriteEvent(JobPipeWriter* writer) {
  if (!writer->WriteEvent) writer->WriteEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return writer->WriteEvent != nullptr;
}

// Reads one 8-byte message with the given tag from the job pipe (opened for overlapped I/O),
// within timeoutMs; the Hello and the extension's messages share that layout.
bool ReadJobPipeMessage(HANDLE pipe, DWORD timeoutMs, HANDLE cancel, uint32_t tag, JobPipeMessage* message) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return false;
  DWORD read = 0;
  BOOL started = ReadFile(pipe, message, sizeof(*message), nullptr, &overlapped);
  bool ok = FinishOverlapped(pipe, &overlapped, started, timeoutMs, cancel, &read);
  DWORD error = GetLastError();
  CloseHandle(overlapped.hEvent);
  if (ok && (read != sizeof(*message) || message->Tag != tag)) {
    ok = false;
    error = ERROR_INVALID_DATA;
  }
  SetLastError(error);
  return ok;
}

// Takes the dispatcher's Features, and the data pipe key they carry, within timeoutMs.
void ReadFeatures(JobPipeWriter* writer, DWORD timeoutMs) {
  JobPipeMessage features = {};
  if (!ReadJobPipeMessage(writer->JobPipe, timeoutMs, writer->Cancel, QUILL_FEATURES_TAG, &features)) return;
  writer->FeaturesRead = true;
  writer->ResultsOffered = (features.Value & QUILL_FEATURE_JOB_RESULTS) != 0;
  writer->KeyedDataPipe = (features.Value & QUILL_FEATURE_KEYED_DATA_PIPE) != 0;
  writer->DataPipeKey = (features.Value >> QUILL_DATA_PIPE_KEY_SHIFT) & QUILL_DATA_PIPE_KEY_MASK;
}

// Features that came later than the writer waited for them are in the job pipe by the time the
// dispatcher has opened the data pipe (by its documented name: the dispatcher tries that one
// too), or never come.
void TakeFeatures(JobPipeWriter* writer) {
  DWORD available = 0;
  if (writer->FeaturesRead) return;
  if (!PeekNamedPipe(writer->JobPipe, nullptr, 0, nullptr, &available, nullptr) || available < sizeof(JobPipeMessage)) return;
  ReadFeatures(writer, 1000);
}

void CloseJobPipe(JobPipeWriter* writer, DWORD error) {
  CloseHandle(writer->JobPipe);
  writer->JobPipe = nullptr;
  SetLastError(error);
}

}  // namespace

bool DataPipeSecurity(PSID reader, SECURITY_ATTRIBUTES* attributes) {
  LPWSTR readerText = nullptr;
  if (!ConvertSidToStringSidW(reader, &readerText)) return false;
  WCHAR sddl[256];
  _snwprintf(sddl, 256, QUILL_DATA_PIPE_SDDL_FORMAT, readerText);
  sddl[255] = L'\0';
  LocalFree(readerText);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  attributes->nLength = sizeof(*attributes);
  attributes->lpSecurityDescriptor = descriptor;
  attributes->bInheritHandle = FALSE;
  return true;
}


bool OpenJobPipe(JobPipeWriter* writer, DWORD timeoutMs) { return OpenJobPipeAt(writer, QUILL_JOB_PIPE_NAME, nullptr, timeoutMs); }

namespace {

// The dispatcher closed the connection before its Hello: it has no room for another one now.
bool Refused(DWORD error) { return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA; }

// Opens one instance of the pipe within timeoutMs (the caller's time since start).
bool OpenInstance(JobPipeWriter* writer, const char* name, PSID server, DWORD start, DWORD timeoutMs) {
  for (;;) {
    // Identification only: whoever serves an instance of the pipe can't act as our user (on
    // Windows the spooler's LocalSystem), whether or not it is a dispatcher.
    HANDLE pipe = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      writer->JobPipe = pipe;
      return true;
    }
    DWORD error = GetLastError();
    DWORD left = Remaining(start, timeoutMs);
    if (left == 0) return SetLastError(error), false;
    if (Cancelled(writer)) return SetLastError(ERROR_OPERATION_ABORTED), false;
    // A session's pipe exists as long as its dispatcher runs (it makes the next instance before it
    // serves a connected one): missing means there is none, and the caller turns elsewhere.
    if (server && error == ERROR_FILE_NOT_FOUND) return SetLastError(error), false;
    if (error == ERROR_PIPE_BUSY) {
      WaitNamedPipeA(name, left < 1000 ? left : 1000);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      Sleep(20);  // the dispatcher is between two instances, or not started yet
    } else {
      return SetLastError(error), false;
    }
  }
}

}  // namespace

bool OpenJobPipeAt(JobPipeWriter* writer, const char* name, PSID server, DWORD timeoutMs) {
  HANDLE cancel = writer->Cancel;
  ZeroMemory(writer, sizeof(*writer));
  writer->Cancel = cancel;
  writer->WriteTimeoutMs = DefaultWriteTimeoutMs;
  if (strlen(name) >= sizeof(writer->PipeName) - 24) return SetLastError(ERROR_INVALID_NAME), false;
  strcpy(writer->PipeName, name);
  DWORD start = GetTickCount();
  for (;;) {
    if (!OpenInstance(writer, name, server, start, timeoutMs)) return false;
    if (server && !PipePeerIs(writer->JobPipe, true, server)) {
      CloseJobPipe(writer, GetLastError());
      return false;
    }
    JobPipeMessage hello = {};
    // A dispatcher that accepted the connection writes the Hello at once; one that hangs must not
    // hold the writer longer than it asked for.
    if (ReadJobPipeMessage(writer->JobPipe, Remaining(start, timeoutMs), writer->Cancel, QUILL_HELLO_TAG, &hello)) {
      writer->ConnectionNumber = hello.Value;
      break;
    }
    DWORD error = GetLastError();
    CloseJobPipe(writer, error);
    // A dispatcher that has no room for us now closes at once: we ask again while time is left.
    if (!Refused(error) || Remaining(start, timeoutMs) == 0 || Cancelled(writer)) return false;
    Sleep(50);
  }
  DWORD left = Remaining(start, timeoutMs);
  ReadFeatures(writer, left < FeaturesWaitMs ? left : FeaturesWaitMs);
  return true;
}

bool SetDataPipeReader(JobPipeWriter* writer, PSID user) {
  if (!user || !IsValidSid(user) || !CopySid(sizeof(writer->Reader), writer->Reader, user)) return SetLastError(ERROR_INVALID_SID), false;
  writer->ReaderSet = true;
  return true;
}

bool CreateDataPipe(JobPipeWriter* writer, DWORD timeoutMs) {
  char name[QUILL_PIPE_NAME_CHARS];
  if (writer->KeyedDataPipe)
    _snprintf(name, sizeof(name), QUILL_KEYED_DATA_PIPE_FORMAT, writer->PipeName, static_cast<int>(writer->ConnectionNumber),
              static_cast<unsigned long>(writer->DataPipeKey));
  else
    _snprintf(name, sizeof(name), QUILL_DATA_PIPE_FORMAT, writer->PipeName, static_cast<int>(writer->ConnectionNumber));
  name[sizeof(name) - 1] = '\0';
  if (!writer->ReaderSet) {
    if (!ProcessUserSid(writer->Reader)) return false;
    writer->ReaderSet = true;
  }
  SECURITY_ATTRIBUTES security = {};
  if (!DataPipeSecurity(writer->Reader, &security)) return false;
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 DataPipeBufferSize, DataPipeBufferSize, 0, &security);
  DWORD error = GetLastError();
  LocalFree(security.lpSecurityDescriptor);
  if (pipe == INVALID_HANDLE_VALUE) return SetLastError(error), false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool connected = false;
  error = GetLastError();
  if (overlapped.hEvent) {
    DWORD unused = 0;
    BOOL started = ConnectNamedPipe(pipe, &overlapped);
    connected = (!started && GetLastError() == ERROR_PIPE_CONNECTED) ||
                FinishOverlapped(pipe, &overlapped, started, timeoutMs, writer->Cancel, &unused);
    error = GetLastError();
    CloseHandle(overlapped.hEvent);
  }
  // Nothing of the job reaches a process that is not the reader's, whatever let it open the pipe.
  if (connected && !PipePeerIs(pipe, false, writer->Reader)) {
    connected = false;
    error = GetLastError();
  }
  if (!connected) {
    CloseHandle(pipe);
    return SetLastError(error), false;
  }
  writer->DataPipe = pipe;
  TakeFeatures(writer);
  return true;
}

bool RequestJobResults(JobPipeWriter* writer) {
  if (writer->ResultsOffered && !writer->ResultsWanted) writer->ResultsWanted = WriteRecord(writer, RECORD_WANT_RESULTS, nullptr, 0);
  return writer->ResultsWanted;
}

bool WaitForJobResult(JobPipeWriter* writer, DWORD timeoutMs, DWORD* result) {
  if (!writer->ResultsWanted || !writer->JobPipe) return SetLastError(ERROR_INVALID_FUNCTION), false;
  JobPipeMessage message = {};
  if (!ReadJobPipeMessage(writer->JobPipe, timeoutMs, writer->Cancel, QUILL_JOB_RESULT_TAG, &message)) return false;
  *result = message.Value;
  return true;
}

bool ConnectJobPipe(JobPipeWriter* writer, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  if (!OpenJobPipe(writer, timeoutMs)) return false;
  if (CreateDataPipe(writer, Remaining(start, timeoutMs))) return true;
  DWORD error = GetLastError();
  CloseJobPipeWriter(writer, false);
  SetLastError(error);
  return false;
}

bool FinishRawMessage(JobPipeWriter* writer) {
  if (!writer->PendingSize) return true;
  DWORD written = 0;
  // FALSE: the write was started and is pending (or done); FinishOverlapped then waits for it.
  SetLastError(ERROR_IO_PENDING);
  bool ok = FinishOverlapped(writer->DataPipe, &writer->Pending, FALSE, writer->WriteTimeoutMs, writer->Cancel, &written);
  DWORD error = GetLastError();
  // Only now is the write over: until here its OVERLAPPED and buffer were in use, and a close on
  // another thread had to see it pending.
  DWORD size = writer->PendingSize;
  writer->PendingSize = 0;
  if (ok && written != size) return SetLastError(ERROR_WRITE_FAULT), false;
  SetLastError(error);
  return ok;
}

bool BeginRawMessage(JobPipeWriter* writer, const void* data, DWORD size) {
  if (!writer->DataPipe) return SetLastError(ERROR_INVALID_HANDLE), false;
  if (!FinishRawMessage(writer) || !EnsureWriteEvent(writer)) return false;
  if (Cancelled(writer)) return SetLastError(ERROR_OPERATION_ABORTED), false;
  ZeroMemory(&writer->Pending, sizeof(writer->Pending));
  writer->Pending.hEvent = writer->WriteEvent;
  ResetEvent(writer->WriteEvent);
  if (!WriteFile(writer->DataPipe, data, size, nullptr, &writer->Pending) && GetLastError() != ERROR_IO_PENDING)
    return false;
  writer->PendingSize = size;
  return true;
}

bool WriteRawMessage(JobPipeWriter* writer, const void* data, DWORD size) {
  return BeginRawMessage(writer, data, size) && FinishRawMessage(writer);
}

bool WriteRecord(JobPipeWriter* writer, WORD type, const void* payload, WORD payloadLength) {
  if (!writer->Buffer) {
    writer->Buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, RecordBufferSize));
    if (!writer->Buffer) return false;
  }
  RecordHeader header = {type, payloadLength};
  memcpy(writer->Buffer, &header, sizeof(header));
  if (payloadLength) memcpy(writer->Buffer + sizeof(header), payload, payloadLength);
  return WriteRawMessage(writer, writer->Buffer, sizeof(header) + payloadLength);
}

bool WriteOpenSpool(JobPipeWriter* writer, WORD nameMode, const WCHAR* title) {
  // The payload holds the mode and as much of the title as fits one record.
  const size_t maxTitleUnits = (QUILL_MAX_PAYLOAD - 2) / sizeof(WCHAR);
  size_t titleUnits = title ? wcslen(title) : 0;
  if (titleUnits > maxTitleUnits) titleUnits = maxTitleUnits;
  BYTE* payload = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 2 + titleUnits * sizeof(WCHAR)));
  if (!payload) return false;
  payload[0] = static_cast<BYTE>(nameMode & 0xFF);
  payload[1] = static_cast<BYTE>(nameMode >> 8);
  if (titleUnits) memcpy(payload + 2, title, titleUnits * sizeof(WCHAR));
  bool ok = WriteRecord(writer, RECORD_OPEN_SPOOL, payload, static_cast<WORD>(2 + titleUnits * sizeof(WCHAR)));
  LocalFree(payload);
  return ok;
}

bool WriteSpoolData(JobPipeWriter* writer, const void* data, DWORD size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    WORD chunk = static_cast<WORD>(size > QUILL_MAX_PAYLOAD ? QUILL_MAX_PAYLOAD : size);
    if (!WriteRecord(writer, RECORD_SPOOL_DATA, bytes, chunk)) return false;
    bytes += chunk;
    size -= chunk;
  }
  return true;
}

bool WriteJobDoneOpen(JobPipeWriter* writer, WORD launchFlags) {
  BYTE payload[2] = {static_cast<BYTE>(launchFlags & 0xFF), static_cast<BYTE>(launchFlags >> 8)};
  return WriteRecord(writer, RECORD_JOB_DONE_OPEN, payload, sizeof(payload));
}

void CloseJobPipeWriter(JobPipeWriter* writer, bool waitForReader) {
  if (writer->PendingSize) {
    // A write still under way would go on into freed memory: finish or cancel it first.
    if (!waitForReader || !FinishRawMessage(writer)) {
      DWORD unused = 0;
      CancelIoEx(writer->DataPipe, &writer->Pending);
      GetOverlappedResult(writer->DataPipe, &writer->Pending, &unused, TRUE);
      writer->PendingSize = 0;
    }
  }
  if (writer->DataPipe) {
    // Returns once the dispatcher has read everything; closing (not disconnecting) keeps what
    // it has not read yet readable.
    if (waitForReader) FlushFileBuffers(writer->DataPipe);
    CloseHandle(writer->DataPipe);
    writer->DataPipe = nullptr;
  }
  if (writer->JobPipe) {
    CloseHandle(writer->JobPipe);
    writer->JobPipe = nullptr;
  }
  if (writer->Buffer) {
    LocalFree(writer->Buffer);
    writer->Buffer = nullptr;
  }
  if (writer->WriteEvent) {
    CloseHandle(writer->WriteEvent);
    writer->WriteEvent = nullptr;
  }
}
