// The package as an administrator meets it: msiexec run on it, and what Windows Installer and
// the spooler say about the machine afterwards.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

const wchar_t ProductFolder[] = L"C:\\Program Files\\Corvell\\Quillstack\\";
const wchar_t UpgradeCode[] = L"{6F1A3C52-8D0B-4E47-9C1E-2B7D5A40C936}";

// A path of the build (a define such as QUILL_PACKAGE_MSI) as Wine sees it: drive Z: is the root.
std::wstring FromBuild(const char* unixPath);
// msiexec.exe with the arguments; each run logs verbosely into C:\windows\temp\<logName>.log.
// The whole 32-bit exit code (a shell would see only its low 8 bits).
DWORD RunMsiexec(const std::wstring& arguments, const wchar_t* logName);
// The text of such a log (Wine writes it as 8-bit text), or "" when there is none.
std::string ReadMsiLog(const wchar_t* logName);
// The ProductCode property of a package file, or "".
std::wstring ProductCodeOf(const std::wstring& package);
// Whether Windows Installer has the product installed.
bool ProductInstalled(const std::wstring& productCode);
// The product codes installed with the package's upgrade code. (Under Wine a major upgrade
// leaves the newer product out of this list: see docs/package.md.)
std::vector<std::wstring> InstalledProducts();
std::wstring ProductVersion(const std::wstring& productCode);
// A value of the product's Apps and Features entry, or "<none>".
std::wstring UninstallValue(const std::wstring& productCode, const wchar_t* name);
// Removes whatever the packages installed before (msiexec /x of each product and package), for a
// clean start.
void RemoveInstalledProducts(const std::vector<std::wstring>& packages);

// The package's nine files, as paths below the product folder.
extern const wchar_t* const PackageFiles[9];
// How many runs of the given command word install.exe's log holds.
int InstallLogRuns(const char* word);
