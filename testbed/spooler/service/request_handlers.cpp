// Dispatches the requests of the stand-in's winspool.drv to the parts of the service.
#include "pipe_server.h"
#include "switches.h"

#include <wchar.h>

#include "../common/testbed_spooler_keys.h"

namespace {

bool IsFaultName(const wchar_t* name) {
  static const wchar_t* const names[] = {TESTBED_FAIL_ADD_MONITOR, TESTBED_FAIL_DELETE_MONITOR,
                                         TESTBED_FAIL_DELETE_DRIVER, TESTBED_FAIL_ADD_PRINTER,
                                         TESTBED_FAIL_ADD_DRIVER, TESTBED_FAIL_ENUM_PRINTERS};
  for (const wchar_t* known : names)
    if (wcscmp(known, name) == 0) return true;
  return false;
}

}  // namespace

void HandleRequest(SpoolerState& state, const SpoolerRequest& request, SpoolerReply& reply) {
  (void)state;
  switch (request.Command) {
    case SpoolerPing:
      reply.Error = 0;
      return;
    case SpoolerTakeFault:
      // Fault counts are taken here, in the one thread of the service, so that two processes
      // never both take the last count.
      reply.Error = IsFaultName(request.Text1) ? TakeFault(request.Text1, DefaultFaultError(request.Text1)) : 0;
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
