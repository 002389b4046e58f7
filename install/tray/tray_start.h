// Starting the tray program right after an install: as the user signed in to the session, never
// with the installer's own elevated token.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// Starts the command line without waiting for it: as LocalSystem with the token of the user of
// the installer's session, or of the console session when that is session 0 (WTSQueryUserToken,
// with that user's environment and desktop); elevated with the token of the session's desktop
// shell (CreateProcessWithTokenW); not elevated as the installer itself, whose token is then the
// user's own. Where none of these works the program is not started: the Run value starts it at
// the next logon. Logs which it was, "Tray program started as ..." or "Tray program not started: ...".
void StartTrayProgram(InstallContext& context, WCHAR* commandLine);
