#include "monitor_job.h"

#include <winspool.h>

#include "modules/monitor/owner_session.h"

namespace {

const DWORD RecordBytes = sizeof(RecordHeader) + QUILL_MAX_PAYLOAD;

BOOL Fail(DWORD error) {
  SetLastError(error ? error : ERROR_WRITE_FAULT);
  return FALSE;
}

// The spooler shows this error for the job: no dispatcher took the job in time means the
// "device" is not ready, which is what the user can act on (log on, start quilltray).
DWORD ConnectError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PIPE_BUSY:
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
    case 0:
      return ERROR_NOT_READY;
    default:
      return error;
  }
}

// Starts the write of the gathered record and turns to the other buffer.
bool SendGathered(MonitorPort& port) {
  BYTE* record = port.Records[port.Filling];
  RecordHeader header = {RECORD_SPOOL_DATA, static_cast<uint16_t>(port.Filled)};
  memcpy(record, &header, sizeof(header));
  if (!BeginRawMessage(&port.Writer, record, sizeof(header) + port.Filled)) {
    port.WriteError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    return false;
  }
  port.Filling = 1 - port.Filling;
  port.Filled = 0;
  return true;
}

// Whether the spooler has deleted the job meanwhile (its record is gone or marked deleting).
bool JobDeleted(MonitorPort& port) {
  if (!port.Printer) return false;
  DWORD needed = 0;
  if (GetJobW(port.Printer, port.JobId, 1, nullptr, 0, &needed)) return false;
  if (GetLastError() == ERROR_INVALID_PARAMETER) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
  if (!buffer) return false;
  bool deleted = false;
  if (GetJobW(port.Printer, port.JobId, 1, buffer, needed, &needed))
    deleted = (reinterpret_cast<JOB_INFO_1W*>(buffer)->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
  LocalFree(buffer);
  return deleted;
}

// The user who printed the job, as the spooler names it; empty when it can't tell.
void JobOwner(MonitorPort& port, WCHAR* owner, int units) {
  owner[0] = L'\0';
  DWORD needed = 0;
  if (!port.Printer || GetJobW(port.Printer, port.JobId, 1, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return;
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
  if (!buffer) return;
  const JOB_INFO_1W* job = reinterpret_cast<JOB_INFO_1W*>(buffer);
  if (GetJobW(port.Printer, port.JobId, 1, buffer, needed, &needed) && job->pUserName) lstrcpynW(owner, job->pUserName, units);
  LocalFree(buffer);
}

void ReleaseJob(MonitorPort& port) {
  CloseJobPipeWriter(&port.Writer, false);
  if (port.Printer) ClosePrinter(port.Printer);
  port.Printer = nullptr;
  port.InDocument = false;
  port.Filled = 0;
}

}  // namespace

BOOL StartJob(MonitorPort& port, LPWSTR printerName, DWORD jobId, LPCWSTR documentName) {
  if (port.InDocument) AbortJob(port);
  for (BYTE*& record : port.Records) {
    if (!record) record = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, RecordBytes));
    if (!record) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  port.WriteError = 0;
  port.Filling = 0;
  port.Filled = 0;
  port.JobId = jobId;
  // Without the printer the job's owner is not known and the job cannot be checked for deletion
  // at its end.
  if (!printerName || !OpenPrinterW(printerName, &port.Printer, nullptr)) port.Printer = nullptr;
  WCHAR ownerName[256];
  JobOwner(port, ownerName, 256);
  BYTE owner[SECURITY_MAX_SID_SIZE];
  port.Writer.Cancel = port.Cancel;
  if (!JobOwnerSid(ownerName, owner) || !ConnectToOwner(&port.Writer, owner, ConnectTimeoutMs)) {
    DWORD error = GetLastError();
    ReleaseJob(port);
    return Fail(ConnectError(error));
  }
  port.Writer.WriteTimeoutMs = StallTimeoutMs;
  // A dispatcher that can tell whether it stored the job is asked to; the job then counts as
  // printed only once it says so (EndJob).
  RequestJobResults(&port.Writer);
  if (!WriteOpenSpool(&port.Writer, NAME_MODE_TITLE_ONLY, documentName ? documentName : L"")) {
    DWORD error = GetLastError();
    ReleaseJob(port);
    return Fail(error);
  }
  port.InDocument = true;
  return TRUE;
}

BOOL WriteJobData(MonitorPort& port, const BYTE* data, DWORD size, LPDWORD written) {
  *written = 0;
  if (!port.InDocument) return Fail(ERROR_INVALID_HANDLE);
  if (port.WriteError) return Fail(port.WriteError);
  if (size && !data) return Fail(ERROR_INVALID_PARAMETER);
  while (*written < size) {
    DWORD take = QUILL_MAX_PAYLOAD - port.Filled;
    if (take > size - *written) take = size - *written;
    memcpy(port.Records[port.Filling] + sizeof(RecordHeader) + port.Filled, data + *written, take);
    port.Filled += take;
    *written += take;
    // A full record leaves at once, so that it travels while the next one fills.
    if (port.Filled == QUILL_MAX_PAYLOAD && !SendGathered(port)) return Fail(port.WriteError);
  }
  return TRUE;
}

BOOL EndJob(MonitorPort& port) {
  if (!port.InDocument) return Fail(ERROR_INVALID_HANDLE);
  DWORD error = port.WriteError;
  if (!error && JobDeleted(port)) {
    // Breaking the connection before any ending record makes the dispatcher drop the file.
    AbortJob(port);
    return TRUE;
  }
  if (!error && port.Filled && !SendGathered(port)) error = port.WriteError;
  if (!error && !FinishRawMessage(&port.Writer)) error = GetLastError();
  if (!error && !WriteJobDoneOpen(&port.Writer, LAUNCH_FLAG_DRV | LAUNCH_FLAG_SILENT)) error = GetLastError();
  if (!error && !WriteRecord(&port.Writer, RECORD_SHOW_JOB_COUNT, nullptr, 0)) error = GetLastError();
  // The dispatcher's word that it stored the whole file and handed it off; without it (a full
  // disk, a temporary folder it can't write, a dispatcher that ended) the spooler keeps the job
  // with this error and tries again.
  DWORD result = 0;
  if (!error && port.Writer.ResultsWanted) {
    if (!FinishRawMessage(&port.Writer) || !WaitForJobResult(&port.Writer, StallTimeoutMs, &result))
      error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    else
      error = result;
  }
  // Every record is in the pipe now; closing (without waiting for the dispatcher to read them)
  // keeps them readable.
  if (!error && port.Printer) SetJobW(port.Printer, port.JobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
  ReleaseJob(port);
  return error ? Fail(error) : TRUE;
}

void AbortJob(MonitorPort& port) {
  if (port.InDocument) ReleaseJob(port);
}
