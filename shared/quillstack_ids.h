// Identifiers that the installer and the tray program both rely on. The tray program owns them;
// the installer uses them to find and stop a running tray program. Nothing else crosses between
// the two programs.
#pragma once

// Single-instance mutex of the tray program, in the logon session's own namespace (ANSI name).
#define QUILL_TRAY_MUTEX_NAME "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}"

// Window class and title of the tray program's invisible window.
#define QUILL_TRAY_WINDOW_CLASS L"qsl::{05759F8E-103D-41B6-8A61-EFAA89516692}"
#define QUILL_TRAY_WINDOW_TITLE L"Quillstack Server Listener"

// Messages of the tray window (WM_USER = 1024). All are posted, never sent.
#define UM_CONNECTION_CLOSED 1025  // lParam: the connection's JobSession
#define UM_EXIT 1026               // the exit request; wParam 0, lParam 0
#define UM_CONNECTION_OPENED 1027  // lParam: the connection's JobSession
#define UM_SHOW_JOB_COUNT 1028
#define UM_STOP_LISTENING 1029
#define UM_LISTENER_STOPPED 1030
#define UM_JOB_FAILED 1031         // a job was not stored or handed off; wParam: the Windows error
#define UM_TRAY_NOTIFY 1034        // callback message of the tray icon; lParam: the mouse message
