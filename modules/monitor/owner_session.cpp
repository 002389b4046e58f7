#include "modules/monitor/owner_session.h"

#include <stdio.h>
#include <wchar.h>
#include <wtsapi32.h>

#include "shared/pipe_peer.h"

namespace {

typedef BOOL(WINAPI* EnumerateSessionsProc)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
typedef BOOL(WINAPI* QuerySessionProc)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
typedef BOOL(WINAPI* QueryUserTokenProc)(ULONG, PHANDLE);
typedef void(WINAPI* FreeMemoryProc)(PVOID);

// All the account look-ups of one ReadSessions together get no more than this.
const DWORD SessionLookupBudgetMs = 2000;

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

// One look-up, shared by the thread that does it and the caller that may stop waiting for it;
// whoever lets go last frees it.
struct AccountLookup {
  volatile LONG References;
  WCHAR Account[2 * SESSION_NAME_UNITS + 2];
  BYTE Sid[SECURITY_MAX_SID_SIZE];
  bool Found;
};

void ReleaseLookup(AccountLookup* lookup) {
  if (InterlockedDecrement(&lookup->References) == 0) LocalFree(lookup);
}

// Holds a reference on this DLL, so that a look-up that outlives its caller never runs in a module
// the spooler has unloaded.
DWORD WINAPI LookupThread(LPVOID parameter) {
  AccountLookup* lookup = static_cast<AccountLookup*>(parameter);
  DWORD sidSize = SECURITY_MAX_SID_SIZE, domainUnits = 256;
  WCHAR domain[256];
  SID_NAME_USE use;
  lookup->Found = LookupAccountNameW(nullptr, lookup->Account, lookup->Sid, &sidSize, domain, &domainUnits, &use) && use == SidTypeUser;
  ReleaseLookup(lookup);
  HMODULE self = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&LookupThread), &self))
    FreeLibraryAndExitThread(self, 0);
  return 0;
}

// The SID of a session's user: from the session's token where this process may have it (the
// spooler runs as LocalSystem), else from its DOMAIN\name within limitMs.
bool SessionSid(QueryUserTokenProc queryToken, const SessionEntry& session, BYTE* sid, DWORD limitMs) {
  HANDLE token = nullptr;
  if (queryToken && queryToken(session.SessionId, &token)) {
    bool ok = TokenUserSid(token, sid);
    CloseHandle(token);
    if (ok) return true;
  }
  WCHAR account[2 * SESSION_NAME_UNITS + 2];
  _snwprintf(account, sizeof(account) / sizeof(account[0]), L"%s%s%s", session.DomainName, session.DomainName[0] ? L"\\" : L"",
             session.UserName);
  account[sizeof(account) / sizeof(account[0]) - 1] = L'\0';
  return limitMs > 0 && BoundedAccountSid(account, sid, limitMs);
}

// Opens the job pipe `name` whose server must run as `owner` and makes its data pipe for the owner.
bool ConnectThrough(JobPipeWriter* writer, const char* name, PSID owner, DWORD openLimitMs, DWORD totalMs) {
  DWORD start = GetTickCount();
  if (!OpenJobPipeAt(writer, name, owner, openLimitMs)) return false;
  if (SetDataPipeReader(writer, owner) && CreateDataPipe(writer, Remaining(start, totalMs))) return true;
  DWORD error = GetLastError();
  CloseJobPipeWriter(writer, false);
  SetLastError(error);
  return false;
}

bool WriterCancelled(const JobPipeWriter* writer) {
  return writer->Cancel && WaitForSingleObject(writer->Cancel, 0) == WAIT_OBJECT_0;
}

}  // namespace

bool BoundedAccountSid(const WCHAR* account, BYTE* sid, DWORD limitMs) {
  if (!account || !account[0]) return false;
  AccountLookup* lookup = static_cast<AccountLookup*>(LocalAlloc(LPTR, sizeof(AccountLookup)));
  if (!lookup) return false;
  lstrcpynW(lookup->Account, account, sizeof(lookup->Account) / sizeof(lookup->Account[0]));
  lookup->References = 2;
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&LookupThread), &self);
  HANDLE thread = CreateThread(nullptr, 0, LookupThread, lookup, 0, nullptr);
  if (!thread) {
    if (self) FreeLibrary(self);
    LocalFree(lookup);
    return false;
  }
  bool found = WaitForSingleObject(thread, limitMs) == WAIT_OBJECT_0 && lookup->Found;
  if (found) CopySid(SECURITY_MAX_SID_SIZE, sid, lookup->Sid);
  CloseHandle(thread);
  ReleaseLookup(lookup);
  return found;
}

bool JobOwnerSid(const WCHAR* owner, BYTE* sid) {
  if (CallerSid(sid) && !IsWellKnownSid(sid, WinLocalSystemSid)) return true;
  if (owner && owner[0] && BoundedAccountSid(owner, sid, AccountLookupLimitMs)) return true;
  return CallerSid(sid);
}

int ChooseOwnerSessions(const SessionEntry* sessions, int count, PSID owner, DWORD consoleSession, int* chosen, int capacity) {
  int found = 0;
  if (!owner || !IsValidSid(owner)) return 0;
  for (int rank = 0; rank <= 3; ++rank) {
    for (int i = 0; i < count && found < capacity; ++i) {
      const SessionEntry& session = sessions[i];
      if (Rank(session, consoleSession) == rank && session.HasSid && EqualSid(const_cast<BYTE*>(session.UserSid), owner))
        chosen[found++] = i;
    }
  }
  return found;
}

SessionEntry* ReadSessions(int* count) {
  *count = -1;
  HMODULE library = LoadLibraryW(L"wtsapi32.dll");
  if (!library) return nullptr;
  EnumerateSessionsProc enumerate =
      reinterpret_cast<EnumerateSessionsProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSEnumerateSessionsW")));
  QuerySessionProc query =
      reinterpret_cast<QuerySessionProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSQuerySessionInformationW")));
  QueryUserTokenProc queryToken =
      reinterpret_cast<QueryUserTokenProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSQueryUserToken")));
  FreeMemoryProc freeMemory = reinterpret_cast<FreeMemoryProc>(reinterpret_cast<void*>(GetProcAddress(library, "WTSFreeMemory")));
  SessionEntry* sessions = nullptr;
  WTS_SESSION_INFOW* list = nullptr;
  DWORD listed = 0;
  DWORD start = GetTickCount();
  if (enumerate && query && freeMemory && enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &listed)) {
    sessions = static_cast<SessionEntry*>(LocalAlloc(LPTR, (listed ? listed : 1) * sizeof(SessionEntry)));
    if (sessions) *count = 0;
    for (DWORD i = 0; sessions && i < listed; ++i) {
      SessionEntry& entry = sessions[*count];
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
      if (!entry.UserName[0]) continue;
      entry.HasSid = SessionSid(queryToken, entry, entry.UserSid, Remaining(start, SessionLookupBudgetMs));
      ++*count;
    }
    freeMemory(list);
  }
  FreeLibrary(library);
  return sessions;
}

void SessionPipeName(DWORD sessionId, char* name, size_t size) {
  _snprintf(name, size, QUILL_SESSION_PIPE_FORMAT, QUILL_JOB_PIPE_NAME, static_cast<unsigned long>(sessionId));
  name[size - 1] = '\0';
}

bool ConnectToOwner(JobPipeWriter* writer, PSID owner, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  int count = 0;
  SessionEntry* sessions = ReadSessions(&count);
  int* chosen = count > 0 ? static_cast<int*>(LocalAlloc(LPTR, count * sizeof(int))) : nullptr;
  DWORD* ids = count > 0 ? static_cast<DWORD*>(LocalAlloc(LPTR, count * sizeof(DWORD))) : nullptr;
  int candidates = chosen && ids ? ChooseOwnerSessions(sessions, count, owner, WTSGetActiveConsoleSessionId(), chosen, count) : 0;
  for (int i = 0; i < candidates; ++i) ids[i] = sessions[chosen[i]].SessionId;
  if (chosen) LocalFree(chosen);
  if (sessions) LocalFree(sessions);
  bool connected = ConnectToOwnerIn(writer, owner, ids, candidates, Remaining(start, timeoutMs));
  DWORD error = GetLastError();
  if (ids) LocalFree(ids);
  SetLastError(error);
  return connected;
}

bool ConnectToOwnerIn(JobPipeWriter* writer, PSID owner, const DWORD* sessionIds, int count, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  DWORD error = ERROR_NOT_READY;
  for (int i = 0; i < count && !WriterCancelled(writer); ++i) {
    DWORD left = Remaining(start, timeoutMs);
    if (left <= DocumentedPipeReserveMs) break;
    DWORD limit = left - DocumentedPipeReserveMs < SessionPipeLimitMs ? left - DocumentedPipeReserveMs : SessionPipeLimitMs;
    char name[QUILL_PIPE_NAME_CHARS];
    SessionPipeName(sessionIds[i], name, sizeof(name));
    if (ConnectThrough(writer, name, owner, limit, left - DocumentedPipeReserveMs)) return true;
    error = GetLastError();
  }
  // No dispatcher of the owner's own session answered: the documented pipe, as a writer of the
  // documented format finds it, but only an instance that the owner serves. A connection that a
  // busy dispatcher refuses, or whose data pipe name someone holds, is tried again.
  for (;;) {
    DWORD left = Remaining(start, timeoutMs);
    if (left == 0 || WriterCancelled(writer)) break;
    if (OpenJobPipeAt(writer, QUILL_JOB_PIPE_NAME, nullptr, left)) {
      if (!PipePeerIs(writer->JobPipe, true, owner)) {
        error = GetLastError();
        CloseJobPipeWriter(writer, false);
      } else if (SetDataPipeReader(writer, owner) && CreateDataPipe(writer, Remaining(start, timeoutMs))) {
        return true;
      } else {
        error = GetLastError();
        CloseJobPipeWriter(writer, false);
      }
    } else {
      error = GetLastError();
    }
    if (WriterCancelled(writer)) break;
    Sleep(50);
  }
  return SetLastError(WriterCancelled(writer) ? ERROR_OPERATION_ABORTED : error), false;
}
