// Finding, reading and closing a dialog of a running process, as a user would meet it.
#pragma once
#include <windows.h>

#include <string>

// The dialog box (class "#32770") of the process, waiting up to timeoutMs for it to appear.
// The calling thread's messages are pumped meanwhile, so that a window of the caller can serve
// as the dialog's owner. Null when none appeared.
HWND WaitForProcessDialog(DWORD processId, DWORD timeoutMs);
// The first dialog of the process right now, or null.
HWND FindProcessDialog(DWORD processId);
// The text of a window of any process (WM_GETTEXT, bounded wait).
std::wstring ReadWindowText(HWND window);

enum class DialogClose { CloseButton, EnterKey, EscapeKey, CloseBox };
const char* DialogCloseName(DialogClose how);
// Posts what the user's action sends: a click of button 1, Enter or Escape to the focused control
// (the dialog itself when nothing has the focus), or the title bar's close command.
void CloseDialog(HWND dialog, DialogClose how);

// Pumps the calling thread's messages until the handle is signalled or timeoutMs has passed.
bool WaitPumping(HANDLE handle, DWORD timeoutMs);
