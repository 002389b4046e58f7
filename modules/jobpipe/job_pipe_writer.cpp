#include "modules/jobpipe/job_pipe_writer.h"

#include <stdio.h>
#include <wchar.h>

namespace {

const DWORD DefaultWriteTimeoutMs = 30000;
const DWORD RecordBufferSize = sizeof(RecordHeader) + QUILL_MAX_PAYLOAD;

// Waits for an overlapped operation on pipe; cancels it after timeoutMs.
bool FinishOverlapped(HANDLE pipe, OVERLAPPED* overlapped, BOOL started, DWORD timeoutMs, DWORD* bytes) {
  if (started) return GetOverlappedResult(pipe, overlapped, bytes, TRUE) != FALSE;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(overlapped->hEvent, timeoutMs) != WAIT_OBJECT_0) {
    CancelIo(pipe);
    GetOverlappedResult(pipe, overlapped, bytes, TRUE);
    return false;
  }
  return GetOverlappedResult(pipe, overlapped, bytes, FALSE) != FALSE;
}

}  // namespace

bool OpenJobPipe(JobPipeWriter* writer, DWORD timeoutMs) {
  ZeroMemory(writer, sizeof(*writer));
  writer->WriteTimeoutMs = DefaultWriteTimeoutMs;
  DWORD start = GetTickCount();
  for (;;) {
    HANDLE pipe = CreateFileA(QUILL_JOB_PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      writer->JobPipe = pipe;
      break;
    }
    DWORD error = GetLastError();
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    if (error == ERROR_PIPE_BUSY) {
      WaitNamedPipeA(QUILL_JOB_PIPE_NAME, timeoutMs - elapsed < 1000 ? timeoutMs - elapsed : 1000);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      Sleep(20);  // the dispatcher is between two instances, or not started yet
    } else {
      return false;
    }
  }
  Hello hello = {};
  DWORD read = 0;
  if (!ReadFile(writer->JobPipe, &hello, sizeof(hello), &read, nullptr) || read != sizeof(hello) || hello.Tag != QUILL_HELLO_TAG) {
    CloseHandle(writer->JobPipe);
    writer->JobPipe = nullptr;
    return false;
  }
  writer->ConnectionNumber = hello.ConnectionNumber;
  return true;
}

bool CreateDataPipe(JobPipeWriter* writer, DWORD timeoutMs) {
  char name[128];
  _snprintf(name, sizeof(name), QUILL_DATA_PIPE_FORMAT, QUILL_JOB_PIPE_NAME, static_cast<int>(writer->ConnectionNumber));
  name[sizeof(name) - 1] = '\0';
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                 QUILL_TAKEOVER_PIPE_BUFFER_SIZE, QUILL_TAKEOVER_PIPE_BUFFER_SIZE, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool connected = false;
  if (overlapped.hEvent) {
    DWORD unused = 0;
    BOOL started = ConnectNamedPipe(pipe, &overlapped);
    connected = (!started && GetLastError() == ERROR_PIPE_CONNECTED) || FinishOverlapped(pipe, &overlapped, started, timeoutMs, &unused);
    CloseHandle(overlapped.hEvent);
  }
  if (!connected) {
    CloseHandle(pipe);
    return false;
  }
  writer->DataPipe = pipe;
  return true;
}

bool ConnectJobPipe(JobPipeWriter* writer, DWORD timeoutMs) {
  if (!OpenJobPipe(writer, timeoutMs)) return false;
  if (CreateDataPipe(writer, timeoutMs)) return true;
  CloseJobPipeWriter(writer, false);
  return false;
}

bool WriteRawMessage(JobPipeWriter* writer, const void* data, DWORD size) {
  if (!writer->DataPipe) return false;
  if (!writer->WriteEvent) {
    writer->WriteEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!writer->WriteEvent) return false;
  }
  OVERLAPPED overlapped = {};
  overlapped.hEvent = writer->WriteEvent;
  DWORD written = 0;
  BOOL started = WriteFile(writer->DataPipe, data, size, &written, &overlapped);
  bool ok = FinishOverlapped(writer->DataPipe, &overlapped, started, writer->WriteTimeoutMs, &written);
  return ok && written == size;
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
