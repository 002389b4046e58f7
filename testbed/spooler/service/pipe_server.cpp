#include "pipe_server.h"

#include <memory>

namespace {

// Waits for the overlapped operation or the stop event; false when the service is stopping
// (the operation is then cancelled) or the operation failed.
// A client must send its request and take its reply within this time.
const DWORD ClientTimeoutMs = 10000;

bool WaitForPipe(HANDLE pipe, OVERLAPPED& overlapped, HANDLE stopEvent, DWORD& transferred,
                 DWORD timeoutMs = ClientTimeoutMs) {
  HANDLE events[2] = {overlapped.hEvent, stopEvent};
  DWORD which = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
  if (which != WAIT_OBJECT_0) {
    CancelIo(pipe);
    GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
    return false;
  }
  return GetOverlappedResult(pipe, &overlapped, &transferred, FALSE) != FALSE;
}

bool ReadRequest(HANDLE pipe, HANDLE ioEvent, HANDLE stopEvent, SpoolerRequest& request) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = ioEvent;
  DWORD got = 0;
  if (!ReadFile(pipe, &request, sizeof(request), nullptr, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING)
    return false;
  if (!WaitForPipe(pipe, overlapped, stopEvent, got)) return false;
  return got == sizeof(request);
}

// Disconnecting throws away a reply the client has not read yet, so wait until the client closes
// its end (bounded: a client that hangs must not stop the spooler).
void WaitForClientClose(HANDLE pipe, HANDLE ioEvent, HANDLE stopEvent) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = ioEvent;
  ResetEvent(ioEvent);
  BYTE unused = 0;
  DWORD got = 0;
  if (!ReadFile(pipe, &unused, 1, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING)
    return;
  HANDLE events[2] = {ioEvent, stopEvent};
  if (WaitForMultipleObjects(2, events, FALSE, 5000) != WAIT_OBJECT_0) CancelIo(pipe);
  GetOverlappedResult(pipe, &overlapped, &got, TRUE);
}

}  // namespace

bool ServeRequests(SpoolerState& state, DWORD generation, HANDLE stopEvent) {
  // The same instance serves every client: the pipe name exists from here until the service
  // stops, so a client never mistakes the gap between two clients for a stopped spooler.
  HANDLE pipe = CreateNamedPipeW(SPOOLER_PIPE_NAME,
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                 sizeof(SpoolerReply), sizeof(SpoolerRequest), 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  HANDLE ioEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::unique_ptr<SpoolerRequest> request(new SpoolerRequest());
  std::unique_ptr<SpoolerReply> reply(new SpoolerReply());
  for (;;) {
    if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) break;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = ioEvent;
    ResetEvent(ioEvent);
    DWORD unused = 0;
    bool connected = ConnectNamedPipe(pipe, &overlapped) != FALSE;
    if (!connected) {
      DWORD error = GetLastError();
      if (error == ERROR_PIPE_CONNECTED) {
        connected = true;
      } else if (error == ERROR_IO_PENDING) {
        connected = WaitForPipe(pipe, overlapped, stopEvent, unused, INFINITE);
        if (!connected && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) break;
      }
    }
    if (connected) {
      ResetEvent(ioEvent);
      ZeroMemory(request.get(), sizeof(SpoolerRequest));
      if (ReadRequest(pipe, ioEvent, stopEvent, *request)) {
        // Texts from the client are always terminated before anything reads them.
        request->Text1[SPOOLER_TEXT_CHARS - 1] = 0;
        request->Text2[SPOOLER_TEXT_CHARS - 1] = 0;
        request->Text3[SPOOLER_TEXT_CHARS - 1] = 0;
        ZeroMemory(reply.get(), sizeof(SpoolerReply));
        EnterCriticalSection(&state.Lock);
        HandleRequest(state, *request, *reply);
        LeaveCriticalSection(&state.Lock);
        reply->Generation = generation;
        OVERLAPPED write = {};
        write.hEvent = ioEvent;
        ResetEvent(ioEvent);
        if (WriteFile(pipe, reply.get(), sizeof(SpoolerReply), nullptr, &write) ||
            GetLastError() == ERROR_IO_PENDING)
          WaitForPipe(pipe, write, stopEvent, unused);
        WaitForClientClose(pipe, ioEvent, stopEvent);
      }
    }
    DisconnectNamedPipe(pipe);
  }
  CloseHandle(ioEvent);
  CloseHandle(pipe);
  return true;
}
