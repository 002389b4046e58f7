// Jobs: StartDocPrinterW, StartPagePrinter, WritePrinter, EndPagePrinter, EndDocPrinter,
// AbortPrinter, EnumJobsW, GetJobW, SetJobW. The data goes into a spool file; EndDocPrinter
// queues it and returns, and the service's despooler hands it to the port monitor later.
#include <stdlib.h>

#include <memory>
#include <vector>

#include "spooler_link.h"

namespace {

PrinterHandle* HandleInDocument(HANDLE hPrinter) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return nullptr;
  if (!printer->JobId) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return nullptr;
  }
  return printer;
}

void CloseSpoolFile(PrinterHandle& printer) {
  if (printer.SpoolFile != INVALID_HANDLE_VALUE) CloseHandle(printer.SpoolFile);
  printer.SpoolFile = INVALID_HANDLE_VALUE;
}

// Ends the handle's document; the service then despools the job (SpoolerEndDoc) or drops it
// (SpoolerAbortDoc).
BOOL FinishDocument(HANDLE hPrinter, SpoolerCommand command) {
  PrinterHandle* printer = HandleInDocument(hPrinter);
  if (!printer) return FALSE;
  CloseSpoolFile(*printer);
  DWORD job = printer->JobId;
  printer->JobId = 0;
  printer->InPage = false;
  DWORD error = CallService(command, job, L"", L"");
  return error ? FailWith(error) : TRUE;
}

struct JobEntry {
  DWORD JobId;
  DWORD Status;
  std::wstring StatusText;
  std::wstring Document;
  DWORD Size;
  SYSTEMTIME Submitted;
};

// The printer's queue as the service lists it: six texts a job.
DWORD FetchJobs(const PrinterHandle& printer, std::vector<JobEntry>& jobs) {
  std::unique_ptr<SpoolerReply> reply(new SpoolerReply());
  DWORD error = CallService(SpoolerEnumJobs, 0, printer.Name, L"", reply.get());
  if (error) return error;
  // Every text ends in a terminator (empty ones too); one more ends the list.
  std::vector<std::wstring> parts;
  const wchar_t* end = reply->Text + (reply->TextChars ? reply->TextChars - 1 : 0);
  for (const wchar_t* at = reply->Text; at < end;) {
    parts.push_back(at);
    at += parts.back().size() + 1;
  }
  for (size_t i = 0; i + 6 <= parts.size(); i += 6) {
    JobEntry job = {};
    job.JobId = wcstoul(parts[i].c_str(), nullptr, 10);
    job.Status = wcstoul(parts[i + 1].c_str(), nullptr, 10);
    job.StatusText = parts[i + 2];
    job.Document = parts[i + 3];
    job.Size = wcstoul(parts[i + 4].c_str(), nullptr, 10);
    unsigned t[7] = {};
    swscanf(parts[i + 5].c_str(), L"%u %u %u %u %u %u %u", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6]);
    SYSTEMTIME& when = job.Submitted;
    when.wYear = static_cast<WORD>(t[0]);
    when.wMonth = static_cast<WORD>(t[1]);
    when.wDay = static_cast<WORD>(t[2]);
    when.wHour = static_cast<WORD>(t[3]);
    when.wMinute = static_cast<WORD>(t[4]);
    when.wSecond = static_cast<WORD>(t[5]);
    when.wMilliseconds = static_cast<WORD>(t[6]);
    jobs.push_back(job);
  }
  return 0;
}

void FillJob(InfoPacker& packer, JOB_INFO_1W* info, const PrinterHandle& printer, const JobEntry& job,
             DWORD position) {
  LPWSTR name = packer.Text(printer.Name);
  LPWSTR machine = packer.Text(L"");
  LPWSTR user = packer.Text(L"");
  LPWSTR document = packer.Text(job.Document);
  LPWSTR datatype = packer.Text(L"RAW");
  LPWSTR status = job.StatusText.empty() ? nullptr : packer.Text(job.StatusText);
  if (!info) return;
  info->JobId = job.JobId;
  info->pPrinterName = name;
  info->pMachineName = machine;
  info->pUserName = user;
  info->pDocument = document;
  info->pDatatype = datatype;
  info->pStatus = status;
  info->Status = job.Status;
  info->Priority = DEF_PRIORITY;
  info->Position = position;
  info->Submitted = job.Submitted;
}

}  // namespace

extern "C" {

// Level 1 only; the stand-in keeps no more about a job.
BOOL WINAPI EnumJobsW(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                      LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) return FailWith(RPC_X_NULL_REF_POINTER);
  *pcbNeeded = *pcReturned = 0;
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (Level != 1) return FailWith(ERROR_INVALID_LEVEL);
  std::vector<JobEntry> jobs;
  if (DWORD error = FetchJobs(*printer, jobs)) return FailWith(error);
  size_t first = FirstJob < jobs.size() ? FirstJob : jobs.size();
  size_t count = NoJobs < jobs.size() - first ? NoJobs : jobs.size() - first;
  return PackRecords(pJob, cbBuf, pcbNeeded, pcReturned, static_cast<DWORD>(count), sizeof(JOB_INFO_1W),
                     [&](InfoPacker& packer, BYTE* record, DWORD i) {
                       FillJob(packer, reinterpret_cast<JOB_INFO_1W*>(record), *printer, jobs[first + i],
                               static_cast<DWORD>(first + i + 1));
                     });
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (!pcbNeeded) return FailWith(RPC_X_NULL_REF_POINTER);
  *pcbNeeded = 0;
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (Level != 1) return FailWith(ERROR_INVALID_LEVEL);
  std::vector<JobEntry> jobs;
  if (DWORD error = FetchJobs(*printer, jobs)) return FailWith(error);
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].JobId != JobId) continue;
    return PackRecords(pJob, cbBuf, pcbNeeded, nullptr, 1, sizeof(JOB_INFO_1W),
                       [&](InfoPacker& packer, BYTE* record, DWORD) {
                         FillJob(packer, reinterpret_cast<JOB_INFO_1W*>(record), *printer, jobs[i],
                                 static_cast<DWORD>(i + 1));
                       });
  }
  return FailWith(ERROR_INVALID_PARAMETER);
}

// Commands only (Level 0): deleting or cancelling drops the job; what a port monitor reports
// at the end of a job (sent to printer) is accepted.
BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (Level != 0 || pJob) return FailWith(ERROR_INVALID_LEVEL);
  DWORD error = CallService(SpoolerSetJob, JobId, printer->Name, std::to_wstring(Command));
  return error ? FailWith(error) : TRUE;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return 0;
  if (Level != 1 && Level != 2) return FailWith(ERROR_INVALID_LEVEL), 0;
  if (!pDocInfo) return FailWith(RPC_X_NULL_REF_POINTER), 0;
  if (printer->JobId) return FailWith(ERROR_INVALID_PRINTER_STATE), 0;
  const DOC_INFO_1W& info = *reinterpret_cast<const DOC_INFO_1W*>(pDocInfo);
  if (info.pDatatype && *info.pDatatype && _wcsicmp(info.pDatatype, L"RAW") != 0)
    return FailWith(ERROR_INVALID_DATATYPE), 0;
  // Printing into a file instead of the port is not part of the stand-in.
  if (info.pOutputFile && *info.pOutputFile) return FailWith(ERROR_NOT_SUPPORTED), 0;
  if (!FitsRequest(info.pDocName)) return FailWith(ERROR_INVALID_PARAMETER), 0;
  std::unique_ptr<SpoolerReply> reply(new SpoolerReply());
  DWORD error = CallService(SpoolerStartDoc, 0, printer->Name, info.pDocName ? info.pDocName : L"", reply.get());
  if (error) return FailWith(error), 0;
  HANDLE file = CreateFileW(reply->Text, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    CallService(SpoolerAbortDoc, reply->Number, L"", L"");
    return FailWith(error), 0;
  }
  printer->JobId = reply->Number;
  printer->SpoolFile = file;
  printer->InPage = false;
  return printer->JobId;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  PrinterHandle* printer = HandleInDocument(hPrinter);
  if (!printer) return FALSE;
  printer->InPage = true;
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  PrinterHandle* printer = HandleInDocument(hPrinter);
  if (!printer) return FALSE;
  printer->InPage = false;
  return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (!pcWritten) return FailWith(RPC_X_NULL_REF_POINTER);
  *pcWritten = 0;
  PrinterHandle* printer = HandleInDocument(hPrinter);
  if (!printer) return FALSE;
  if (!pBuf && cbBuf) return FailWith(ERROR_INVALID_PARAMETER);
  if (cbBuf == 0) return TRUE;
  DWORD written = 0;
  if (!WriteFile(printer->SpoolFile, pBuf, cbBuf, &written, nullptr)) return FALSE;
  *pcWritten = written;
  return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) { return FinishDocument(hPrinter, SpoolerEndDoc); }

BOOL WINAPI AbortPrinter(HANDLE hPrinter) { return FinishDocument(hPrinter, SpoolerAbortDoc); }

}  // extern "C"
