#define _CRT_RAND_S
#include "quilltray/data_pipe.h"

#include <stdio.h>
#include <stdlib.h>

#include "shared/pipe_protocol.h"

namespace {

const int OpenAttempts = 100;
const DWORD OpenPauseMs = 50;

// Opens one candidate name; INVALID_HANDLE_VALUE when it is not there or not ours to read (and
// *busy when another client has its instance already).
HANDLE OpenCandidate(const char* name, ULONG clientProcessId, ServerStanding* standing, bool* busy) {
  HANDLE pipe = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    *busy = GetLastError() == ERROR_PIPE_BUSY;
    return INVALID_HANDLE_VALUE;
  }
  *standing = JudgeDataPipeServer(pipe, clientProcessId);
  if (*standing != SERVER_STRANGER) return pipe;
  // Made by a process that is not our client: whoever it is, nothing of it is read.
  CloseHandle(pipe);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

DWORD NewDataPipeKey() {
  unsigned int key = 0;
  if (rand_s(&key) == 0) return key & QUILL_DATA_PIPE_KEY_MASK;
  LARGE_INTEGER counter = {};
  QueryPerformanceCounter(&counter);
  return (static_cast<DWORD>(counter.QuadPart) ^ (GetCurrentProcessId() << 12) ^ GetTickCount()) & QUILL_DATA_PIPE_KEY_MASK;
}

HANDLE OpenConnectionDataPipe(const char* jobPipe, DWORD number, DWORD key, ULONG clientProcessId, ServerStanding* standing) {
  char keyed[QUILL_PIPE_NAME_CHARS], plain[QUILL_PIPE_NAME_CHARS];
  _snprintf(keyed, sizeof(keyed), QUILL_KEYED_DATA_PIPE_FORMAT, jobPipe, static_cast<int>(number), static_cast<unsigned long>(key));
  keyed[sizeof(keyed) - 1] = '\0';
  _snprintf(plain, sizeof(plain), QUILL_DATA_PIPE_FORMAT, jobPipe, static_cast<int>(number));
  plain[sizeof(plain) - 1] = '\0';
  for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
    bool keyedBusy = false, plainBusy = false;
    HANDLE pipe = OpenCandidate(keyed, clientProcessId, standing, &keyedBusy);
    if (pipe == INVALID_HANDLE_VALUE) pipe = OpenCandidate(plain, clientProcessId, standing, &plainBusy);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    // Our keyed pipe taken by another client: the connection is lost to us.
    if (keyedBusy) return INVALID_HANDLE_VALUE;
    Sleep(OpenPauseMs);
  }
  return INVALID_HANDLE_VALUE;
}

bool ReadWithin(HANDLE pipe, HANDLE event, void* buffer, DWORD size, DWORD limitMs, DWORD* read) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  ResetEvent(event);
  *read = 0;
  if (ReadFile(pipe, buffer, size, nullptr, &overlapped)) return GetOverlappedResult(pipe, &overlapped, read, TRUE) != FALSE;
  DWORD error = GetLastError();
  if (error == ERROR_MORE_DATA) return GetOverlappedResult(pipe, &overlapped, read, TRUE) || GetLastError() == ERROR_MORE_DATA;
  if (error != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(event, limitMs) != WAIT_OBJECT_0) {
    CancelIoEx(pipe, &overlapped);
    GetOverlappedResult(pipe, &overlapped, read, TRUE);
    *read = 0;
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  return GetOverlappedResult(pipe, &overlapped, read, FALSE) || GetLastError() == ERROR_MORE_DATA;
}
