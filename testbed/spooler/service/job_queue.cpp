#include "job_queue.h"

#include <vector>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "monitor_host.h"
#include "service_trace.h"
#include "switches.h"

namespace {

const DWORD ChunkBytes = 4096;

struct LockScope {
  CRITICAL_SECTION& Lock;
  explicit LockScope(CRITICAL_SECTION& lock) : Lock(lock) { EnterCriticalSection(&Lock); }
  ~LockScope() { LeaveCriticalSection(&Lock); }
  LockScope(const LockScope&) = delete;
  LockScope& operator=(const LockScope&) = delete;
};

std::wstring SpoolFolder() { return SystemDirectory() + L"\\spool\\PRINTERS\\"; }

size_t FindJob(const SpoolerState& state, DWORD jobId) {
  for (size_t i = 0; i < state.Jobs.size(); ++i)
    if (state.Jobs[i].JobId == jobId) return i;
  return state.Jobs.size();
}

void Drop(SpoolerState& state, size_t index) {
  DeleteFileW(state.Jobs[index].SpoolFile.c_str());
  state.Jobs.erase(state.Jobs.begin() + index);
}

// Drops the job, or marks it for dropping while the despooler still hands it to the monitor.
void DropOrCancel(SpoolerState& state, size_t index) {
  if (state.Jobs[index].Despooling)
    state.Jobs[index].Cancelled = true;
  else
    Drop(state, index);
}

bool IsCancelled(SpoolerState& state, DWORD jobId) {
  LockScope lock(state.Lock);
  size_t index = FindJob(state, jobId);
  return index == state.Jobs.size() || state.Jobs[index].Cancelled;
}

// Hands the spool file to the monitor: OpenPort, StartDocPort, WritePort in chunks, EndDocPort,
// ClosePort. A job deleted meanwhile gets no more WritePort calls and is ended at once, as the
// spooler does. The Windows error of the first step that failed, or 0.
DWORD Despool(SpoolerState& state, const LoadedMonitor& monitor, const std::wstring& port, const QueuedJob& job) {
  MONITOR2& calls = *monitor.Functions;
  if (!calls.pfnOpenPort || !calls.pfnStartDocPort || !calls.pfnWritePort || !calls.pfnEndDocPort ||
      !calls.pfnClosePort)
    return ERROR_INVALID_FUNCTION;
  HANDLE file = CreateFileW(job.SpoolFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  std::vector<wchar_t> portName(port.begin(), port.end());
  portName.push_back(0);
  std::vector<wchar_t> printerName(job.PrinterName.begin(), job.PrinterName.end());
  printerName.push_back(0);
  std::vector<wchar_t> documentName(job.DocumentName.begin(), job.DocumentName.end());
  documentName.push_back(0);
  wchar_t raw[] = L"RAW";
  HANDLE portHandle = nullptr;
  DWORD error = 0;
  if (!calls.pfnOpenPort(monitor.Monitor, portName.data(), &portHandle)) {
    error = GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    CloseHandle(file);
    return error;
  }
  DOC_INFO_1W info = {documentName.data(), nullptr, raw};
  if (!calls.pfnStartDocPort(portHandle, printerName.data(), job.JobId, 1, reinterpret_cast<BYTE*>(&info))) {
    error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  } else {
    std::vector<BYTE> chunk(ChunkBytes);
    while (!error && !IsCancelled(state, job.JobId)) {
      DWORD got = 0;
      if (!ReadFile(file, chunk.data(), ChunkBytes, &got, nullptr)) {
        error = GetLastError();
        break;
      }
      if (got == 0) break;
      DWORD offset = 0;
      int stalls = 0;
      // A monitor may take part of a chunk; a monitor that keeps taking nothing fails the job
      // instead of hanging the spooler.
      while (offset < got && !error) {
        DWORD written = 0;
        if (!calls.pfnWritePort(portHandle, chunk.data() + offset, got - offset, &written)) {
          error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        } else if (written == 0 && ++stalls > 100) {
          error = ERROR_WRITE_FAULT;
        } else if (written > got - offset) {
          error = ERROR_INVALID_DATA;
        }
        offset += error ? 0 : written;
      }
    }
    if (!calls.pfnEndDocPort(portHandle) && !error) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  }
  calls.pfnClosePort(portHandle);
  CloseHandle(file);
  return error;
}

// The next job to despool: the first ended job in queue order that is not waiting for a retry.
// A job waiting for its retry holds back the later jobs of its printer, so that a printer's jobs
// come out in order. Sets *waitMs to the time until the earliest retry.
size_t NextJob(const SpoolerState& state, DWORD now, DWORD* waitMs) {
  std::vector<std::wstring> held;
  *waitMs = INFINITE;
  for (size_t i = 0; i < state.Jobs.size(); ++i) {
    const QueuedJob& job = state.Jobs[i];
    if (!job.Ended || job.Cancelled) continue;
    bool blocked = false;
    for (const std::wstring& printer : held) blocked = blocked || SameText(printer, job.PrinterName);
    if (blocked) continue;
    if (job.Error && static_cast<LONG>(job.NextAttemptTick - now) > 0) {
      DWORD left = job.NextAttemptTick - now;
      if (left < *waitMs) *waitMs = left;
      held.push_back(job.PrinterName);
      continue;
    }
    return i;
  }
  return state.Jobs.size();
}

// The monitor serving the printer's first port; false when no monitor serves it. A null owner
// is a built-in local port (its jobs are dropped).
bool FindPortOwner(SpoolerState& state, const std::wstring& printer, std::wstring& port, LoadedMonitor& owner,
                   bool& builtIn) {
  std::wstring ports;
  {
    KeyScope key(OpenPrintKey(PrinterKeyPath(printer), KEY_READ, false));
    if (key.Key) ports = ReadTextOr(key.Key, L"Port", L"");
  }
  std::vector<std::wstring> list = SplitPorts(ports);
  if (list.empty()) return false;
  for (PortOwner& candidate : EnumerateAllPorts(state)) {
    if (!SameText(candidate.Port, list[0])) continue;
    port = candidate.Port;
    builtIn = candidate.Owner == nullptr;
    if (candidate.Owner) owner = *candidate.Owner;
    return true;
  }
  return false;
}

void RecordOutcome(SpoolerState& state, DWORD jobId, DWORD error) {
  LockScope lock(state.Lock);
  state.BusyMonitor.clear();
  WriteSwitch(TESTBED_LAST_JOB_ERROR, error);
  size_t index = FindJob(state, jobId);
  if (index == state.Jobs.size()) return;
  QueuedJob& job = state.Jobs[index];
  job.Despooling = false;
  TraceLine(L"job %lu \"%s\": error %lu%s", job.JobId, job.DocumentName.c_str(), error,
            job.Cancelled ? L" (deleted)" : L"");
  if (error == 0 && !job.Cancelled) WriteSwitch(TESTBED_JOBS_DESPOOLED, ReadSwitch(TESTBED_JOBS_DESPOOLED, 0) + 1);
  if (error == 0 || job.Cancelled) {
    Drop(state, index);
    return;
  }
  job.Error = error;
  job.NextAttemptTick = GetTickCount() + RetryPauseMs;
}

DWORD WINAPI DespoolLoop(LPVOID parameter) {
  SpoolerState& state = *static_cast<SpoolerState*>(parameter);
  for (;;) {
    DWORD waitMs = INFINITE;
    QueuedJob job;
    std::wstring port;
    LoadedMonitor owner = {};
    bool builtIn = false, found = false, picked = false;
    {
      LockScope lock(state.Lock);
      if (state.DespoolStop) break;
      size_t index = NextJob(state, GetTickCount(), &waitMs);
      if (index < state.Jobs.size()) {
        picked = true;
        state.Jobs[index].Despooling = true;
        job = state.Jobs[index];
        found = FindPortOwner(state, job.PrinterName, port, owner, builtIn);
        if (found && !builtIn) state.BusyMonitor = owner.Name;
      }
    }
    if (!picked) {
      WaitForSingleObject(state.DespoolWake, waitMs);
      continue;
    }
    DWORD error = !found ? ERROR_UNKNOWN_PORT : builtIn ? 0 : Despool(state, owner, port, job);
    RecordOutcome(state, job.JobId, error);
  }
  return 0;
}

void WakeDespooler(SpoolerState& state) {
  if (state.DespoolWake) SetEvent(state.DespoolWake);
}

}  // namespace

DWORD StartJob(SpoolerState& state, const std::wstring& printer, const std::wstring& document, DWORD& jobId,
               std::wstring& spoolFile) {
  CreateDirectoryW(SpoolFolder().c_str(), nullptr);
  jobId = state.NextJobId++;
  WriteSwitch(TESTBED_NEXT_JOB_ID, state.NextJobId);
  wchar_t name[32];
  _snwprintf(name, 32, L"%05lu.SPL", jobId);
  name[31] = 0;
  spoolFile = SpoolFolder() + name;
  QueuedJob job = {};
  job.JobId = jobId;
  job.PrinterName = printer;
  job.DocumentName = document;
  job.SpoolFile = spoolFile;
  GetSystemTime(&job.Submitted);
  state.Jobs.push_back(job);
  return 0;
}

DWORD EndJob(SpoolerState& state, DWORD jobId) {
  size_t index = FindJob(state, jobId);
  if (index == state.Jobs.size() || state.Jobs[index].Ended) return ERROR_PRINT_CANCELLED;
  state.Jobs[index].Ended = true;
  TraceLine(L"job %lu \"%s\" spooled", jobId, state.Jobs[index].DocumentName.c_str());
  WakeDespooler(state);
  return 0;
}

DWORD AbortJob(SpoolerState& state, DWORD jobId) {
  size_t index = FindJob(state, jobId);
  if (index == state.Jobs.size()) return ERROR_PRINT_CANCELLED;
  DropOrCancel(state, index);
  return 0;
}

DWORD PurgeJobs(SpoolerState& state, const std::wstring& printer) {
  for (size_t i = state.Jobs.size(); i-- > 0;)
    if (SameText(state.Jobs[i].PrinterName, printer)) DropOrCancel(state, i);
  return 0;
}

DWORD CountJobs(const SpoolerState& state, const std::wstring& printer) {
  DWORD count = 0;
  for (const QueuedJob& job : state.Jobs)
    if (SameText(job.PrinterName, printer) && !job.Cancelled) ++count;
  return count;
}

DWORD ControlJob(SpoolerState& state, const std::wstring& printer, DWORD jobId, DWORD command) {
  size_t index = FindJob(state, jobId);
  if (index == state.Jobs.size() || !SameText(state.Jobs[index].PrinterName, printer)) return ERROR_INVALID_PARAMETER;
  switch (command) {
    case JOB_CONTROL_DELETE:
    case JOB_CONTROL_CANCEL:
      DropOrCancel(state, index);
      return 0;
    case JOB_CONTROL_SENT_TO_PRINTER:
    case JOB_CONTROL_RESTART:
    case JOB_CONTROL_LAST_PAGE_EJECTED:
      return 0;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

std::wstring ListJobs(const SpoolerState& state, const std::wstring& printer) {
  std::wstring list;
  for (const QueuedJob& job : state.Jobs) {
    if (!SameText(job.PrinterName, printer)) continue;
    DWORD status = job.Cancelled    ? JOB_STATUS_DELETING
                   : !job.Ended     ? JOB_STATUS_SPOOLING
                   : job.Despooling ? JOB_STATUS_PRINTING
                                    : 0;
    if (job.Error) status |= JOB_STATUS_ERROR;
    std::wstring text;
    if (job.Error) {
      wchar_t* message = nullptr;
      if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, job.Error, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr) &&
          message) {
        text = message;
        LocalFree(message);
      }
      while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
      if (text.empty()) text = L"Error " + std::to_wstring(job.Error);
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    DWORD size = GetFileAttributesExW(job.SpoolFile.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
    const SYSTEMTIME& t = job.Submitted;
    wchar_t when[64];
    _snwprintf(when, 64, L"%u %u %u %u %u %u %u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
               t.wMilliseconds);
    when[63] = 0;
    for (const std::wstring& part : {std::to_wstring(job.JobId), std::to_wstring(status), text, job.DocumentName,
                                     std::to_wstring(size), std::wstring(when)}) {
      list += part;
      list.push_back(0);
    }
  }
  return list;
}

void DropAllJobs(SpoolerState& state) {
  LockScope lock(state.Lock);
  for (size_t i = state.Jobs.size(); i-- > 0;) DropOrCancel(state, i);
}

bool StartDespooler(SpoolerState& state) {
  state.DespoolStop = false;
  state.DespoolWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!state.DespoolWake) return false;
  state.DespoolThread = CreateThread(nullptr, 0, DespoolLoop, &state, 0, nullptr);
  return state.DespoolThread != nullptr;
}

bool StopDespooler(SpoolerState& state) {
  if (!state.DespoolThread) return true;
  {
    LockScope lock(state.Lock);
    state.DespoolStop = true;
  }
  WakeDespooler(state);
  // A monitor call may take long (a port that does not answer); the service must still stop in
  // the time a service manager allows.
  if (WaitForSingleObject(state.DespoolThread, 3000) != WAIT_OBJECT_0) {
    TraceLine(L"despooler still inside a monitor call at stop");
    return false;
  }
  CloseHandle(state.DespoolThread);
  state.DespoolThread = nullptr;
  CloseHandle(state.DespoolWake);
  state.DespoolWake = nullptr;
  return true;
}
