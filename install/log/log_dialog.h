// The log dialog: shows a finished installation log and waits until the user closes it.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// Room for the dialog's title, the terminator included.
const int LogDialogTitleUnits = 264;

// "Quillstack build 2436- Install error log!" when errors were logged, else "... log.".
void FormatLogDialogTitle(const InstallContext& context, WCHAR* title, int units);
// lParam of WM_INITDIALOG is the InstallContext; only its Log and ErrorCount are read.
INT_PTR CALLBACK LogDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Shows the dialog modally from ProgramInstance, owned by `ownerWindow` (or none).
void ShowLogDialog(InstallContext& context, HWND ownerWindow);
