// Soak of a running quilltray.exe with record streams generated from a seed.
//
//   quilltray_soak [--streams N] [--seed S] [--writers W]
//
// Starts quilltray.exe beside this program (none may be listening yet) with the main-application
// stand-in registered, and sends N streams from W threads at once. A stream is a connection that
// knocks and leaves, one that reads its Hello and never opens its data pipe, or a data pipe with
// random records: any type but Exit and StopListening, titles of device names, separators, dots,
// odd byte lengths and characters outside the code page, payloads cut short, abrupt hang-ups and
// stalls, all written in random pieces. Each stream follows the dispatcher's rules in a model of
// its own, so it knows which of its files must stay (handed off, or closed by CloseSpool and then
// replaced by a new file) and which bytes they hold; every file starts with a tag naming its
// stream. After the streams one normal job must arrive whole. Then, from outside: the same
// process still runs; its handles, threads and working set are within bounds of the figures
// taken after a warm-up; no file outside the temporary folder was written; every file left in it
// is one the model expects, with the expected bytes, and every handed-off file reached the
// main application. Exit code 0 when all holds.
#include <windows.h>

#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "quilltray/tests/process_figures.h"
#include "quilltray/tests/tray_test_support.h"
#include "shared/quillstack_ids.h"

namespace {

// Growth allowed after the warm-up, once the connections have ended.
const ULONG HandleBound = 24;
const ULONG ThreadBound = 2;
const SIZE_T WorkingSetBound = 12 << 20;
const wchar_t LastJobName[] = L"soak last job.Quillstack";

struct Rng {
  uint64_t State;
  uint64_t Next() {  // splitmix64
    uint64_t z = (State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  DWORD Below(DWORD n) { return static_cast<DWORD>(Next() % n); }
  bool Percent(DWORD p) { return Below(100) < p; }
};

uint64_t Fnv(uint64_t hash, const std::string& bytes) {
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001B3ull;
  return hash;
}
const uint64_t FnvStart = 0xCBF29CE484222325ull;

// A file the dispatcher makes for a stream, as the stream's model sees it.
struct ModelFile {
  DWORD Stream;
  DWORD Index;
  uint64_t Size;
  uint64_t Hash;
  enum Fate { Deleted, Kept, HandedOff } Fate;
};

struct Soak {
  uint64_t Seed;
  LONG NextStream;
  DWORD Streams;
  CRITICAL_SECTION Lock;
  std::vector<ModelFile> Expected;  // files that must be left
  std::vector<std::string> Failures;
  LONG Launches;
};
Soak TheSoak;

void Fail(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  _vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  text[sizeof(text) - 1] = '\0';
  EnterCriticalSection(&TheSoak.Lock);
  if (TheSoak.Failures.size() < 50) TheSoak.Failures.push_back(text);
  LeaveCriticalSection(&TheSoak.Lock);
}

const wchar_t* const TitleParts[] = {
    L"CON", L"PRN", L"AUX", L"NUL", L"COM1", L"COM9", L"LPT1", L"LPT3", L"CONIN$", L"CONOUT$", L"COM\x00B9", L"nul.txt", L"Con .doc",
    L"\\", L"/", L":", L"::", L".", L"..", L"...", L"..\\", L"../", L"\\\\?\\", L"\\\\.\\", L"C:", L"C:\\windows\\", L"D:\\Docs\\",
    L"http://", L"file:///", L"://", L"*", L"?", L"<", L">", L"|", L"\"", L"\t", L" ", L"\x01", L"\x1f", L"\x7f", L"report",
    L"a", L"\x00DCn\x00EFc\x00F6d\x00E9", L"\x65E5\x672C\x8A9E", L"\x202E" L"cod.exe", L"\xFEFF", L"\xFFFF", L"\xD800", L"\xDC00",
    L"\xD83D\xDE00", L"\x00A0", L"\x2028", L"~1", L"$MFT", L"desktop.ini", L"%TEMP%", L"%s%n", L"\x0000" L"after nul"};

// An OpenSpool payload: the name mode, then a title that may end in half a unit.
std::string OpenSpoolPayload(Rng& rng) {
  std::string payload;
  if (rng.Percent(4)) return std::string(rng.Below(2), '\x02');  // no name mode
  WORD mode = rng.Percent(80) ? static_cast<WORD>(rng.Below(4)) : static_cast<WORD>(rng.Next());
  payload.append(reinterpret_cast<const char*>(&mode), 2);
  std::wstring title;
  if (rng.Percent(3)) {
    title.assign(1000 + rng.Below(30000), L"xX.\\"[rng.Below(4)]);
  } else {
    for (DWORD parts = rng.Below(12); parts > 0; --parts) {
      const wchar_t* part = TitleParts[rng.Below(sizeof(TitleParts) / sizeof(TitleParts[0]))];
      title += part[0] ? std::wstring(part) : std::wstring(part, 10);  // keeps the embedded zero
    }
  }
  payload.append(reinterpret_cast<const char*>(title.data()), title.size() * sizeof(wchar_t));
  if (rng.Percent(15)) payload += static_cast<char>(rng.Below(256));
  if (payload.size() > QUILL_MAX_PAYLOAD) payload.resize(QUILL_MAX_PAYLOAD);
  return payload;
}

std::string RandomBytes(Rng& rng, size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; i += 8) {
    uint64_t value = rng.Next();
    for (size_t k = 0; k < 8 && i + k < size; ++k) bytes[i + k] = static_cast<char>(value >> (8 * k));
  }
  return bytes;
}

size_t DataLength(Rng& rng) {
  DWORD pick = rng.Below(100);
  if (pick < 70) return rng.Below(513);
  if (pick < 95) return rng.Below(8193);
  return rng.Below(QUILL_MAX_PAYLOAD + 1);
}

// Bytes of a stream, written in pieces of random size (the dispatcher reads the pipe as bytes).
struct Sender {
  JobPipeWriter* Writer;
  std::string Pending;
  bool Ok = true;
  void Record(WORD type, const std::string& payload) {
    RecordHeader header = {type, static_cast<WORD>(payload.size())};
    Pending.append(reinterpret_cast<const char*>(&header), sizeof(header));
    Pending += payload;
  }
  void Flush(Rng& rng) {
    size_t at = 0;
    while (Ok && at < Pending.size()) {
      size_t piece = rng.Percent(50) ? Pending.size() - at : 1 + rng.Below(70000);
      if (piece > Pending.size() - at) piece = Pending.size() - at;
      Ok = WriteRawMessage(Writer, Pending.data() + at, static_cast<DWORD>(piece));
      at += piece;
    }
    Pending.clear();
  }
};

// The dispatcher's rules for one connection, and the files they give.
struct ConnectionModel {
  bool FileOpen = false;
  bool PathSet = false;  // the connection still answers for its last file
  bool Ended = false;    // that file's job ended by JobDone or a short JobDoneOpen
  std::vector<ModelFile> Files;
};

const WORD UnknownTypes[] = {0, 1, 3, 8, 9, 11, 13, 99, 200, 253, 255, 256, 1024, 65535};

void RunRecords(DWORD stream, Rng& rng, JobPipeWriter* writer) {
  Sender sender;
  sender.Writer = writer;
  ConnectionModel model;
  DWORD records = 1 + rng.Below(24);
  DWORD stallAt = rng.Percent(6) ? rng.Below(records) : records;
  bool mayLaunch = rng.Percent(4);
  DWORD ending = rng.Below(100);
  for (DWORD r = 0; r < records && sender.Ok; ++r) {
    if (r == stallAt) {
      sender.Flush(rng);
      Sleep(200 + rng.Below(1300));
    }
    DWORD pick = rng.Below(100);
    if (pick < 14) {
      std::string payload = OpenSpoolPayload(rng);
      sender.Record(RECORD_OPEN_SPOOL, payload);
      if (payload.size() < 2 || model.FileOpen) continue;
      if (model.PathSet) model.Files.back().Fate = model.Ended ? ModelFile::Deleted : ModelFile::Kept;
      char tag[64];
      _snprintf(tag, sizeof(tag), "QSOAK %lu %lu\n", static_cast<unsigned long>(stream), static_cast<unsigned long>(model.Files.size()));
      tag[sizeof(tag) - 1] = '\0';
      model.Files.push_back({stream, static_cast<DWORD>(model.Files.size()), strlen(tag), Fnv(FnvStart, tag), ModelFile::Deleted});
      model.FileOpen = model.PathSet = true;
      model.Ended = false;
      sender.Record(RECORD_SPOOL_DATA, tag);
    } else if (pick < 50) {
      std::string data = RandomBytes(rng, DataLength(rng));
      sender.Record(RECORD_SPOOL_DATA, data);
      if (model.FileOpen) {
        model.Files.back().Size += data.size();
        model.Files.back().Hash = Fnv(model.Files.back().Hash, data);
      }
    } else if (pick < 55) {
      sender.Record(RECORD_CLOSE_SPOOL, "");
      model.FileOpen = false;
    } else if (pick < 66) {
      bool done = pick < 61;  // JobDone; else JobDoneOpen, which hands the file off with 2 bytes or more
      bool launch = !done && mayLaunch && rng.Percent(30);
      sender.Record(done ? RECORD_JOB_DONE : RECORD_JOB_DONE_OPEN, RandomBytes(rng, launch ? 2 + rng.Below(5) : rng.Below(2)));
      model.FileOpen = false;
      if (!launch) {
        model.Ended = true;
      } else if (model.PathSet) {
        model.Files.back().Fate = ModelFile::HandedOff;
        model.PathSet = false;
        InterlockedIncrement(&TheSoak.Launches);
      }
    } else if (pick < 69) {
      sender.Record(RECORD_SHOW_JOB_COUNT, "");
    } else {
      WORD type = UnknownTypes[rng.Below(sizeof(UnknownTypes) / sizeof(UnknownTypes[0]))];
      sender.Record(type, RandomBytes(rng, DataLength(rng)));
    }
    if (rng.Percent(30)) sender.Flush(rng);
  }
  if (ending >= 88 && sender.Ok) {
    // A payload shorter than its header says, then the connection breaks: not acted on.
    RecordHeader header = {static_cast<WORD>(rng.Percent(50) ? RECORD_SPOOL_DATA : RECORD_OPEN_SPOOL), static_cast<WORD>(1 + rng.Below(QUILL_MAX_PAYLOAD))};
    sender.Pending.append(reinterpret_cast<const char*>(&header), sizeof(header));
    sender.Pending += RandomBytes(rng, rng.Below(header.PayloadLength));
  }
  sender.Flush(rng);
  if (!sender.Ok) Fail("stream %lu: a write failed", static_cast<unsigned long>(stream));
  // Written records are all read, also after an abrupt hang-up.
  CloseJobPipeWriter(writer, ending < 65);
  EnterCriticalSection(&TheSoak.Lock);
  for (const ModelFile& file : model.Files) {
    if (file.Fate != ModelFile::Deleted) TheSoak.Expected.push_back(file);
  }
  LeaveCriticalSection(&TheSoak.Lock);
}

void RunStream(DWORD stream) {
  Rng rng = {TheSoak.Seed * 1000003ull + stream};
  DWORD kind = rng.Below(100);
  if (kind < 3) {
    // Knocks and leaves at once, maybe before the dispatcher has even written its Hello.
    for (int attempt = 0; attempt < 100; ++attempt) {
      HANDLE pipe = CreateFileA(QUILL_JOB_PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (pipe != INVALID_HANDLE_VALUE) {
        CloseHandle(pipe);
        break;
      }
      if (!WaitNamedPipeA(QUILL_JOB_PIPE_NAME, 200)) Sleep(10);
    }
    return;
  }
  JobPipeWriter writer;
  if (!OpenJobPipe(&writer, 20000)) {
    Fail("stream %lu: no Hello", static_cast<unsigned long>(stream));
    return;
  }
  if (kind < 6 || !CreateDataPipe(&writer, 20000)) {
    if (kind >= 6) Fail("stream %lu: the dispatcher did not open the data pipe", static_cast<unsigned long>(stream));
    CloseJobPipeWriter(&writer, false);
    return;
  }
  RunRecords(stream, rng, &writer);
}

DWORD WINAPI WriterThread(LPVOID limit) {
  for (;;) {
    LONG stream = InterlockedIncrement(&TheSoak.NextStream) - 1;
    if (stream >= static_cast<LONG>(reinterpret_cast<ULONG_PTR>(limit))) return 0;
    RunStream(static_cast<DWORD>(stream));
  }
}

void RunStreams(DWORD upTo, DWORD writers) {
  std::vector<HANDLE> threads;
  for (DWORD i = 0; i < writers; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, WriterThread, reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(upTo)), 0, nullptr);
    if (thread) threads.push_back(thread);
  }
  for (HANDLE thread : threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

// Every file and folder under root: path -> size and last write time.
typedef std::map<std::wstring, std::pair<uint64_t, uint64_t>> Tree;
void Walk(const std::wstring& root, const std::wstring& skip, Tree* tree) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((root + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = root + name;
    if (_wcsicmp((path + L"\\").c_str(), skip.c_str()) == 0) continue;
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    uint64_t written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    (*tree)[path] = std::make_pair(size, folder ? 0 : written);
    if (folder) Walk(path + L"\\", skip, tree);
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

std::string Narrow(const std::wstring& text) {
  std::string out(text.size() * 3 + 1, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

void WaitForSettling(const TrayProcess& tray, const ProcessFigures& bound, ProcessFigures* now) {
  for (int i = 0; i < 120; ++i) {
    if (!ReadProcessFigures(tray.Info.dwProcessId, now)) return;
    if (now->Threads <= bound.Threads && now->Handles <= bound.Handles) return;
    Sleep(250);
  }
}

// The files left in the temporary folder against the model and the main application's record.
void CheckLeftFiles(const Tree& before, const MainAppScope& app) {
  std::map<std::wstring, long long> handedOff;  // path -> size the application saw
  for (const std::wstring& call : app.Calls(TheSoak.Launches, 30000)) {
    // ... "<file>" TAB size: the file is the last quoted part.
    size_t end = call.rfind(L'"');
    size_t begin = end == std::wstring::npos || end == 0 ? std::wstring::npos : call.rfind(L'"', end - 1);
    if (begin == std::wstring::npos) continue;
    handedOff[call.substr(begin + 1, end - begin - 1)] = _wtoi64(call.c_str() + call.rfind(L'\t') + 1);
  }
  std::map<std::pair<DWORD, DWORD>, const ModelFile*> expected;
  for (const ModelFile& file : TheSoak.Expected) expected[std::make_pair(file.Stream, file.Index)] = &file;
  Tree after;
  Walk(TempFolder(), L"", &after);
  for (const auto& entry : after) {
    const std::wstring& path = entry.first;
    if (before.count(path) || path == app.RecordFile) continue;
    std::string bytes = ReadWholeFile(path);
    unsigned long stream = 0, index = 0;
    if (path == TempFolder() + LastJobName) continue;
    if (sscanf(bytes.c_str(), "QSOAK %lu %lu\n", &stream, &index) != 2) {
      Fail("left behind and not ours to keep: %s (%u bytes)", Narrow(path).c_str(), static_cast<unsigned>(bytes.size()));
      continue;
    }
    auto found = expected.find(std::make_pair(static_cast<DWORD>(stream), static_cast<DWORD>(index)));
    if (found == expected.end()) {
      Fail("stream %lu file %lu was to be deleted: %s", stream, index, Narrow(path).c_str());
      continue;
    }
    const ModelFile& file = *found->second;
    expected.erase(found);
    if (bytes.size() != file.Size || Fnv(FnvStart, bytes) != file.Hash) Fail("stream %lu file %lu: wrong bytes in %s", stream, index, Narrow(path).c_str());
    if (file.Fate == ModelFile::HandedOff && handedOff[path] != static_cast<long long>(file.Size)) {
      Fail("stream %lu file %lu never reached the application whole: %s", stream, index, Narrow(path).c_str());
    }
  }
  for (const auto& missing : expected) Fail("stream %lu file %lu is missing", static_cast<unsigned long>(missing.first.first), static_cast<unsigned long>(missing.first.second));
}

void PrintFigures(const char* when, const ProcessFigures& figures) {
  printf("%-22s %5lu handles %4lu threads %8.1f MiB working set\n", when, figures.Handles, figures.Threads, figures.WorkingSet / 1048576.0);
}

}  // namespace

int main(int argc, char** argv) {
  DWORD streams = 1000, writers = 6;
  TheSoak.Seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--streams") == 0) streams = strtoul(argv[i + 1], nullptr, 10);
    if (strcmp(argv[i], "--seed") == 0) TheSoak.Seed = _strtoui64(argv[i + 1], nullptr, 10);
    if (strcmp(argv[i], "--writers") == 0) writers = strtoul(argv[i + 1], nullptr, 10);
  }
  InitializeCriticalSection(&TheSoak.Lock);
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (WaitNamedPipeA(QUILL_JOB_PIPE_NAME, NMPWAIT_NOWAIT) || GetLastError() != ERROR_FILE_NOT_FOUND) {
    printf("soak: a dispatcher already listens; end it first\n");
    return 2;
  }
  Tree outsideBefore, tempBefore;
  Walk(L"C:\\", TempFolder(), &outsideBefore);
  Walk(TempFolder(), L"", &tempBefore);
  MainAppScope app;
  TrayProcess tray;
  if (!tray.Start()) {
    printf("soak: quilltray.exe did not start listening\n");
    return 2;
  }
  printf("soak: seed %llu, %lu streams, %lu writers, quilltray process %lu\n", static_cast<unsigned long long>(TheSoak.Seed), streams, writers,
         tray.Info.dwProcessId);

  // The warm-up reaches the concurrency of the run before the figures are taken; its last
  // connections end within about 5 seconds.
  ProcessFigures fresh = {}, start = {}, end = {};
  ReadProcessFigures(tray.Info.dwProcessId, &fresh);
  DWORD warmUp = streams / 10 < 200 ? streams / 10 : 200;
  RunStreams(warmUp, writers);
  WaitForSettling(tray, ProcessFigures{ULONG_MAX, fresh.Threads + ThreadBound, 0}, &start);
  PrintFigures("after warm-up", start);
  DWORD began = GetTickCount();
  RunStreams(streams, writers);
  double seconds = (GetTickCount() - began) / 1000.0;
  printf("soak: %lu streams in %.1f s, %.1f streams/s, %ld hand-offs\n", streams - warmUp, seconds, (streams - warmUp) / seconds, TheSoak.Launches);

  // One normal job after all that.
  std::string last = "last job " + std::to_string(TheSoak.Seed);
  size_t callsBefore = app.Calls(TheSoak.Launches, 30000).size();
  if (SendJob(0, L"soak last job", last) != L"") Fail("the last job could not be sent");
  std::vector<std::wstring> calls = app.Calls(callsBefore + 1, 15000);
  if (calls.size() != callsBefore + 1 || calls.back().find(LastJobName) == std::wstring::npos || ReadWholeFile(TempFolder() + LastJobName) != last) {
    Fail("the last job did not arrive whole");
  }
  // Abandoned connections take about 5 seconds to be given up; then the figures should be back.
  WaitForSettling(tray, start, &end);
  ProcessFigures bound = {start.Handles + HandleBound, start.Threads + ThreadBound, 0};
  PrintFigures("after the streams", end);

  if (!tray.Running()) Fail("quilltray.exe is gone");
  DWORD owner = 0;
  GetWindowThreadProcessId(FindTrayWindow(), &owner);
  if (owner != tray.Info.dwProcessId) Fail("the tray window belongs to process %lu", owner);
  if (end.Handles > bound.Handles) Fail("handles grew from %lu to %lu", start.Handles, end.Handles);
  if (end.Threads > bound.Threads) Fail("threads grew from %lu to %lu", start.Threads, end.Threads);
  if (end.WorkingSet > start.WorkingSet + WorkingSetBound) Fail("working set grew from %lu to %lu KiB", static_cast<unsigned long>(start.WorkingSet >> 10), static_cast<unsigned long>(end.WorkingSet >> 10));
  Tree outsideAfter;
  Walk(L"C:\\", TempFolder(), &outsideAfter);
  for (const auto& entry : outsideAfter) {
    auto was = outsideBefore.find(entry.first);
    if (was == outsideBefore.end() || was->second != entry.second) Fail("written outside the temporary folder: %s", Narrow(entry.first).c_str());
  }
  CheckLeftFiles(tempBefore, app);
  printf("soak: %u files and folders outside the temporary folder unchanged, %u files expected in it\n", static_cast<unsigned>(outsideAfter.size()),
         static_cast<unsigned>(TheSoak.Expected.size()));

  // Leaves the folder as it found it.
  tray.End();
  Tree tempAfter;
  Walk(TempFolder(), L"", &tempAfter);
  for (const auto& entry : tempAfter) {
    if (!tempBefore.count(entry.first) && entry.first != app.RecordFile) DeleteFileW(entry.first.c_str());
  }
  for (const std::string& failure : TheSoak.Failures) printf("FAILED: %s\n", failure.c_str());
  printf("soak: %s\n", TheSoak.Failures.empty() ? "passed" : "FAILED");
  return TheSoak.Failures.empty() ? 0 : 1;
}
