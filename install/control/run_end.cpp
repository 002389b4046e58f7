#include "run_end.h"

#include "deferred_files.h"
#include "../log/log_dialog.h"
#include "../log/log_file.h"

namespace {

bool ShiftIsDown() { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; }

}  // namespace

bool HasVisibleDesktop() {
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) ||
      (flags.dwFlags & WSF_VISIBLE) == 0)
    return false;
  // Session 0 holds services; since Vista no user sees its desktop.
  DWORD session = 0;
  return !ProcessIdToSessionId(GetCurrentProcessId(), &session) || session != 0;
}

RunOutcome EndRun(InstallContext& context, const RunSettings& settings) {
  RunOutcome outcome = {false, 0};
  outcome.FilesMarkedForRestart = ScheduleDeletesAtReboot(context);
  AppendLogFile(context, settings.CommandWord);
  if ((context.ErrorCount != 0 || ShiftIsDown()) && !settings.Quiet && HasVisibleDesktop())
    ShowLogDialog(context, settings.OwnerWindow);
  outcome.ErrorsLogged = context.ErrorCount != 0;
  return outcome;
}
