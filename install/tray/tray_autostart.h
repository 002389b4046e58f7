// Starting the tray program at every logon, through the machine's Run key, and right now.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// Where the autostart lives (64-bit registry view, HKEY_LOCAL_MACHINE) and the tray program's file.
const char TrayRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char TrayRunValueA[] = "QuillstackTray";
const WCHAR TrayRunValue[] = L"QuillstackTray";
const WCHAR TrayProgramName[] = L"quilltray.exe";

// The tray program's path: quilltray.exe in the parent of ModuleDirectory (the product's folder
// when the installer lies in a sub-folder of it); the bare file name when there is no parent.
WideBuffer TrayProgramPath(const InstallContext& context);
// Unless InstallTray is 0 or Windows is older than Vista: writes the Run value "QuillstackTray"
// as the program's path in double quotes (unquoted, a path with blanks could start another
// program first) and starts the program without waiting for it as the signed-in user, never with
// the installer's elevated token: as LocalSystem with the session user's token
// (WTSQueryUserToken), elevated with the token of the session's desktop shell, not elevated as
// itself. Without such a token the program is not started and the Run value starts it at the next
// logon. Logs which it was ("Tray program started as ...", "Tray program not started: ...").
void InstallTrayAutostart(InstallContext& context);
