// An attacker of the job road, as a process of its own: it takes pipe names before quilltray or a
// writer does.
//
//   pipe_squatter.exe READY_EVENT STOP_EVENT ITEM...
//     busy:NAME   the one instance of NAME, kept busy by a client of the squatter's own
//     serve:NAME  an instance of NAME that answers whoever opens it with a job of its own, a stop
//                 request and an exit request, and waits for the next one
//
// It sets READY_EVENT once every name is taken and runs until STOP_EVENT is set (at most two
// minutes). Its exit code is how many times a served name was opened (at most 200; 249 to 255
// say it could not take its names).
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "shared/pipe_protocol.h"

namespace {

struct Served {
  HANDLE Pipe;
  OVERLAPPED Connect;
};

void AddRecord(std::string* out, WORD type, const void* payload, WORD length) {
  RecordHeader header = {type, length};
  out->append(reinterpret_cast<const char*>(&header), sizeof(header));
  if (length) out->append(static_cast<const char*>(payload), length);
}

// What the squatter says to whoever opens its pipe: were it acted on, a file "squatted" would be
// stored and opened, and quilltray would stop listening and end.
std::string AttackerWords() {
  std::string words;
  const WCHAR title[] = L"\0squatted";  // NameMode 0, then the title
  AddRecord(&words, RECORD_OPEN_SPOOL, title, sizeof(title) - sizeof(WCHAR));
  AddRecord(&words, RECORD_SPOOL_DATA, "not yours", 9);
  WORD flags = 0;
  AddRecord(&words, RECORD_JOB_DONE_OPEN, &flags, sizeof(flags));
  AddRecord(&words, RECORD_STOP_LISTENING, nullptr, 0);
  AddRecord(&words, RECORD_EXIT, nullptr, 0);
  return words;
}

bool Arm(Served* served) {
  ResetEvent(served->Connect.hEvent);
  if (ConnectNamedPipe(served->Pipe, &served->Connect)) return true;
  DWORD error = GetLastError();
  if (error == ERROR_PIPE_CONNECTED) SetEvent(served->Connect.hEvent);
  return error == ERROR_IO_PENDING || error == ERROR_PIPE_CONNECTED;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 255;
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
  HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
  if (!ready || !stop) return 254;
  std::vector<HANDLE> held;
  std::vector<Served> served;
  for (int i = 3; i < argc; ++i) {
    std::wstring item = argv[i];
    size_t colon = item.find(L':');
    if (colon == std::wstring::npos) return 253;
    std::string name(item.begin() + colon + 1, item.end());
    bool busy = item.compare(0, colon, L"busy") == 0;
    HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 252;
    held.push_back(pipe);
    if (busy) {
      HANDLE client = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (client == INVALID_HANDLE_VALUE) return 251;
      held.push_back(client);
    } else {
      Served entry = {pipe, {}};
      entry.Connect.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (!entry.Connect.hEvent || !Arm(&entry)) return 250;
      served.push_back(entry);
    }
  }
  if (served.size() > MAXIMUM_WAIT_OBJECTS - 1) return 249;
  SetEvent(ready);
  std::string words = AttackerWords();
  int opened = 0;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 120000) {
    std::vector<HANDLE> events(1, stop);
    for (const Served& entry : served) events.push_back(entry.Connect.hEvent);
    DWORD which = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, 1000);
    if (which == WAIT_OBJECT_0) break;
    if (which == WAIT_TIMEOUT || which >= WAIT_OBJECT_0 + events.size()) continue;
    Served& entry = served[which - WAIT_OBJECT_0 - 1];
    ++opened;
    DWORD written = 0;
    OVERLAPPED write = {};
    write.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (WriteFile(entry.Pipe, words.data(), static_cast<DWORD>(words.size()), nullptr, &write) || GetLastError() == ERROR_IO_PENDING)
      GetOverlappedResult(entry.Pipe, &write, &written, TRUE);
    CloseHandle(write.hEvent);
    // Long enough for a reader to take the words, then ready for the next one.
    Sleep(200);
    DisconnectNamedPipe(entry.Pipe);
    Arm(&entry);
  }
  for (HANDLE handle : held) CloseHandle(handle);
  return opened > 200 ? 200 : opened;
}
