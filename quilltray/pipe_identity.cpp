#include "quilltray/pipe_identity.h"

#include <aclapi.h>
#include <sddl.h>
#include <stdio.h>
#include <wchar.h>
#include <winternl.h>

#include "shared/pipe_peer.h"
#include "shared/pipe_protocol.h"

namespace {

// The owner of the pipe object, when its server's process can't be opened: a standard user may
// not open a LocalSystem process even to read its user. Only LocalSystem (and administrators
// acting as such) can make an object whose owner is SYSTEM or the Administrators group, and only
// our own user (or the spooler acting for it) one whose owner is our user.
bool OwnedByTrustedUser(HANDLE pipe, PSID own) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor) !=
      ERROR_SUCCESS)
    return false;
  bool trusted = owner && (IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                           EqualSid(owner, own));
  LocalFree(descriptor);
  return trusted;
}

typedef LONG(WINAPI* QuerySystemInformationProc)(ULONG, PVOID, ULONG, PULONG);
typedef BOOL(WINAPI* PipeSessionIdProc)(HANDLE, PULONG);
const ULONG SystemProcessIdInformation = 88;
struct ProcessIdImage {
  HANDLE ProcessId;
  UNICODE_STRING ImageName;
};

// The program file of a process in the kernel's spelling. From the process itself where we may
// open it; a process of another user we may not open, but the system's process list names the
// program of every process.
bool ProcessImage(DWORD processId, WCHAR* image, DWORD units) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process) {
    DWORD size = units;
    bool ok = QueryFullProcessImageNameW(process, PROCESS_NAME_NATIVE, image, &size) != FALSE;
    CloseHandle(process);
    return ok;
  }
  QuerySystemInformationProc query = reinterpret_cast<QuerySystemInformationProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return false;
  ProcessIdImage info = {};
  info.ProcessId = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(processId));
  info.ImageName.Buffer = image;
  info.ImageName.MaximumLength = static_cast<USHORT>((units - 1) * sizeof(WCHAR));
  if (query(SystemProcessIdInformation, &info, sizeof(info), nullptr) < 0) return false;
  image[info.ImageName.Length / sizeof(WCHAR)] = L'\0';
  return true;
}

// The logon session of the process that serves a pipe: from the process, else from the pipe
// itself (GetNamedPipeServerSessionId, looked up at run time).
bool ServerSession(HANDLE pipe, DWORD processId, DWORD* session) {
  if (ProcessIdToSessionId(processId, session)) return true;
  PipeSessionIdProc query = reinterpret_cast<PipeSessionIdProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNamedPipeServerSessionId")));
  ULONG id = 0;
  if (!query || !query(pipe, &id)) return false;
  *session = id;
  return true;
}

bool IsLocalSystemOrOwn(PSID user, PSID own) { return EqualSid(user, own) || IsWellKnownSid(user, WinLocalSystemSid); }

}  // namespace

ServerStanding StandingOf(const ServerFacts& facts) {
  if (!facts.SameProcessAsClient) return SERVER_STRANGER;
  if (facts.UserKnown && facts.LocalSystemOrOwnUser) return SERVER_TRUSTED;
  if (facts.SessionKnown && facts.OtherSession && facts.ImageKnown && facts.SameImage) return SERVER_PEER_DISPATCHER;
  return SERVER_STRANGER;
}

ServerStanding JudgeDataPipeServer(HANDLE pipe, ULONG clientProcessId) {
  ServerFacts facts = {};
  ULONG serverProcessId = 0;
  BYTE own[SECURITY_MAX_SID_SIZE], server[SECURITY_MAX_SID_SIZE];
  if (!GetNamedPipeServerProcessId(pipe, &serverProcessId) || !ProcessUserSid(own)) return SERVER_STRANGER;
  facts.SameProcessAsClient = clientProcessId != 0 && serverProcessId == clientProcessId;
  if (PipePeerUserSid(pipe, true, server)) {
    facts.UserKnown = true;
    facts.LocalSystemOrOwnUser = IsLocalSystemOrOwn(server, own);
  } else if (GetLastError() == ERROR_ACCESS_DENIED) {
    facts.UserKnown = facts.LocalSystemOrOwnUser = OwnedByTrustedUser(pipe, own);
  }
  // The spooler's and our own user's pipes, nearly every connection, need nothing more.
  if (facts.UserKnown && facts.LocalSystemOrOwnUser) return StandingOf(facts);
  DWORD ownSession = 0, serverSession = 0;
  facts.SessionKnown = ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) && ServerSession(pipe, serverProcessId, &serverSession);
  facts.OtherSession = facts.SessionKnown && serverSession != ownSession;
  WCHAR ownImage[MAX_PATH * 2], serverImage[MAX_PATH * 2];
  facts.ImageKnown = ProcessImage(GetCurrentProcessId(), ownImage, MAX_PATH * 2) && ProcessImage(serverProcessId, serverImage, MAX_PATH * 2);
  facts.SameImage = facts.ImageKnown && CompareStringOrdinal(ownImage, -1, serverImage, -1, TRUE) == CSTR_EQUAL;
  return StandingOf(facts);
}

bool JobPipeClientIsLocalSystem(HANDLE instance, ULONG* processId) {
  *processId = 0;
  if (!GetNamedPipeClientProcessId(instance, processId)) return false;
  BYTE client[SECURITY_MAX_SID_SIZE];
  return PipePeerUserSid(instance, false, client) && IsWellKnownSid(client, WinLocalSystemSid);
}

bool AdmitsConnection(LONG live, bool fromLocalSystem) {
  return live < (fromLocalSystem ? ConnectionLimit : ConnectionLimit - SpoolerReserve);
}

bool OwnSessionPipeName(char* name, size_t size) {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return false;
  _snprintf(name, size, QUILL_SESSION_PIPE_FORMAT, QUILL_JOB_PIPE_NAME, static_cast<unsigned long>(session));
  name[size - 1] = '\0';
  return true;
}

bool BuildSessionPipeSecurity(SECURITY_ATTRIBUTES** attributes, PSECURITY_DESCRIPTOR* descriptor) {
  *attributes = nullptr;
  *descriptor = nullptr;
  BYTE own[SECURITY_MAX_SID_SIZE];
  LPWSTR ownText = nullptr;
  if (!ProcessUserSid(own) || !ConvertSidToStringSidW(own, &ownText)) return false;
  WCHAR sddl[256];
  _snwprintf(sddl, 256, L"D:P(D;;GA;;;NU)(A;;GA;;;%s)(A;;GA;;;SY)", ownText);
  sddl[255] = L'\0';
  LocalFree(ownText);
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor, nullptr)) {
    *descriptor = nullptr;
    return false;
  }
  *attributes = static_cast<SECURITY_ATTRIBUTES*>(LocalAlloc(LPTR, sizeof(SECURITY_ATTRIBUTES)));
  if (!*attributes) {
    LocalFree(*descriptor);
    *descriptor = nullptr;
    return false;
  }
  (*attributes)->nLength = sizeof(SECURITY_ATTRIBUTES);
  (*attributes)->lpSecurityDescriptor = *descriptor;
  (*attributes)->bInheritHandle = FALSE;
  return true;
}
