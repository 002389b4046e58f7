#include "log_folder.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <stdio.h>
#include <wchar.h>
#include <winternl.h>

const WCHAR LogFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

namespace {

const WCHAR* const FolderNames[] = {L"Corvell", L"Quillstack"};

// NtCreateFile's dispositions and options, as the native API documents them.
const ULONG OpenExisting = 1;        // FILE_OPEN
const ULONG CreateNew = 2;           // FILE_CREATE: fails when anything, a link included, has the name
const ULONG DirectoryOnly = 0x1;     // FILE_DIRECTORY_FILE
const ULONG SynchronousIo = 0x20;    // FILE_SYNCHRONOUS_IO_NONALERT
const ULONG FileOnly = 0x40;         // FILE_NON_DIRECTORY_FILE
const ULONG BackupIntent = 0x4000;   // FILE_OPEN_FOR_BACKUP_INTENT
const ULONG NoReparse = 0x00200000;  // FILE_OPEN_REPARSE_POINT: the link itself, never its target
const ULONG RenameInformationClass = 10;  // FileRenameInformation

// FILE_RENAME_INFORMATION as NtSetInformationFile takes it; the name follows in the same block.
struct RenameInformation {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;
  WCHAR FileName[MAX_PATH];
};

typedef NTSTATUS(NTAPI* CreateFileProc)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG,
                                        ULONG, ULONG, PVOID, ULONG);
typedef NTSTATUS(NTAPI* SetInformationProc)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

FARPROC NativeCall(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr ? GetProcAddress(ntdll, name) : nullptr;
}

const ACCESS_MASK FolderAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE |
                                 FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
const ACCESS_MASK LogFileAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC | WRITE_OWNER | DELETE | SYNCHRONIZE;

// Opens `name` relative to the open folder `parent`: no path is resolved again above it, and a
// reparse point is opened as itself. Null on failure.
HANDLE OpenRelativeAs(HANDLE parent, const WCHAR* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
                      PSECURITY_DESCRIPTOR security, NTSTATUS& result) {
  CreateFileProc create = reinterpret_cast<CreateFileProc>(reinterpret_cast<void*>(NativeCall("NtCreateFile")));
  if (create == nullptr) return nullptr;
  UNICODE_STRING text = {};
  text.Buffer = const_cast<WCHAR*>(name);
  text.Length = static_cast<USHORT>(lstrlenW(name) * sizeof(WCHAR));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes = {};
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = parent;
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = security;  // used only when the object is created
  IO_STATUS_BLOCK status = {};
  HANDLE handle = nullptr;
  result = create(&handle, access, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                  options | SynchronousIo | NoReparse | BackupIntent, nullptr, 0);
  return result >= 0 ? handle : nullptr;
}

// Opens what is there, or creates it new when nothing has the name: never creates through a
// link whose target is missing.
HANDLE OpenRelative(HANDLE parent, const WCHAR* name, ACCESS_MASK access, ULONG share, ULONG options, PSECURITY_DESCRIPTOR security) {
  NTSTATUS result = 0;
  HANDLE handle = OpenRelativeAs(parent, name, access, share, OpenExisting, options, security, result);
  const NTSTATUS NameNotFound = static_cast<NTSTATUS>(0xC0000034L);  // STATUS_OBJECT_NAME_NOT_FOUND
  if (handle == nullptr && result == NameNotFound) handle = OpenRelativeAs(parent, name, access, share, CreateNew, options, security, result);
  return handle;
}

// Whether the opened object is not the plain folder or file at `path`: a reparse point by what the
// handle says or by what the path says (Wine reports a Unix symbolic link to a folder only
// there), or an object whose own path is another (Wine opens the target of a symbolic link).
bool IsNotPlainAt(HANDLE handle, const WCHAR* path) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) return true;
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  WCHAR opened[MAX_PATH + 8] = {};
  DWORD length = GetFinalPathNameByHandleW(handle, opened, MAX_PATH + 7, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= MAX_PATH + 7) return true;
  const WCHAR* own = opened;
  if (own[0] == L'\\' && own[1] == L'\\' && own[2] == L'?' && own[3] == L'\\') own += 4;
  return CompareStringOrdinal(own, -1, path, -1, TRUE) != CSTR_EQUAL;
}

// The owning and restoring privileges an administrator holds, enabled while the folder is made
// safe and set back as they were afterwards.
struct PrivilegeScope {
  HANDLE Token = nullptr;
  // DWORD units: aligned for TOKEN_PRIVILEGES.
  DWORD Previous[(sizeof(TOKEN_PRIVILEGES) + 2 * sizeof(LUID_AND_ATTRIBUTES)) / sizeof(DWORD) + 1] = {};
  bool Changed = false;
  PrivilegeScope() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &Token)) {
      Token = nullptr;
      return;
    }
    DWORD wanted[(sizeof(TOKEN_PRIVILEGES) + 2 * sizeof(LUID_AND_ATTRIBUTES)) / sizeof(DWORD) + 1] = {};
    TOKEN_PRIVILEGES* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(wanted);
    const WCHAR* const names[] = {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME, SE_BACKUP_NAME};
    for (const WCHAR* name : names) {
      if (!LookupPrivilegeValueW(nullptr, name, &privileges->Privileges[privileges->PrivilegeCount].Luid)) continue;
      privileges->Privileges[privileges->PrivilegeCount++].Attributes = SE_PRIVILEGE_ENABLED;
    }
    DWORD bytes = 0;
    Changed = AdjustTokenPrivileges(Token, FALSE, privileges, sizeof(Previous), reinterpret_cast<TOKEN_PRIVILEGES*>(Previous), &bytes) != FALSE;
  }
  ~PrivilegeScope() {
    if (Changed) AdjustTokenPrivileges(Token, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(Previous), 0, nullptr, nullptr);
    if (Token != nullptr) CloseHandle(Token);
  }
  PrivilegeScope(const PrivilegeScope&) = delete;
  PrivilegeScope& operator=(const PrivilegeScope&) = delete;
};

// The entries of a security descriptor's access list as text, for comparing two of them; the
// list's flags (such as auto-inherited, which the system may add) are left out.
bool AccessListText(PSECURITY_DESCRIPTOR security, WCHAR*& text, const WCHAR*& entries) {
  text = nullptr;
  entries = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr) ||
      text == nullptr)
    return false;
  entries = wcschr(text, L'(');
  return entries != nullptr;
}

bool IsProtected(PSECURITY_DESCRIPTOR security) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  return GetSecurityDescriptorControl(security, &control, &revision) && (control & SE_DACL_PROTECTED) != 0;
}

bool IsTrustedOwner(PSID owner) {
  return owner != nullptr && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid));
}

// Leaves the object owned by Administrators with exactly the access list of `wanted`; changes
// nothing when it already is. False when it can't be made so.
bool MakeSafe(HANDLE object, PSECURITY_DESCRIPTOR wanted) {
  PSID owner = nullptr;
  PACL current = nullptr;
  PSECURITY_DESCRIPTOR found = nullptr;
  bool same = false;
  if (GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &current,
                      nullptr, &found) == ERROR_SUCCESS) {
    WCHAR* foundText = nullptr;
    WCHAR* wantedText = nullptr;
    const WCHAR* foundEntries = nullptr;
    const WCHAR* wantedEntries = nullptr;
    same = IsTrustedOwner(owner) && IsProtected(found) && AccessListText(found, foundText, foundEntries) &&
           AccessListText(wanted, wantedText, wantedEntries) && lstrcmpW(foundEntries, wantedEntries) == 0;
    if (foundText != nullptr) LocalFree(foundText);
    if (wantedText != nullptr) LocalFree(wantedText);
  }
  if (found != nullptr) LocalFree(found);
  if (same) return true;
  PSID administrators = nullptr;
  PACL list = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(wanted, &administrators, &defaulted) || !GetSecurityDescriptorDacl(wanted, &present, &list, &defaulted))
    return false;
  return SetSecurityInfo(object, SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, administrators,
                         nullptr, list, nullptr) == ERROR_SUCCESS;
}

bool JoinPath(WCHAR* path, const WCHAR* name) {
  int used = lstrlenW(path);
  int n = _snwprintf(path + used, MAX_PATH - 1 - used, L"\\%s", name);
  path[MAX_PATH - 1] = 0;
  return n > 0 && used + n < MAX_PATH - 1;
}

}  // namespace

HANDLE OpenLogFolder(WCHAR* path) {
  path[0] = 0;
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == 0) return nullptr;
  PSECURITY_DESCRIPTOR wanted = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(LogFolderSecurity, SDDL_REVISION_1, &wanted, nullptr)) return nullptr;
  PrivilegeScope privileges;
  // The common data folder is the system's: only checked. No share for deletion: nobody moves a
  // folder away while the installer holds it.
  HANDLE folder = CreateFileW(path, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) folder = nullptr;
  if (folder != nullptr && IsNotPlainAt(folder, path)) {
    CloseHandle(folder);
    folder = nullptr;
  }
  for (const WCHAR* name : FolderNames) {
    if (folder == nullptr) break;
    HANDLE child =
        JoinPath(path, name) ? OpenRelative(folder, name, FolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, DirectoryOnly, wanted) : nullptr;
    CloseHandle(folder);
    folder = child;
    if (folder != nullptr && (IsNotPlainAt(folder, path) || !MakeSafe(folder, wanted))) {
      CloseHandle(folder);
      folder = nullptr;
    }
  }
  LocalFree(wanted);
  if (folder == nullptr) path[0] = 0;
  return folder;
}

HANDLE OpenLogFileIn(HANDLE folder, const WCHAR* folderPath, const WCHAR* name) {
  WCHAR path[MAX_PATH] = {};
  lstrcpynW(path, folderPath, MAX_PATH);
  if (!JoinPath(path, name)) return nullptr;
  // The file's own list: the folder's, without the inheritance that only folders pass on.
  PSECURITY_DESCRIPTOR wanted = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)", SDDL_REVISION_1, &wanted,
                                                            nullptr))
    return nullptr;
  PrivilegeScope privileges;
  HANDLE file = OpenRelative(folder, name, LogFileAccess, FILE_SHARE_READ, FileOnly, wanted);
  BY_HANDLE_FILE_INFORMATION information = {};
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  // A second link would make the log write into a file it was never meant to touch.
  if (file != nullptr &&
      (!GetFileInformationByHandle(file, &information) || information.nNumberOfLinks > 1 ||
       !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag)) ||
       (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsNotPlainAt(file, path) || !MakeSafe(file, wanted))) {
    CloseHandle(file);
    file = nullptr;
  }
  LocalFree(wanted);
  return file;
}

bool RenameInFolder(HANDLE file, HANDLE folder, const WCHAR* newName) {
  SetInformationProc set = reinterpret_cast<SetInformationProc>(reinterpret_cast<void*>(NativeCall("NtSetInformationFile")));
  int length = lstrlenW(newName);
  if (set == nullptr || length <= 0 || length >= MAX_PATH) return false;
  RenameInformation rename = {};
  rename.ReplaceIfExists = TRUE;
  rename.RootDirectory = folder;
  rename.FileNameLength = static_cast<ULONG>(length * sizeof(WCHAR));
  lstrcpyW(rename.FileName, newName);
  IO_STATUS_BLOCK status = {};
  return set(file, &status, &rename, sizeof(rename), RenameInformationClass) >= 0;
}
