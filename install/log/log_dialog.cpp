#include "log_dialog.h"

#include <stdio.h>

#include "log_dialog_ids.h"
#include "../control/command_line.h"

void FormatLogDialogTitle(const InstallContext& context, WCHAR* title, int units) {
  if (units <= 0) return;
  _snwprintf(title, static_cast<size_t>(units - 1), L"Quillstack build %d- Install%s", BuildNumber,
             context.ErrorCount != 0 ? L" error log!" : L" log.");
  title[units - 1] = 0;
}

INT_PTR CALLBACK LogDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const InstallContext* context = reinterpret_cast<const InstallContext*>(lParam);
      if (context == nullptr) return 0;
      SetDlgItemTextW(dialog, IDC_LOG_TEXT, Text(context->Log));
      WCHAR title[LogDialogTitleUnits] = {};
      FormatLogDialogTitle(*context, title, LogDialogTitleUnits);
      SetWindowTextW(dialog, title);
      return 0;
    }
    case WM_COMMAND:
      // Enter reaches here as the default button's id, Escape and the close box as IDCANCEL.
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
      else if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return 0;
    default:
      return 0;
  }
}

void ShowLogDialog(InstallContext& context, HWND ownerWindow) {
  DialogBoxParamW(ProgramInstance, MAKEINTRESOURCEW(IDD_LOG_DIALOG), ownerWindow, LogDialogProc,
                  reinterpret_cast<LPARAM>(&context));
}
