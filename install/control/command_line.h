// The installer's top level: reads the command word, runs one mode, returns the exit code.
#pragma once
#include <windows.h>

// The program's module; the log dialog is loaded from it. Set by RunCommandLine.
extern HINSTANCE ProgramInstance;

// Attempts of CloseHelpWindows, 50 ms apart: a help window that ignores the close request is
// given about 10 seconds before the installer goes on without it.
const int HelpWindowCloseAttempts = 200;

int RunCommandLine(HINSTANCE instance);
// Asks every open help window of the product ("HH Parent", "Quillstack Help") to close.
void CloseHelpWindows();

// Whole-word comparison that ignores the case of the ASCII letters A to Z only.
bool EqualsIgnoringAsciiCase(const WCHAR* word, const WCHAR* expected);
// Whether "/quiet" (any letter case of A to Z) is among the arguments after the command word: the
// run then never shows the log dialog. The command word and the exit codes stay as they are.
bool AsksForQuiet(int argumentCount, WCHAR** arguments);
// The owner window named by the argument vector: only with exactly three strings, the third read
// as a signed decimal number and accepted when IsWindow says it is a window. Null otherwise.
HWND ReadOwnerWindow(int argumentCount, WCHAR** arguments);
