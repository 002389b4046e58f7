// The invisible tray window: icon, balloon, menu, listener control and process lifetime.
#pragma once

#include <windows.h>
#include <shellapi.h>

#define TRAY_ANIMATION_TIMER 10
#define TRAY_TIP L"Quillstack 6.4.0.2425"

void RegisterMainWindowClass(HINSTANCE instance);
bool CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void FillNotifyData(NOTIFYICONDATAW* data, HWND window);
void AddTrayIcon(HWND window);
void UpdateTrayIcon(HWND window);
HICON LoadCachedIcon(HICON* slot, WORD id);
// After the message loop: ends the listener and releases the session library.
void EndTrayWindow();
