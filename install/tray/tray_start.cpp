#include "tray_start.h"

#include "../log/install_log.h"

namespace {

typedef BOOL(WINAPI* CreateProcessWithTokenProc)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                                  LPPROCESS_INFORMATION);
typedef BOOL(WINAPI* QueryUserTokenProc)(ULONG, PHANDLE);
typedef DWORD(WINAPI* ActiveConsoleSessionProc)();
typedef BOOL(WINAPI* CreateEnvironmentBlockProc)(LPVOID*, HANDLE, BOOL);
typedef BOOL(WINAPI* DestroyEnvironmentBlockProc)(LPVOID);

const DWORD NoSession = 0xFFFFFFFF;

FARPROC SystemExport(const WCHAR* module, const char* name) {
  HMODULE loaded = GetModuleHandleW(module);
  if (loaded == nullptr) loaded = LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return loaded != nullptr ? GetProcAddress(loaded, name) : nullptr;
}

// Whether the installer runs as LocalSystem (a deployment tool's service), and whether its
// token is an elevated one (an administrator's full token, which the tray must never get).
bool RunsAsLocalSystem() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  // Aligned for TOKEN_USER, which starts with a pointer.
  DWORD_PTR buffer[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD_PTR) + 1] = {};
  DWORD bytes = 0;
  const TOKEN_USER* user = static_cast<const TOKEN_USER*>(static_cast<void*>(buffer));
  bool system = GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &bytes) && IsWellKnownSid(user->User.Sid, WinLocalSystemSid);
  CloseHandle(token);
  return system;
}

bool RunsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD bytes = 0;
  // Unknown counts as elevated: the installer asks for administrator rights.
  bool elevated = !GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &bytes) || elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

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
// false when there is no shell or the start failed.
bool StartAsShellUser(WCHAR* commandLine, STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
  CreateProcessWithTokenProc start =
      reinterpret_cast<CreateProcessWithTokenProc>(reinterpret_cast<void*>(SystemExport(L"advapi32.dll", "CreateProcessWithTokenW")));
  if (start == nullptr) return false;
  HANDLE token = ShellUserToken();
  if (token == nullptr) return false;
  // No environment block: the new process gets the one of the token's user.
  bool started = start(token, 0, nullptr, commandLine, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process) != FALSE;
  CloseHandle(token);
  return started;
}

// The session whose user gets the tray: the installer's own, or the console's when the installer
// runs in the services' session 0.
DWORD UserSession() {
  DWORD session = NoSession;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = NoSession;
  if (session == 0 || session == NoSession) {
    ActiveConsoleSessionProc console =
        reinterpret_cast<ActiveConsoleSessionProc>(reinterpret_cast<void*>(SystemExport(L"kernel32.dll", "WTSGetActiveConsoleSessionId")));
    session = console != nullptr ? console() : NoSession;
  }
  return session;
}

// As LocalSystem: starts the command line with the token of the user signed in to the session
// (WTSQueryUserToken), in that user's desktop and environment. False when nobody is signed in
// there or the start failed.
bool StartAsSessionUser(DWORD session, WCHAR* commandLine, STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
  QueryUserTokenProc query = reinterpret_cast<QueryUserTokenProc>(reinterpret_cast<void*>(SystemExport(L"wtsapi32.dll", "WTSQueryUserToken")));
  HANDLE token = nullptr;
  if (session == NoSession || query == nullptr || !query(session, &token) || token == nullptr) return false;
  CreateEnvironmentBlockProc create =
      reinterpret_cast<CreateEnvironmentBlockProc>(reinterpret_cast<void*>(SystemExport(L"userenv.dll", "CreateEnvironmentBlock")));
  DestroyEnvironmentBlockProc destroy =
      reinterpret_cast<DestroyEnvironmentBlockProc>(reinterpret_cast<void*>(SystemExport(L"userenv.dll", "DestroyEnvironmentBlock")));
  // The user's own environment: the tray stores jobs in the user's temporary folder, not SYSTEM's.
  void* environment = nullptr;
  if (create == nullptr || destroy == nullptr || !create(&environment, token, FALSE)) environment = nullptr;
  STARTUPINFOW userStartup = startup;
  userStartup.lpDesktop = const_cast<WCHAR*>(L"winsta0\\default");
  bool started = environment != nullptr &&
                 CreateProcessAsUserW(token, nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT,
                                      environment, nullptr, &userStartup, &process) != FALSE;
  if (environment != nullptr) destroy(environment);
  CloseHandle(token);
  return started;
}

}  // namespace

void StartTrayProgram(InstallContext& context, WCHAR* commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  bool started = false;
  if (RunsAsLocalSystem()) {
    DWORD session = UserSession();
    started = StartAsSessionUser(session, commandLine, startup, process);
    if (started) LogLine(context, L"Tray program started as the user of session %d", static_cast<int>(session));
    else LogLine(context, L"Tray program not started: no user signed in to session %d; the Run value starts it at the next logon",
                 static_cast<int>(session));
  } else if (!RunsElevated()) {
    // Not elevated, the installer's token is the signed-in user's own.
    started = CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process) != FALSE;
    if (started) LogLine(context, L"Tray program started as the installing user");
    else LogLine(context, L"Tray program not started (%d); the Run value starts it at the next logon", static_cast<int>(GetLastError()));
  } else {
    started = StartAsShellUser(commandLine, startup, process);
    if (started) LogLine(context, L"Tray program started as the user of the desktop shell");
    else LogLine(context, L"Tray program not started: no token of the signed-in user; the Run value starts it at the next logon");
  }
  if (started) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

