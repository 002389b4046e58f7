// The request DrvDocumentPropertySheets receives when it is called without property-sheet data
// (as the Windows driver kit lays it out); shared by the configuration module and its tests.
#pragma once
#include <windows.h>

struct DocumentPropertyHeader {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
};
