// Dispatches the requests of the stand-in's winspool.drv to the parts of the service.
#include "pipe_server.h"
#include "switches.h"

#include <wchar.h>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "driver_cache.h"
#include "job_queue.h"
#include "monitor_host.h"

namespace {

bool IsFaultName(const wchar_t* name) {
  static const wchar_t* const names[] = {TESTBED_FAIL_ADD_MONITOR, TESTBED_FAIL_DELETE_MONITOR,
                                         TESTBED_FAIL_DELETE_DRIVER, TESTBED_FAIL_ADD_PRINTER,
                                         TESTBED_FAIL_ADD_DRIVER, TESTBED_FAIL_ENUM_PRINTERS};
  for (const wchar_t* known : names)
    if (wcscmp(known, name) == 0) return true;
  return false;
}

// Puts "text\0" into the reply; false when it does not fit.
bool AppendText(SpoolerReply& reply, const std::wstring& text) {
  if (reply.TextChars + text.size() + 2 > SPOOLER_REPLY_CHARS) return false;
  wmemcpy(reply.Text + reply.TextChars, text.c_str(), text.size());
  reply.TextChars += static_cast<DWORD>(text.size());
  reply.Text[reply.TextChars++] = 0;
  return true;
}

DWORD DeletePrinterEntry(SpoolerState& state, const std::wstring& name) {
  // Windows keeps a printer with queued jobs until they are done; the stand-in refuses instead,
  // so that no job is lost silently.
  if (CountJobs(state, name) > 0) return ERROR_PRINTER_HAS_JOBS_QUEUED;
  KeyScope printers(OpenPrintKey(L"Printers", KEY_ALL_ACCESS, false));
  if (!printers.Key) return ERROR_INVALID_PRINTER_NAME;
  LONG status = RegDeleteTreeW(printers.Key, name.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_INVALID_PRINTER_NAME;
  return static_cast<DWORD>(status);
}

}  // namespace

void HandleRequest(SpoolerState& state, const SpoolerRequest& request, SpoolerReply& reply) {
  switch (request.Command) {
    case SpoolerPing:
      reply.Error = 0;
      return;
    case SpoolerTakeFault:
      // Fault counts are taken here, in the one thread of the service, so that two processes
      // never both take the last count.
      reply.Error = IsFaultName(request.Text1) ? TakeFault(request.Text1, DefaultFaultError(request.Text1)) : 0;
      return;
    case SpoolerAddMonitor:
      reply.Error = AddMonitor(state, request.Text1, request.Text2);
      return;
    case SpoolerDeleteMonitor:
      reply.Error = DeleteMonitor(state, request.Text1);
      return;
    case SpoolerEnumPorts:
      for (const PortOwner& port : EnumerateAllPorts(state)) {
        if (!AppendText(reply, port.Port) || !AppendText(reply, port.Monitor)) {
          reply.Error = ERROR_NOT_ENOUGH_MEMORY;
          return;
        }
      }
      reply.Text[reply.TextChars++] = 0;
      return;
    case SpoolerUseDriver:
      reply.Error = UseDriver(state, request.Text1, request.Text2);
      return;
    case SpoolerDeleteDriver:
      reply.Error = DeleteDriver(state, request.Text1, request.Text2, request.Number);
      return;
    case SpoolerStartDoc: {
      DWORD jobId = 0;
      std::wstring file;
      reply.Error = StartJob(state, request.Text1, request.Text2, jobId, file);
      reply.Number = jobId;
      AppendText(reply, file);
      return;
    }
    case SpoolerEndDoc:
      reply.Error = EndJob(state, request.Number);
      return;
    case SpoolerAbortDoc:
      reply.Error = AbortJob(state, request.Number);
      return;
    case SpoolerPurge:
      reply.Error = PurgeJobs(state, request.Text1);
      return;
    case SpoolerCountJobs:
      reply.Number = CountJobs(state, request.Text1);
      return;
    case SpoolerDeletePrinter:
      reply.Error = DeletePrinterEntry(state, request.Text1);
      return;
    case SpoolerEnumJobs: {
      std::wstring list = ListJobs(state, request.Text1);
      if (list.size() + 1 > SPOOLER_REPLY_CHARS) {
        reply.Error = ERROR_NOT_ENOUGH_MEMORY;
        return;
      }
      wmemcpy(reply.Text, list.data(), list.size());
      reply.TextChars = static_cast<DWORD>(list.size());
      reply.Text[reply.TextChars++] = 0;
      return;
    }
    case SpoolerSetJob:
      reply.Error = ControlJob(state, request.Text1, request.Number, wcstoul(request.Text2, nullptr, 10));
      return;
    case SpoolerShutdown:
      RequestServiceStop();
      reply.Error = 0;
      return;
    default:
      reply.Error = ERROR_NOT_SUPPORTED;
      return;
  }
}
