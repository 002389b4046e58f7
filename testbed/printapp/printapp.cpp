// An application of the test bed that prints the way any Windows program prints RAW data, and
// reports what the spooler holds. 64-bit; run it beside the spooler stand-in's winspool.drv.
//   printapp print PRINTER DOCUMENT FILE   one job: OpenPrinterW, StartDocPrinterW (DOC_INFO_1
//                                          with DOCUMENT, RAW), WritePrinter, EndDocPrinter
//   printapp state                         monitors, x64 drivers with their files, printers with
//                                          their ports and queued jobs, running quilltray.exe
//   printapp shell                         the signed-in user's desktop shell (Explorer's part):
//                                          a window made the shell window (SetShellWindow) until
//                                          its standard input ends; says "shell" once it is set.
//                                          Wine headless has no shell, and an elevated installer
//                                          starts the tray program with the shell's token.
// Exit code 0, or the Windows error of the call that failed. Output: UTF-8 text.
#include <windows.h>
#include <tlhelp32.h>
#include <winspool.h>

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

void Out(const wchar_t* format, ...) {
  wchar_t line[2048];
  va_list args;
  va_start(args, format);
  _vsnwprintf(line, 2047, format, args);
  va_end(args);
  line[2047] = L'\0';
  char utf8[8192];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8), nullptr, nullptr);
  DWORD written = 0;
  if (bytes > 1) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8, static_cast<DWORD>(bytes - 1), &written, nullptr);
}

DWORD Fail(const wchar_t* call) {
  DWORD error = GetLastError();
  Out(L"%ls failed: error %lu\n", call, error);
  return error ? error : 1;
}

// The two-call protocol of the spooler's enumerations; false when the second call fails.
template <typename Enumerate>
bool Enumerated(std::vector<BYTE>& buffer, DWORD& count, Enumerate enumerate) {
  DWORD needed = 0;
  count = 0;
  if (!enumerate(nullptr, 0, &needed, &count) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  buffer.assign(needed + 1, 0);
  return needed == 0 || enumerate(buffer.data(), needed, &needed, &count);
}

int Print(const wchar_t* printerName, const wchar_t* document, const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(L"CreateFileW");
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr)) {
    DWORD error = Fail(L"OpenPrinterW");
    CloseHandle(file);
    return error;
  }
  DOC_INFO_1W info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info));
  DWORD error = job ? 0 : Fail(L"StartDocPrinterW");
  ULONGLONG total = 0;
  static char block[65536];
  DWORD read = 0;
  while (!error && ReadFile(file, block, sizeof(block), &read, nullptr) && read > 0) {
    for (DWORD offset = 0, written = 0; !error && offset < read; offset += written)
      if (!WritePrinter(printer, block + offset, read - offset, &written)) error = Fail(L"WritePrinter");
    total += read;
  }
  if (!error && !EndDocPrinter(printer)) error = Fail(L"EndDocPrinter");
  ClosePrinter(printer);
  CloseHandle(file);
  if (!error) Out(L"job %lu: %llu bytes printed to \"%ls\" as \"%ls\"\n", job, total, printerName, document);
  return static_cast<int>(error);
}

void ShowMonitors() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerated(buffer, count, [&](BYTE* b, DWORD size, DWORD* needed, DWORD* returned) {
        return EnumMonitorsW(nullptr, 2, b, size, needed, returned);
      })) {
    Fail(L"EnumMonitorsW");
    return;
  }
  Out(L"port monitors:\n");
  const MONITOR_INFO_2W* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    Out(L"  \"%ls\"  %ls\n", monitors[i].pName, monitors[i].pDLLName ? monitors[i].pDLLName : L"(built in)");
}

void ShowDrivers() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerated(buffer, count, [&](BYTE* b, DWORD size, DWORD* needed, DWORD* returned) {
        return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(L"Windows x64"), 3, b, size, needed, returned);
      })) {
    Fail(L"EnumPrinterDriversW");
    return;
  }
  Out(L"printer drivers (Windows x64): %lu\n", count);
  const DRIVER_INFO_3W* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    Out(L"  \"%ls\" (version %lu)\n", drivers[i].pName, drivers[i].cVersion);
    const wchar_t* files[] = {drivers[i].pDriverPath, drivers[i].pDataFile, drivers[i].pConfigFile, drivers[i].pHelpFile};
    const wchar_t* roles[] = {L"driver", L"data", L"configuration", L"help"};
    for (int f = 0; f < 4; ++f) {
      if (!files[f] || !*files[f]) continue;
      DWORD attributes = GetFileAttributesW(files[f]);
      Out(L"    %-13ls %ls%ls\n", roles[f], files[f], attributes == INVALID_FILE_ATTRIBUTES ? L"  (missing!)" : L"");
    }
  }
}

void ShowJobs(const wchar_t* printerName) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr)) return;
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (Enumerated(buffer, count, [&](BYTE* b, DWORD size, DWORD* needed, DWORD* returned) {
        return EnumJobsW(printer, 0, 100, 1, b, size, needed, returned);
      })) {
    const JOB_INFO_1W* jobs = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      Out(L"    job %lu \"%ls\"%ls%ls\n", jobs[i].JobId, jobs[i].pDocument,
          jobs[i].Status & JOB_STATUS_ERROR ? L"  error: " : L"", jobs[i].pStatus ? jobs[i].pStatus : L"");
    if (count == 0) Out(L"    no jobs queued\n");
  }
  ClosePrinter(printer);
}

void ShowPrinters() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Enumerated(buffer, count, [&](BYTE* b, DWORD size, DWORD* needed, DWORD* returned) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, size, needed, returned);
      })) {
    Fail(L"EnumPrintersW");
    return;
  }
  Out(L"printers: %lu\n", count);
  const PRINTER_INFO_2W* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    Out(L"  \"%ls\"  port \"%ls\"  driver \"%ls\"\n", printers[i].pPrinterName, printers[i].pPortName,
        printers[i].pDriverName);
    ShowJobs(printers[i].pPrinterName);
  }
}

void ShowTrayProcesses() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"quilltray.exe") != 0) continue;
    wchar_t path[MAX_PATH] = L"?";
    DWORD size = MAX_PATH;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (process) {
      if (!QueryFullProcessImageNameW(process, 0, path, &size)) lstrcpyW(path, L"?");
      CloseHandle(process);
    }
    Out(L"quilltray running: process %lu  %ls\n", entry.th32ProcessID, path);
    ++found;
  }
  CloseHandle(snapshot);
  if (!found) Out(L"quilltray running: none\n");
}

int PlayShell() {
  typedef BOOL(WINAPI * SetShellWindowProc)(HWND);
  SetShellWindowProc set =
      reinterpret_cast<SetShellWindowProc>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
  HWND window = CreateWindowExW(0, L"STATIC", L"Test bed shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!window || !set || !set(window) || GetShellWindow() != window) return GetLastError() ? GetLastError() : ERROR_ALREADY_EXISTS;
  Out(L"shell\n");
  fflush(stdout);
  // The window needs no messages to stay the shell window; the end of the input ends it.
  char block[256];
  DWORD got = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, block, sizeof(block), &got, nullptr) && got > 0) {
  }
  DestroyWindow(window);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && wcscmp(argv[1], L"print") == 0) return Print(argv[2], argv[3], argv[4]);
  if (argc == 2 && wcscmp(argv[1], L"state") == 0) {
    DWORD needed = 0, count = 0;
    if (!EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count) && GetLastError() == RPC_S_SERVER_UNAVAILABLE) {
      Out(L"the spooler service is not running\n");
    } else {
      ShowMonitors();
      ShowDrivers();
      ShowPrinters();
    }
    ShowTrayProcesses();
    return 0;
  }
  if (argc == 2 && wcscmp(argv[1], L"shell") == 0) return PlayShell();
  Out(L"usage: printapp print PRINTER DOCUMENT FILE | printapp state | printapp shell\n");
  return ERROR_INVALID_PARAMETER;
}
