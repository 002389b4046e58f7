#include "job_queue.h"

#include <vector>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "monitor_host.h"
#include "service_trace.h"
#include "switches.h"

namespace {

const DWORD ChunkBytes = 4096;

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

// Hands the spool file to the monitor: OpenPort, StartDocPort, WritePort in chunks, EndDocPort,
// ClosePort. The Windows error of the first step that failed, or 0.
DWORD Despool(LoadedMonitor& monitor, const std::wstring& port, const QueuedJob& job) {
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
    for (;;) {
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
      if (error) break;
    }
    if (!calls.pfnEndDocPort(portHandle) && !error) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  }
  calls.pfnClosePort(portHandle);
  CloseHandle(file);
  return error;
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
  state.Jobs.push_back(QueuedJob{jobId, printer, document, spoolFile});
  return 0;
}

DWORD EndJob(SpoolerState& state, DWORD jobId) {
  size_t index = FindJob(state, jobId);
  if (index == state.Jobs.size()) return ERROR_PRINT_CANCELLED;
  QueuedJob job = state.Jobs[index];
  // The job is despooled now, before EndDocPrinter returns: tests see the monitor's outcome at
  // once. Its result does not fail EndDocPrinter (on Windows the job would end in error later).
  DWORD error = ERROR_UNKNOWN_PORT;
  std::wstring ports;
  {
    KeyScope key(OpenPrintKey(PrinterKeyPath(job.PrinterName), KEY_READ, false));
    if (key.Key) ports = ReadTextOr(key.Key, L"Port", L"");
  }
  std::vector<std::wstring> list = SplitPorts(ports);
  if (!list.empty()) {
    for (PortOwner& owner : EnumerateAllPorts(state)) {
      if (!SameText(owner.Port, list[0])) continue;
      // The built-in local ports take the job and drop it.
      error = owner.Owner ? Despool(*owner.Owner, owner.Port, job) : 0;
      break;
    }
  }
  TraceLine(L"job %lu \"%s\" on %s: error %lu", job.JobId, job.DocumentName.c_str(), ports.c_str(), error);
  WriteSwitch(TESTBED_LAST_JOB_ERROR, error);
  WriteSwitch(TESTBED_JOBS_DESPOOLED, ReadSwitch(TESTBED_JOBS_DESPOOLED, 0) + 1);
  index = FindJob(state, jobId);
  if (index < state.Jobs.size()) Drop(state, index);
  return 0;
}

DWORD AbortJob(SpoolerState& state, DWORD jobId) {
  size_t index = FindJob(state, jobId);
  if (index == state.Jobs.size()) return ERROR_PRINT_CANCELLED;
  Drop(state, index);
  return 0;
}

DWORD PurgeJobs(SpoolerState& state, const std::wstring& printer) {
  for (size_t i = state.Jobs.size(); i-- > 0;)
    if (SameText(state.Jobs[i].PrinterName, printer)) Drop(state, i);
  return 0;
}

DWORD CountJobs(const SpoolerState& state, const std::wstring& printer) {
  DWORD count = 0;
  for (const QueuedJob& job : state.Jobs)
    if (SameText(job.PrinterName, printer)) ++count;
  return count;
}

void DropAllJobs(SpoolerState& state) {
  while (!state.Jobs.empty()) Drop(state, state.Jobs.size() - 1);
}
