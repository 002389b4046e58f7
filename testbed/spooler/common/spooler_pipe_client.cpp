#include "spooler_pipe_client.h"

DWORD CallSpooler(const SpoolerRequest& request, SpoolerReply& reply) {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  DWORD start = GetTickCount();
  for (;;) {
    pipe = CreateFileW(SPOOLER_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) break;
    DWORD error = GetLastError();
    // No pipe at all: the service is not running.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return RPC_S_SERVER_UNAVAILABLE;
    if (error != ERROR_PIPE_BUSY) return RPC_S_SERVER_UNAVAILABLE;
    if (GetTickCount() - start > 60000) return ERROR_TIMEOUT;
    if (!WaitNamedPipeW(SPOOLER_PIPE_NAME, 1000)) Sleep(10);
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  DWORD result = 0;
  DWORD done = 0;
  if (!WriteFile(pipe, &request, sizeof(request), &done, nullptr) || done != sizeof(request)) {
    result = RPC_S_SERVER_UNAVAILABLE;
  } else if (!ReadFile(pipe, &reply, sizeof(reply), &done, nullptr) || done != sizeof(reply)) {
    // The service went away while answering (it was stopped): as an RPC call cut short.
    result = RPC_S_CALL_FAILED;
  }
  CloseHandle(pipe);
  if (result == 0) reply.Text[SPOOLER_REPLY_CHARS - 1] = 0;
  return result;
}
