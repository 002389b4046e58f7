// Throughput of the job pipe through quilltray, next to a baseline measured in the same run.
//
//   quilltray_bench [MiB for the single job, default 256]
//
// 1. Baseline: the same bytes through a plain message-mode named pipe (65535-byte messages, read
//    in byte mode) into a file in the temporary folder, both ends in this process.
// 2. One job of that size through quilltray in 65535-byte SpoolData records; the time runs from
//    the connection until the dispatcher has read the last record and the file is complete.
// 3. 32 concurrent connections, each a 4 MiB job; the total time.
// Every file is checked byte for byte. quilltray.exe beside this program is started when none
// listens, and ended again with an Exit record.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

#include "modules/jobpipe/job_pipe_writer.h"

namespace {

const DWORD BlockSize = 1 << 20;
const DWORD RecordSize = QUILL_MAX_PAYLOAD;

// Job number seed repeats one 1 MiB block; kept twice so that any record-sized slice is contiguous.
struct Pattern {
  BYTE* Bytes;
  explicit Pattern(unsigned seed) : Bytes(static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 2 * BlockSize))) {
    unsigned value = seed * 2654435761u + 7;
    for (DWORD i = 0; i < BlockSize; ++i) {
      value = value * 1103515245u + 12345u;
      Bytes[i] = Bytes[i + BlockSize] = static_cast<BYTE>(value >> 16);
    }
  }
  ~Pattern() { LocalFree(Bytes); }
  const BYTE* At(ULONGLONG offset) const { return Bytes + offset % BlockSize; }
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

bool FileMatches(const std::wstring& path, const Pattern& pattern, ULONGLONG size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, BlockSize));
  ULONGLONG offset = 0;
  bool same = true;
  DWORD read = 0;
  while (same && ReadFile(file, buffer, BlockSize, &read, nullptr) && read > 0) {
    same = offset + read <= size && memcmp(buffer, pattern.At(offset), read) == 0;
    offset += read;
  }
  LocalFree(buffer);
  CloseHandle(file);
  return same && offset == size;
}

// Waits until the dispatcher's file is complete: it has written the last record when its size is
// reached and the file can be opened (the dispatcher holds it without sharing until it closes it).
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

// --- baseline --------------------------------------------------------------------------------

struct BaselineReader {
  const char* PipeName;
  std::wstring FilePath;
  HANDLE Ready;
};

DWORD WINAPI BaselineReaderThread(LPVOID parameter) {
  BaselineReader* reader = static_cast<BaselineReader*>(parameter);
  HANDLE pipe = INVALID_HANDLE_VALUE;
  while ((pipe = CreateFileA(reader->PipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE) Sleep(1);
  HANDLE file = CreateFileW(reader->FilePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, RecordSize));
  DWORD read = 0;
  for (;;) {
    BOOL ok = ReadFile(pipe, buffer, RecordSize, &read, nullptr);
    if (!ok && GetLastError() != ERROR_MORE_DATA) break;
    if (read == 0) break;
    DWORD written = 0;
    WriteFile(file, buffer, read, &written, nullptr);
  }
  LocalFree(buffer);
  CloseHandle(file);
  CloseHandle(pipe);
  return 0;
}

double RunBaseline(const Pattern& pattern, ULONGLONG size, bool* intact) {
  char name[96];
  _snprintf(name, sizeof(name), "\\\\.\\pipe\\quillstack-bench-%lu", GetCurrentProcessId());
  name[sizeof(name) - 1] = '\0';
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, QUILL_TAKEOVER_PIPE_BUFFER_SIZE,
                                 QUILL_TAKEOVER_PIPE_BUFFER_SIZE, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return 0;
  BaselineReader reader = {name, TempPath(L"quillstack-bench-baseline.bin"), nullptr};
  LARGE_INTEGER start = Now();
  HANDLE thread = CreateThread(nullptr, 0, BaselineReaderThread, &reader, 0, nullptr);
  if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 0;
  for (ULONGLONG sent = 0; sent < size;) {
    DWORD chunk = static_cast<DWORD>(size - sent < RecordSize ? size - sent : RecordSize);
    DWORD written = 0;
    if (!WriteFile(pipe, pattern.At(sent), chunk, &written, nullptr)) break;
    sent += chunk;
  }
  FlushFileBuffers(pipe);
  CloseHandle(pipe);
  WaitForSingleObject(thread, INFINITE);
  LARGE_INTEGER end = Now();
  CloseHandle(thread);
  *intact = FileMatches(reader.FilePath, pattern, size);
  DeleteFileW(reader.FilePath.c_str());
  return Seconds(start, end);
}

// --- through quilltray ---------------------------------------------------------------------------

struct Job {
  unsigned Seed;
  ULONGLONG Size;
  bool Sent;
  bool Intact;
};

std::wstring JobTitle(unsigned seed) {
  wchar_t title[64];
  _snwprintf(title, 64, L"quillstack-bench-%u", seed);
  title[63] = L'\0';
  return title;
}

bool SendJob(const Job& job, const Pattern& pattern) {
  JobPipeWriter writer;
  if (!ConnectJobPipe(&writer, 30000)) return false;
  bool ok = WriteOpenSpool(&writer, 0, JobTitle(job.Seed).c_str());
  for (ULONGLONG sent = 0; ok && sent < job.Size;) {
    WORD chunk = static_cast<WORD>(job.Size - sent < RecordSize ? job.Size - sent : RecordSize);
    ok = WriteRecord(&writer, RECORD_SPOOL_DATA, pattern.At(sent), chunk);
    sent += chunk;
  }
  // Handed off, so the file stays (with no main application registered nothing is started).
  ok = ok && WriteJobDoneOpen(&writer, 0);
  CloseJobPipeWriter(&writer, true);
  return ok;
}

DWORD WINAPI JobThread(LPVOID parameter) {
  Job* job = static_cast<Job*>(parameter);
  Pattern pattern(job->Seed);
  job->Sent = SendJob(*job, pattern);
  return 0;
}

bool CheckJob(Job* job) {
  Pattern pattern(job->Seed);
  std::wstring path = TempPath((JobTitle(job->Seed) + L".Quillstack").c_str());
  job->Intact = job->Sent && WaitForClosedFile(path, job->Size, 60000) && FileMatches(path, pattern, job->Size);
  DeleteFileW(path.c_str());
  return job->Intact;
}

bool EnsureDispatcher(PROCESS_INFORMATION* started) {
  ZeroMemory(started, sizeof(*started));
  if (WaitNamedPipeA(QUILL_JOB_PIPE_NAME, NMPWAIT_NOWAIT) || GetLastError() != ERROR_FILE_NOT_FOUND) return true;
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  wcscpy(wcsrchr(exe, L'\\') + 1, L"quilltray.exe");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(exe, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, started)) return false;
  for (int i = 0; i < 1000; ++i) {
    if (WaitNamedPipeA(QUILL_JOB_PIPE_NAME, 20)) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  ULONGLONG megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 256;
  ULONGLONG size = megabytes << 20;
  PROCESS_INFORMATION dispatcher;
  if (!EnsureDispatcher(&dispatcher)) {
    printf("no dispatcher listens and quilltray.exe could not be started\n");
    return 2;
  }
  for (unsigned seed = 0; seed <= 32; ++seed) DeleteFileW(TempPath((JobTitle(seed) + L".Quillstack").c_str()).c_str());

  Pattern pattern(0);
  bool baselineIntact = false;
  double baseline = RunBaseline(pattern, size, &baselineIntact);

  Job single = {0, size, false, false};
  LARGE_INTEGER start = Now();
  single.Sent = SendJob(single, pattern);
  bool complete = single.Sent && WaitForClosedFile(TempPath((JobTitle(0) + L".Quillstack").c_str()), size, 60000);
  double through = Seconds(start, Now());
  CheckJob(&single);

  const int connections = 32;
  Job jobs[connections];
  HANDLE threads[connections];
  start = Now();
  for (int i = 0; i < connections; ++i) {
    jobs[i] = {static_cast<unsigned>(i + 1), 4ull << 20, false, false};
    threads[i] = CreateThread(nullptr, 0, JobThread, &jobs[i], 0, nullptr);
  }
  WaitForMultipleObjects(connections, threads, TRUE, INFINITE);
  for (int i = 0; i < connections; ++i) WaitForClosedFile(TempPath((JobTitle(jobs[i].Seed) + L".Quillstack").c_str()), jobs[i].Size, 60000);
  double concurrent = Seconds(start, Now());
  int intact = 0;
  for (int i = 0; i < connections; ++i) {
    CloseHandle(threads[i]);
    if (CheckJob(&jobs[i])) ++intact;
  }

  double mib = static_cast<double>(size) / (1 << 20);
  printf("baseline, plain message-mode pipe into a file: %.1f MiB/s (%.2f s for %.0f MiB)%s\n", mib / baseline, baseline, mib,
         baselineIntact ? "" : " - FILE DIFFERS");
  printf("through quilltray, 65535-byte SpoolData records: %.1f MiB/s (%.2f s)%s\n", mib / through, through,
         complete && single.Intact ? "" : " - FILE DIFFERS");
  printf("ratio: %.2f of the baseline\n", baseline / through);
  printf("32 concurrent connections of 4 MiB each: %.2f s in all, %d of %d files intact\n", concurrent, intact, connections);

  if (dispatcher.hProcess) {
    JobPipeWriter writer;
    if (ConnectJobPipe(&writer, 10000)) {
      WriteRecord(&writer, RECORD_EXIT, nullptr, 0);
      CloseJobPipeWriter(&writer, true);
    }
    if (WaitForSingleObject(dispatcher.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(dispatcher.hProcess, 1);
    CloseHandle(dispatcher.hThread);
    CloseHandle(dispatcher.hProcess);
  }
  return baselineIntact && single.Intact && intact == connections ? 0 : 1;
}
