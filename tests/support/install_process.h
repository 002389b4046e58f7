// install.exe run as a process, the way calling programs run it, and its log dialog met as a
// user meets it.
#pragma once
#include <windows.h>

#include <string>

#include "dialog_probe.h"

const DWORD InstallExitWaitMs = 120000;
// Time for install.exe to show its dialog: the first window of a fresh prefix is slow.
const DWORD InstallDialogWaitMs = 60000;

// A started program; ended if it still runs when the scope ends.
struct InstallProcess {
  PROCESS_INFORMATION Info = {};
  bool Started = false;
  // `exe` is a full path; the command line is the quoted path and the arguments.
  InstallProcess(const std::wstring& exe, const std::wstring& arguments);
  ~InstallProcess();
  InstallProcess(const InstallProcess&) = delete;
  InstallProcess& operator=(const InstallProcess&) = delete;
  // Pumps the calling thread's messages until the program ends (a window of the test may be
  // what it talks to); its exit code, or 0xFFFFFFFF, and the program ended, after timeoutMs.
  DWORD Finish(DWORD timeoutMs = InstallExitWaitMs);
};

// Runs install.exe (the one beside the test) with the arguments and returns its exit code.
DWORD RunInstallProcess(const std::wstring& arguments, DWORD timeoutMs = InstallExitWaitMs);
// The same with the installer at `exe`.
DWORD RunInstallProcessAt(const std::wstring& exe, const std::wstring& arguments, DWORD timeoutMs = InstallExitWaitMs);

// Holds Shift down (SendInput) for the life of the scope, or until released.
struct ShiftHeld {
  bool Down;
  explicit ShiftHeld(bool press = true);
  ~ShiftHeld() { Release(); }
  void Release();
  ShiftHeld(const ShiftHeld&) = delete;
  ShiftHeld& operator=(const ShiftHeld&) = delete;
};

// What a run showed in its log dialog, and how it ended.
struct DialogRun {
  bool Shown = false;
  std::wstring Title, Text;
  HWND Owner = nullptr;
  DWORD ExitCode = 0xFFFFFFFF;
};
// Runs the installer at `exe` (holding Shift until its dialog appears, when asked), reads the
// dialog's title, log text and owner, and closes it the given way.
DialogRun RunWithLogDialog(const std::wstring& exe, const std::wstring& arguments, DialogClose how, bool holdShift = true);
