#include "package_support.h"

#include <msi.h>
#include <msiquery.h>
#include <winspool.h>

#include "support/install_process.h"

const wchar_t* const PackageFiles[9] = {L"quilltray.exe",      L"setup\\install.exe",  L"setup\\vtxmon64.dll",
                                        L"setup\\vtxdrv64.dll", L"setup\\vtxui64.dll",  L"setup\\vtxhelp.chm",
                                        L"setup\\vtxmon32.dll", L"setup\\vtxdrv32.dll", L"setup\\vtxui32.dll"};

namespace {

std::string ReadWholeFile(const wchar_t* path) {
  std::string text;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[8192];
  DWORD got = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return text;
}

std::wstring LogPath(const wchar_t* logName) { return std::wstring(L"C:\\windows\\temp\\") + logName + L".log"; }

}  // namespace

std::wstring FromBuild(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* c = unixPath; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return path;
}

DWORD RunMsiexec(const std::wstring& arguments, const wchar_t* logName) {
  DeleteFileW(LogPath(logName).c_str());
  return RunInstallProcessAt(L"C:\\windows\\system32\\msiexec.exe", arguments + L" /l*v \"" + LogPath(logName) + L"\"", 600000);
}

std::string ReadMsiLog(const wchar_t* logName) { return ReadWholeFile(LogPath(logName).c_str()); }

std::wstring ProductCodeOf(const std::wstring& package) {
  std::wstring code;
  MSIHANDLE database = 0, view = 0, record = 0;
  if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS) return code;
  if (MsiDatabaseOpenViewW(database, L"SELECT `Value` FROM `Property` WHERE `Property` = 'ProductCode'", &view) == ERROR_SUCCESS &&
      MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
    wchar_t value[64] = {};
    DWORD length = 64;
    if (MsiRecordGetStringW(record, 1, value, &length) == ERROR_SUCCESS) code = value;
    MsiCloseHandle(record);
  }
  if (view != 0) MsiCloseHandle(view);
  MsiCloseHandle(database);
  return code;
}

bool ProductInstalled(const std::wstring& productCode) { return MsiQueryProductStateW(productCode.c_str()) == INSTALLSTATE_DEFAULT; }

std::vector<std::wstring> InstalledProducts() {
  std::vector<std::wstring> codes;
  wchar_t code[39] = {};
  for (DWORD index = 0; MsiEnumRelatedProductsW(UpgradeCode, 0, index, code) == ERROR_SUCCESS; ++index) codes.push_back(code);
  return codes;
}

std::wstring ProductVersion(const std::wstring& productCode) {
  wchar_t version[64] = {};
  DWORD length = 64;
  if (MsiGetProductInfoW(productCode.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &length) != ERROR_SUCCESS) return L"<none>";
  return version;
}

std::wstring UninstallValue(const std::wstring& productCode, const wchar_t* name) {
  std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
  wchar_t data[600] = {};
  DWORD bytes = sizeof(data) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data, &bytes) !=
      ERROR_SUCCESS)
    return L"<none>";
  return data;
}

void RemoveInstalledProducts(const std::vector<std::wstring>& packages) {
  for (const std::wstring& code : InstalledProducts()) RunMsiexec(L"/x " + code + L" /qn", L"quill-package-cleanup");
  for (const std::wstring& package : packages)
    if (ProductInstalled(ProductCodeOf(package))) RunMsiexec(L"/x \"" + package + L"\" /qn", L"quill-package-cleanup");
}

int InstallLogRuns(const char* word) {
  std::string log = ReadWholeFile(L"C:\\ProgramData\\Corvell\\Quillstack\\install.log");
  std::string header = std::string(" install.exe ") + word + " ====";
  int runs = 0;
  for (size_t at = log.find(header); at != std::string::npos; at = log.find(header, at + 1)) ++runs;
  return runs;
}
