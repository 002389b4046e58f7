#include "exit_codes.h"

InstallerOutcome MapInstallerExitCode(DWORD exitCode) {
  switch (exitCode) {
    case 1:
    case 2:
      return InstallerOutcome{ERROR_SUCCESS, false, false};
    case 101:
      return InstallerOutcome{ERROR_SUCCESS, true, false};
    case 100:
      return InstallerOutcome{ERROR_INSTALL_FAILURE, false, true};
    default:
      return InstallerOutcome{ERROR_INSTALL_FAILURE, false, false};
  }
}
