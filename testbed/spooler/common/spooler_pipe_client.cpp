#include "spooler_pipe_client.h"

namespace {

// How long a reply may take: generous, a test machine is slow at times.
const DWORD ReplyTimeoutMs = 120000;

// One overlapped transfer with a bound; false on failure or timeout (the transfer is cancelled).
bool Transfer(HANDLE pipe, HANDLE event, bool write, void* data, DWORD bytes, DWORD& done) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  ResetEvent(event);
  BOOL started = write ? WriteFile(pipe, data, bytes, nullptr, &overlapped)
                       : ReadFile(pipe, data, bytes, nullptr, &overlapped);
  if (!started && GetLastError() != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(event, ReplyTimeoutMs) != WAIT_OBJECT_0) {
    CancelIo(pipe);
    GetOverlappedResult(pipe, &overlapped, &done, TRUE);
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  return GetOverlappedResult(pipe, &overlapped, &done, FALSE) != FALSE;
}

}  // namespace

DWORD CallSpooler(const SpoolerRequest& request, SpoolerReply& reply) {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  DWORD start = GetTickCount();
  for (;;) {
    pipe = CreateFileW(SPOOLER_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) break;
    // No pipe at all (or one that cannot be opened): the service is not running.
    if (GetLastError() != ERROR_PIPE_BUSY) return RPC_S_SERVER_UNAVAILABLE;
    // Busy: another client's request is being answered.
    if (GetTickCount() - start > 60000) return ERROR_TIMEOUT;
    if (!WaitNamedPipeW(SPOOLER_PIPE_NAME, 1000)) Sleep(10);
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD result = 0;
  DWORD done = 0;
  if (!event) {
    result = GetLastError();
  } else if (!Transfer(pipe, event, true, const_cast<SpoolerRequest*>(&request), sizeof(request), done) ||
             done != sizeof(request)) {
    result = RPC_S_SERVER_UNAVAILABLE;
  } else if (!Transfer(pipe, event, false, &reply, sizeof(reply), done) || done != sizeof(reply)) {
    // The service went away while answering (it was stopped), or it did not answer in time:
    // as an RPC call cut short.
    result = RPC_S_CALL_FAILED;
  }
  if (event) CloseHandle(event);
  CloseHandle(pipe);
  if (result == 0) reply.Text[SPOOLER_REPLY_CHARS - 1] = 0;
  return result;
}
