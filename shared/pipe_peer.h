// Who is at the other end of a named pipe: the user whose token the peer process runs with. Both
// ends of the job pipe use it, the writer to be sure that only the job's owner reads a job, the
// dispatcher to be sure that only the spooler or its own user feeds it.
#pragma once

#include <windows.h>

// The user SID of a token (sid: SECURITY_MAX_SID_SIZE bytes).
inline bool TokenUserSid(HANDLE token, BYTE* sid) {
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) return false;
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  return CopySid(SECURITY_MAX_SID_SIZE, sid, user) != FALSE;
}

// The user this process runs as.
inline bool ProcessUserSid(BYTE* sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  bool ok = TokenUserSid(token, sid);
  CloseHandle(token);
  return ok;
}

// The user of the process that serves the pipe (server true, for a client end) or of the process
// that opened it (server false, for a server end). False when the process or its token can't be
// read; the last error then says why.
inline bool PipePeerUserSid(HANDLE pipe, bool server, BYTE* sid) {
  ULONG processId = 0;
  BOOL known = server ? GetNamedPipeServerProcessId(pipe, &processId) : GetNamedPipeClientProcessId(pipe, &processId);
  if (!known) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return false;
  HANDLE token = nullptr;
  bool ok = OpenProcessToken(process, TOKEN_QUERY, &token) && TokenUserSid(token, sid);
  DWORD error = GetLastError();
  if (token) CloseHandle(token);
  CloseHandle(process);
  SetLastError(error);
  return ok;
}

// Whether the peer runs as `user`; false (ERROR_ACCESS_DENIED) for anyone else.
inline bool PipePeerIs(HANDLE pipe, bool server, PSID user) {
  BYTE peer[SECURITY_MAX_SID_SIZE];
  if (!PipePeerUserSid(pipe, server, peer)) return false;
  if (EqualSid(peer, user)) return true;
  SetLastError(ERROR_ACCESS_DENIED);
  return false;
}
