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

// Waits for an overlapped operation on pipe; cancels it after timeoutMs (ERROR_TIMEOUT). Only this
// operation is cancelled, whichever thread started it: the spooler may call WritePort and
// ClosePort on different threads.
bool FinishOverlapped(HANDLE pipe, OVERLAPPED* overlapped, BOOL started, DWORD timeoutMs, DWORD* bytes) {
  if (started) return GetOverlappedResult(pipe, overlapped, bytes, TRUE) != FALSE;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(overlapped->hEvent, timeoutMs) != WAIT_OBJECT_0) {
    CancelIoEx(pipe, overlapped);
    GetOverlappedResult(pipe, overlapped, bytes, TRUE);
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  return GetOverlappedResult(pipe, overlapped, bytes, FALSE) != FALSE;
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
bool ReadJobPipeMessage(HANDLE pipe, DWORD timeoutMs, uint32_t tag, JobPipeMessage* message) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return false;
  DWORD read = 0;
  BOOL started = ReadFile(pipe, message, sizeof(*message), nullptr, &overlapped);
  bool ok = FinishOverlapped(pipe, &overlapped, started, timeoutMs, &read);
  DWORD error = GetLastError();
  CloseHandle(overlapped.hEvent);
  if (ok && (read != sizeof(*message) || message->Tag != tag)) {
    ok = false;
    error = ERROR_INVALID_DATA;
  }
  SetLastError(error);
  return ok;
}

// The dispatcher writes its Features right after the Hello and before it opens the data pipe, so
// once the data pipe is connected they are either in the job pipe already or never come.
void TakeFeatures(JobPipeWriter* writer) {
  DWORD available = 0;
  if (!PeekNamedPipe(writer->JobPipe, nullptr, 0, nullptr, &available, nullptr) || available < sizeof(JobPipeMessage)) return;
  JobPipeMessage features = {};
  if (ReadJobPipeMessage(writer->JobPipe, 1000, QUILL_FEATURES_TAG, &features))
    writer->ResultsOffered = (features.Value & QUILL_FEATURE_JOB_RESULTS) != 0;
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

bool OpenJobPipeAt(JobPipeWriter* writer, const char* name, PSID server, DWORD timeoutMs) {
  ZeroMemory(writer, sizeof(*writer));
  writer->WriteTimeoutMs = DefaultWriteTimeoutMs;
  if (strlen(name) >= sizeof(writer->PipeName) - 12) return SetLastError(ERROR_INVALID_NAME), false;
  strcpy(writer->PipeName, name);
  DWORD start = GetTickCount();
  for (;;) {
    // Identification only: whoever serves an instance of the pipe can't act as our user (on
    // Windows the spooler's LocalSystem), whether or not it is a dispatcher.
    HANDLE pipe = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      writer->JobPipe = pipe;
      break;
    }
    DWORD error = GetLastError();
    DWORD left = Remaining(start, timeoutMs);
    if (left == 0) return SetLastError(error), false;
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
  if (server && !PipePeerIs(writer->JobPipe, true, server)) {
    CloseJobPipe(writer, GetLastError());
    return false;
  }
  JobPipeMessage hello = {};
  // A dispatcher that accepted the connection writes the Hello at once; one that hangs must not
  // hold the writer longer than it asked for.
  if (!ReadJobPipeMessage(writer->JobPipe, Remaining(start, timeoutMs), QUILL_HELLO_TAG, &hello)) {
    CloseJobPipe(writer, GetLastError());
    return false;
  }
  writer->ConnectionNumber = hello.Value;
  return true;
}

bool SetDataPipeReader(JobPipeWriter* writer, PSID user) {
  if (!user || !IsValidSid(user) || !CopySid(sizeof(writer->Reader), writer->Reader, user)) return SetLastError(ERROR_INVALID_SID), false;
  writer->ReaderSet = true;
  return true;
}

bool CreateDataPipe(JobPipeWriter* writer, DWORD timeoutMs) {
  char name[QUILL_PIPE_NAME_CHARS];
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
    connected = (!started && GetLastError() == ERROR_PIPE_CONNECTED) || FinishOverlapped(pipe, &overlapped, started, timeoutMs, &unused);
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
  if (!ReadJobPipeMessage(writer->JobPipe, timeoutMs, QUILL_JOB_RESULT_TAG, &message)) return false;
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
  DWORD size = writer->PendingSize, written = 0;
  writer->PendingSize = 0;
  // FALSE: the write was started and is pending (or done); FinishOverlapped then waits for it.
  SetLastError(ERROR_IO_PENDING);
  bool ok = FinishOverlapped(writer->DataPipe, &writer->Pending, FALSE, writer->WriteTimeoutMs, &written);
  if (ok && written != size) return SetLastError(ERROR_WRITE_FAULT), false;
  return ok;
}

bool BeginRawMessage(JobPipeWriter* writer, const void* data, DWORD size) {
  if (!writer->DataPipe) return SetLastError(ERROR_INVALID_HANDLE), false;
  if (!FinishRawMessage(writer) || !EnsureWriteEvent(writer)) return false;
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
