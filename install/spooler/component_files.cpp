#include "component_files.h"

// Placeholder until component handling lands.
void SelectComponents(InstallContext& context, BYTE) {
  context.Environment = L"Windows x64";
  context.MonitorFile = L"vtxmon64.dll";
  context.DriverFile = L"vtxdrv64.dll";
  context.UiFile = L"vtxui64.dll";
  context.HelpFile = L"vtxhelp.chm";
}
HRESULT CopyComponentFile(InstallContext&, const WCHAR*, const WCHAR*, WCHAR*, BYTE) { return E_FAIL; }
HANDLE CreateDestinationFile(InstallContext&, const WCHAR*) { return INVALID_HANDLE_VALUE; }
int GetFileBuildNumber(const WCHAR*) { return -1; }
