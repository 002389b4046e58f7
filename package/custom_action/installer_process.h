// Runs setup\install.exe with one command word and waits for it, as the package's custom actions
// need it: the installer's exit codes are its own, and the wait must end.
#pragma once
#include <windows.h>

// install.exe's longest own waits are a few spooler restarts of about 20 s each; ten minutes is
// far beyond a healthy run and still ends a hung one.
const DWORD InstallerWaitMs = 600000;

struct InstallerRun {
  bool Started = false;
  bool Finished = false;   // ended within the wait
  DWORD ExitCode = 0;      // valid when Finished
  DWORD StartError = 0;    // GetLastError of CreateProcessW when not Started
};

// Runs "<setupFolder>install.exe" <word> /quiet in that folder and waits up to waitMs. A run that
// does not end in time is terminated (the installer keeps its own record of printers it was
// re-creating, so a later run finishes the work).
InstallerRun RunInstaller(const WCHAR* setupFolder, const WCHAR* word, DWORD waitMs = InstallerWaitMs);
