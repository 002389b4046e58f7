// Taking the tray program out of service.
#pragma once

// Ends a tray program running in this logon session, deletes its file and its autostart value.
void RemoveTray();
