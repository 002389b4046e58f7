// Identifiers of the log dialog, shared by its resource script and its code.
#pragma once

#define IDD_LOG_DIALOG 101
#define IDC_LOG_TEXT 1001
