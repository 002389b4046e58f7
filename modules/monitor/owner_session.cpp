#include "modules/monitor/owner_session.h"

#include <stdio.h>
#include <wchar.h>
#include <wtsapi32.h>

#include "shared/pipe_peer.h"

namespace {

typedef BOOL(WINAPI* EnumerateSessionsProc)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
typedef BOOL(WINAPI* QuerySessionProc)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
typedef void(WINAPI* FreeMemoryProc)(PVOID);

const int MaxSessions = 64;

bool SameName(const WCHAR* a, const WCHAR* b, int bLength) {
  return CompareStringOrdinal(a, -1, b, bLength, TRUE) == CSTR_EQUAL;
}

bool IsOwner(const SessionEntry& session, const WCHAR* owner) {
  const WCHAR* slash = wcschr(owner, L'\\');
  if (!slash) return SameName(session.UserName, owner, -1);
  return SameName(session.UserName, slash + 1, -1) && SameName(session.DomainName, owner, static_cast<int>(slash - owner));
}

int Rank(const SessionEntry& session, DWORD consoleSession) {
  switch (session.State) {
    case WTSActive: return session.SessionId == consoleSession ? 0 : 1;
    case WTSConnected: return 2;
    case WTSDisconnected: return 3;
    default: return -1;
  }
}

void CopyName(WCHAR* target, const WCHAR* source) {
  lstrcpynW(target, source ? source : L"", SESSION_NAME_UNITS);
}

// The SID of an account name (DOMAIN\name or name); sid holds SECURITY_MAX_SID_SIZE bytes.
bool AccountSid(const WCHAR* account, BYTE* sid) {
  DWORD sidSize = SECURITY_MAX_SID_SIZE, domainUnits = 256;
  WCHAR domain[256];
  SID_NAME_USE use;
  return account[0] && LookupAccountNameW(nullptr, account, sid, &sidSize, domain, &domainUnits, &use) && use == SidTypeUser;
}

// The user this thread acts as: its impersonation token's, else the process's.
bool CallerSid(BYTE* sid) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return ProcessUserSid(sid);
  bool ok = TokenUserSid(token, sid);
  CloseHandle(token);
  return ok;
}

DWORD Remaining(DWORD start, DWORD timeoutMs) {
  DWORD elapsed = GetTickCount() - start;
  return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
}

}  // namespace

int ChooseOwnerSessions(const SessionEntry* sessions, int count, const WCHAR* owner, DWORD consoleSession, int* chosen,
                        int capacity) {
  int found = 0;
  if (!owner || !owner[0]) return 0;
  for (int rank = 0; rank <= 3; ++rank) {
    for (int i = 0; i < count && found < capacity; ++i) {
      if (Rank(sessions[i], consoleSession) == rank && IsOwner(sessions[i], owner)) chosen[found++] = i;
    }
  }
  return found;
}

int ReadSessions(SessionEntry* sessions, int capacity) {
  HMODULE library = LoadLibraryW(L"wtsapi32.dll");
  if (!library) return -1;
  EnumerateSessionsProc enumerate =
      reinterpret_cast<EnumerateSessionsProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSEnumerateSessionsW")));
  QuerySessionProc query =
      reinterpret_cast<QuerySessionProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSQuerySessionInformationW")));
  FreeMemoryProc freeMemory = reinterpret_cast<FreeMemoryProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSFreeMemory")));
  int count = -1;
  WTS_SESSION_INFOW* list = nullptr;
  DWORD listed = 0;
  if (enumerate && query && freeMemory && enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &listed)) {
    count = 0;
    for (DWORD i = 0; i < listed && count < capacity; ++i) {
      SessionEntry& entry = sessions[count];
      entry.SessionId = list[i].SessionId;
      entry.State = list[i].State;
      LPWSTR text = nullptr;
      DWORD bytes = 0;
      if (!query(WTS_CURRENT_SERVER_HANDLE, entry.SessionId, WTSUserName, &text, &bytes)) continue;
      CopyName(entry.UserName, text);
      freeMemory(text);
      text = nullptr;
      if (query(WTS_CURRENT_SERVER_HANDLE, entry.SessionId, WTSDomainName, &text, &bytes)) {
        CopyName(entry.DomainName, text);
        freeMemory(text);
      } else {
        entry.DomainName[0] = L'\0';
      }
      if (entry.UserName[0]) ++count;
    }
    freeMemory(list);
  }
  FreeLibrary(library);
  return count;
}

void SessionPipeName(DWORD sessionId, char* name, size_t size) {
  _snprintf(name, size, QUILL_SESSION_PIPE_FORMAT, QUILL_JOB_PIPE_NAME, static_cast<unsigned long>(sessionId));
  name[size - 1] = '\0';
}

bool ConnectToOwner(JobPipeWriter* writer, const WCHAR* owner, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  BYTE ownerSid[SECURITY_MAX_SID_SIZE];
  bool known = owner && AccountSid(owner, ownerSid);
  if (!known && !CallerSid(ownerSid)) return false;
  if (known) {
    SessionEntry* sessions = static_cast<SessionEntry*>(LocalAlloc(LPTR, MaxSessions * sizeof(SessionEntry)));
    int count = sessions ? ReadSessions(sessions, MaxSessions) : -1;
    int chosen[MaxSessions];
    int candidates = ChooseOwnerSessions(sessions, count, owner, WTSGetActiveConsoleSessionId(), chosen, MaxSessions);
    for (int i = 0; i < candidates && Remaining(start, timeoutMs) > 0; ++i) {
      const SessionEntry& session = sessions[chosen[i]];
      // The session's own account, domain and all, is the one its dispatcher must run as.
      WCHAR account[2 * SESSION_NAME_UNITS + 2];
      _snwprintf(account, sizeof(account) / sizeof(account[0]), L"%s%s%s", session.DomainName,
                 session.DomainName[0] ? L"\\" : L"", session.UserName);
      account[sizeof(account) / sizeof(account[0]) - 1] = L'\0';
      BYTE sessionSid[SECURITY_MAX_SID_SIZE];
      if (!AccountSid(account, sessionSid)) CopySid(sizeof(sessionSid), sessionSid, ownerSid);
      char name[QUILL_PIPE_NAME_CHARS];
      SessionPipeName(session.SessionId, name, sizeof(name));
      if (!OpenJobPipeAt(writer, name, sessionSid, Remaining(start, timeoutMs))) continue;
      LocalFree(sessions);
      if (SetDataPipeReader(writer, sessionSid) && CreateDataPipe(writer, Remaining(start, timeoutMs))) return true;
      DWORD error = GetLastError();
      CloseJobPipeWriter(writer, false);
      return SetLastError(error), false;
    }
    if (sessions) LocalFree(sessions);
  }
  // No dispatcher of the owner's own: the documented pipe, as a writer of the documented format
  // finds it. Its data pipe still admits the owner alone.
  if (!OpenJobPipe(writer, Remaining(start, timeoutMs))) return false;
  if (SetDataPipeReader(writer, ownerSid) && CreateDataPipe(writer, Remaining(start, timeoutMs))) return true;
  DWORD error = GetLastError();
  CloseJobPipeWriter(writer, false);
  return SetLastError(error), false;
}
