// Jobs: StartDocPrinterW, StartPagePrinter, WritePrinter, EndPagePrinter, EndDocPrinter,
// AbortPrinter. The data goes into a spool file that the service despools at EndDocPrinter.
#include <memory>

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

}  // namespace

extern "C" {

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
