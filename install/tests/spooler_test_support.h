// Shared pieces of the spooler-component tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "install/control/install_context.h"

// A context that frees its buffers; the log as text and as lines (CR LF cut, indentation kept).
struct TestContext {
  InstallContext c = {};
  TestContext() = default;
  ~TestContext();
  TestContext(const TestContext&) = delete;
  TestContext& operator=(const TestContext&) = delete;
  std::wstring Log() const { return Text(c.Log); }
  std::vector<std::wstring> Lines() const;
};

// Lines that begin with `start`.
size_t CountLinesStarting(const std::vector<std::wstring>& lines, const std::wstring& start);
// The system's English text for an error code, without its line break, as the log quotes it.
std::wstring SystemText(DWORD code);
// The folder of the running test program, ending in "\".
std::wstring ProgramDirectory();
