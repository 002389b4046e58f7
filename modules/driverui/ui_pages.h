// The property pages of the configuration module, added through the common property-sheet host's
// callback: Printing Preferences for a document's settings and the printer page.
#pragma once
#include "driver_ui_interface.h"

// The module's own handle, set when it is loaded; its dialogs and strings live there.
extern HINSTANCE UiModule;

// DrvDocumentPropertySheets and DrvDevicePropertySheets with property-sheet data: one call per
// reason of the host (PROPSHEETUI_REASON_*).
LONG DocumentPageRequest(PROPSHEETUI_INFO& info, LPARAM lParam);
LONG DevicePageRequest(PROPSHEETUI_INFO& info, LPARAM lParam);

// Text of the string table (empty when the identifier is missing).
void LoadText(UINT id, WCHAR* buffer, int chars);
