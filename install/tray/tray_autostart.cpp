#include "tray_autostart.h"

namespace {

bool EndsWithSeparator(const WideBuffer& path) {
  UINT64 length = Length(path);
  if (length == 0) return false;
  WCHAR last = Text(path)[length - 1];
  return last == L'\\' || last == L'/';
}

bool IsVistaOrLater() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

typedef BOOL(WINAPI* CreateProcessWithTokenProc)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                                  LPPROCESS_INFORMATION);

// A primary token of the desktop shell of this session: the signed-in user's own, not elevated,
// even when the installer runs with an administrator's credentials typed over that session.
// Null where there is no shell (a service's session, Windows without Explorer, Wine headless).
HANDLE ShellUserToken() {
  HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0 || processId == 0) return nullptr;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return nullptr;
  HANDLE token = nullptr;
  HANDLE primary = nullptr;
  if (OpenProcessToken(process, TOKEN_DUPLICATE, &token)) {
    const DWORD access = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
    if (!DuplicateTokenEx(token, access, nullptr, SecurityImpersonation, TokenPrimary, &primary)) primary = nullptr;
    CloseHandle(token);
  }
  CloseHandle(process);
  return primary;
}

// Starts the command line as the shell's user (CreateProcessWithTokenW, looked up at run time);
// false when there is no shell or the start failed, and the caller starts it as itself.
bool StartAsShellUser(WCHAR* commandLine, STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
  HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  CreateProcessWithTokenProc start =
      advapi != nullptr ? reinterpret_cast<CreateProcessWithTokenProc>(
                              reinterpret_cast<void*>(GetProcAddress(advapi, "CreateProcessWithTokenW")))
                        : nullptr;
  if (start == nullptr) return false;
  HANDLE token = ShellUserToken();
  if (token == nullptr) return false;
  // No environment block: the new process gets the one of the token's user.
  bool started = start(token, 0, nullptr, commandLine, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process) != FALSE;
  CloseHandle(token);
  return started;
}

}  // namespace

WideBuffer TrayProgramPath(const InstallContext& context) {
  WideBufferScope directory(Clone(context.ModuleDirectory));
  if (EndsWithSeparator(directory.Value)) SetLength(directory.Value, Length(directory.Value) - 1);
  WideBuffer path = DirectoryPart(directory.Value);
  if (Length(path) != 0 && !EndsWithSeparator(path)) AppendWide(path, L"\\");
  AppendWide(path, TrayProgramName);
  return path;
}

void InstallTrayAutostart(InstallContext& context) {
  if (context.InstallTray == 0 || !IsVistaOrLater()) return;
  WideBufferScope path(TrayProgramPath(context));
  // The same quoted text serves as the Run value and as the command line of the start below.
  WideBufferScope quoted;
  AppendWide(quoted.Value, L"\"");
  AppendWide(quoted.Value, Text(path.Value));
  AppendWide(quoted.Value, L"\"");
  if (Length(quoted.Value) != Length(path.Value) + 2) return;  // out of memory

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TrayRunKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    DWORD bytes = static_cast<DWORD>((Length(quoted.Value) + 1) * sizeof(WCHAR));
    RegSetValueExW(key, TrayRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(Text(quoted.Value)), bytes);
    RegCloseKey(key);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  // The tray program and every file it receives belong to the signed-in user, not to the
  // administrator the installer runs as.
  if (StartAsShellUser(MutableText(quoted.Value), startup, process) ||
      CreateProcessW(nullptr, MutableText(quoted.Value), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}
