// Shared pieces of the spooler-component tests: a context that cleans up after itself, the log
// as lines, scratch directories and the test programs' own folder.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "install/control/install_context.h"

struct TestContext {
  InstallContext c = {};
  TestContext() = default;
  ~TestContext();
  TestContext(const TestContext&) = delete;
  TestContext& operator=(const TestContext&) = delete;
  std::wstring Log() const;
  // The log cut at its CR LF pairs; the indentation stays.
  std::vector<std::wstring> Lines() const;
};

// The system's English text for an error code, without its line break, as the log quotes it.
std::wstring SystemText(DWORD code);
// The folder of the running test program, ending in "\".
std::wstring ProgramDirectory();

// A fresh folder under the temporary directory, deleted with its files when the scope ends.
struct ScratchDirectory {
  std::wstring Path;  // ends in "\"
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
};

bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
bool FileExists(const std::wstring& path);
