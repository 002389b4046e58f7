// The product staged in a folder of its own as users have it: install.exe with the component
// files (and the spooler stand-in's winspool.drv) in <product>\setup\, quilltray.exe above them.
// For tests whose build defines QUILL_TRAY_EXE (the tray tree's quilltray.exe).
#pragma once
#include <windows.h>

#include <string>

#include "product_state.h"
#include "spooler_test_support.h"
#include "spooler_testbed.h"

const wchar_t StagedProductFolder[] = L"C:\\Program Files\\Quill Sequence Test\\";

inline std::wstring SetupExe() { return std::wstring(StagedProductFolder) + L"setup\\install.exe"; }
inline std::wstring TrayExe() { return std::wstring(StagedProductFolder) + L"quilltray.exe"; }

// The tray tree's quilltray.exe as Wine sees it (drive Z: is the Unix root).
inline std::wstring BuiltTrayProgram() {
  std::wstring path = L"Z:";
  for (const char* c = QUILL_TRAY_EXE; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return path;
}

// Copies the programs beside the test into the product folder.
inline bool StageProduct() {
  const wchar_t* const setupFiles[] = {L"install.exe", L"winspool.drv", L"vtxmon64.dll", L"vtxdrv64.dll", L"vtxui64.dll", L"vtxhelp.chm"};
  CreateDirectoryW(StagedProductFolder, nullptr);
  std::wstring setup = std::wstring(StagedProductFolder) + L"setup\\";
  CreateDirectoryW(setup.c_str(), nullptr);
  bool ok = CopyFileW(BuiltTrayProgram().c_str(), TrayExe().c_str(), FALSE) != 0;
  for (const wchar_t* file : setupFiles) ok = CopyFileW(ProgramDirectory().append(file).c_str(), (setup + file).c_str(), FALSE) && ok;
  return ok;
}

// A machine without the product (no tray program, a plain running spooler, no monitor file in the
// system folder, no Run value) and the product staged; false when a step failed.
inline bool StartWithStagedProduct() {
  EndTray();
  bool ok = ResetSpooler();
  ok = DeleteSystemMonitorFile() && ok;
  DeleteRunValue();
  return StageProduct() && ok;
}
