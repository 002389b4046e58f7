// Throughput of the port monitor into quilltray, next to a baseline measured in the same run.
//
//   monitor_bench [MiB, default 256] [rounds, default 3]
//
// 1. Baseline: the same bytes through a plain message-mode named pipe (65535-byte messages) into
//    a file in the temporary folder, both ends in this process.
// 2. vtxmon64.dll loaded as the spooler loads it (InitializePrintMonitor2, OpenPort,
//    StartDocPort, WritePort, EndDocPort) printing one job into quilltray, once in 4 KiB and once
//    in 64 KiB WritePort calls; the time runs from StartDocPort until quilltray has closed the
//    complete file.
// Each round runs the three one after another; the figures are the medians of the rounds, so that
// a burst of other work on a shared machine does not decide the ratios. Every file is compared
// byte for byte; the exit code is 0 only when all are intact.
// quilltray.exe beside this program is started (with the main-application stand-in) when none
// listens.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "modules/monitor/tests/spooler_side.h"
#include "quilltray/tests/tray_test_support.h"

namespace {

const DWORD RecordSize = QUILL_MAX_PAYLOAD;

double SecondsSince(LARGE_INTEGER from) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

// quilltray holds its file without sharing until it has closed it.
bool WaitForClosedFile(const std::wstring& path, ULONGLONG size, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      LARGE_INTEGER length = {};
      GetFileSizeEx(file, &length);
      CloseHandle(file);
      if (static_cast<ULONGLONG>(length.QuadPart) == size) return true;
    }
    Sleep(1);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

bool FileMatches(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string buffer(1 << 20, '\0');
  size_t offset = 0;
  bool same = true;
  DWORD read = 0;
  while (same && ReadFile(file, &buffer[0], 1 << 20, &read, nullptr) && read > 0) {
    same = offset + read <= data.size() && memcmp(buffer.data(), data.data() + offset, read) == 0;
    offset += read;
  }
  CloseHandle(file);
  return same && offset == data.size();
}

struct BaselineReader {
  const char* PipeName;
  std::wstring FilePath;
};

DWORD WINAPI BaselineReaderThread(LPVOID parameter) {
  BaselineReader* reader = static_cast<BaselineReader*>(parameter);
  HANDLE pipe = INVALID_HANDLE_VALUE;
  while ((pipe = CreateFileA(reader->PipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE)
    Sleep(1);
  HANDLE file = CreateFileW(reader->FilePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string buffer(RecordSize, '\0');
  DWORD read = 0;
  for (;;) {
    BOOL ok = ReadFile(pipe, &buffer[0], RecordSize, &read, nullptr);
    if ((!ok && GetLastError() != ERROR_MORE_DATA) || read == 0) break;
    DWORD written = 0;
    WriteFile(file, buffer.data(), read, &written, nullptr);
  }
  CloseHandle(file);
  CloseHandle(pipe);
  return 0;
}

double RunBaseline(const std::string& data, bool* intact) {
  char name[96];
  _snprintf(name, sizeof(name), "\\\\.\\pipe\\quillstack-monitor-bench-%lu", GetCurrentProcessId());
  name[sizeof(name) - 1] = '\0';
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                 QUILL_TAKEOVER_PIPE_BUFFER_SIZE, QUILL_TAKEOVER_PIPE_BUFFER_SIZE, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return 0;
  BaselineReader reader = {name, TempFolder() + L"quillstack-monitor-bench-baseline.bin"};
  LARGE_INTEGER start = Now();
  HANDLE thread = CreateThread(nullptr, 0, BaselineReaderThread, &reader, 0, nullptr);
  if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 0;
  for (size_t sent = 0; sent < data.size();) {
    DWORD chunk = static_cast<DWORD>(data.size() - sent < RecordSize ? data.size() - sent : RecordSize);
    DWORD written = 0;
    if (!WriteFile(pipe, data.data() + sent, chunk, &written, nullptr)) break;
    sent += chunk;
  }
  FlushFileBuffers(pipe);
  CloseHandle(pipe);
  WaitForSingleObject(thread, INFINITE);
  double seconds = SecondsSince(start);
  CloseHandle(thread);
  *intact = FileMatches(reader.FilePath, data);
  DeleteFileW(reader.FilePath.c_str());
  return seconds;
}

double RunThroughMonitor(MonitorModule& monitor, const std::string& data, size_t piece, bool* intact) {
  wchar_t portName[] = L"Quillstack:";
  wchar_t document[32];
  _snwprintf(document, 32, L"monitor-bench-%u", static_cast<unsigned>(piece));
  document[31] = 0;
  std::wstring file = TempFolder() + document + L".Quillstack";
  DeleteFileW(file.c_str());
  HANDLE port = nullptr;
  *intact = false;
  if (!monitor.Calls->pfnOpenPort(monitor.Monitor, portName, &port)) return 0;
  LARGE_INTEGER start = Now();
  DWORD error = PrintJob(monitor, port, document, data.data(), data.size(), piece);
  monitor.Calls->pfnClosePort(port);
  if (error || !WaitForClosedFile(file, data.size(), 120000)) {
    fprintf(stderr, "job in %u-byte writes failed: error %lu\n", static_cast<unsigned>(piece), error);
    return 0;
  }
  double seconds = SecondsSince(start);
  *intact = FileMatches(file, data);
  DeleteFileW(file.c_str());
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  unsigned mib = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 256;
  if (mib == 0) mib = 256;
  std::string data = PatternBytes(static_cast<size_t>(mib) << 20, 5);
  MainAppScope app;
  TrayProcess tray;
  if (!WaitForJobPipe(200) && !tray.Start()) {
    fprintf(stderr, "quilltray.exe did not start\n");
    return 2;
  }
  MonitorModule monitor;
  if (!monitor.Load(BesideTest(L"vtxmon64.dll"))) {
    fprintf(stderr, "vtxmon64.dll did not load: %lu\n", GetLastError());
    return 2;
  }
  unsigned rounds = argc > 2 ? static_cast<unsigned>(atoi(argv[2])) : 3;
  if (rounds == 0) rounds = 3;
  std::vector<double> baseline, small, large;
  bool intact = true;
  for (unsigned round = 1; round <= rounds; ++round) {
    bool baselineIntact = false, smallIntact = false, largeIntact = false;
    baseline.push_back(RunBaseline(data, &baselineIntact));
    large.push_back(RunThroughMonitor(monitor, data, 65536, &largeIntact));
    small.push_back(RunThroughMonitor(monitor, data, 4096, &smallIntact));
    intact = intact && baselineIntact && smallIntact && largeIntact;
    printf("round %u: baseline %.2f s, 64 KiB writes %.2f s, 4 KiB writes %.2f s%s\n", round, baseline.back(),
           large.back(), small.back(), baselineIntact && smallIntact && largeIntact ? "" : ", a file DIFFERS");
  }
  double size = static_cast<double>(mib);
  double base = Median(baseline), big = Median(large), little = Median(small);
  printf("%u MiB, medians of %u rounds:\n", mib, rounds);
  printf("baseline (message pipe into a file): %.2f s, %.1f MiB/s\n", base, size / base);
  printf("vtxmon64, 64 KiB WritePort calls:    %.2f s, %.1f MiB/s, ratio %.2f\n", big, size / big, base / big);
  printf("vtxmon64, 4 KiB WritePort calls:     %.2f s, %.1f MiB/s, ratio %.2f\n", little, size / little, base / little);
  printf("%s\n", intact ? "every file intact" : "a file DIFFERS");
  return intact ? 0 : 1;
}
