#include "quilltray/pipe_identity.h"

#include <aclapi.h>
#include <sddl.h>
#include <stdio.h>
#include <wchar.h>

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

}  // namespace

bool DataPipeServerTrusted(HANDLE pipe) {
  BYTE own[SECURITY_MAX_SID_SIZE], server[SECURITY_MAX_SID_SIZE];
  if (!ProcessUserSid(own)) return false;
  if (!PipePeerUserSid(pipe, true, server)) return GetLastError() == ERROR_ACCESS_DENIED && OwnedByTrustedUser(pipe, own);
  return EqualSid(server, own) || IsWellKnownSid(server, WinLocalSystemSid);
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
