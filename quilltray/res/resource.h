// Resource numbers of the tray program.
#pragma once

#define IDI_LISTENING 107      // listening, no connection; also busy frame 0
#define IDM_TRAY_MENU 109      // context menu of the icon
#define IDI_NOT_LISTENING 130
#define IDI_BUSY_1 131
#define IDI_BUSY_2 132
#define IDI_BUSY_3 133
#define IDC_OPEN 32771         // "&Open..."
