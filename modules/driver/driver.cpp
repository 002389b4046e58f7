// vtxdrv: the Quillstack printer driver's driver and data file. Quillstack renders nothing: its
// printers carry what applications send in RAW form unchanged to the port monitor. The graphics
// entry points therefore answer that this driver cannot be enabled for drawing.
#include <windows.h>

extern "C" {

// DRVQUERY_USERMODE (1): a user-mode driver.
BOOL WINAPI DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (dwMode != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!pBuffer || cbBuf < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<DWORD*>(pBuffer) = TRUE;
  return TRUE;
}

BOOL WINAPI DrvEnableDriver(ULONG, ULONG, PVOID) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

VOID WINAPI DrvDisableDriver() {}

}  // extern "C"
