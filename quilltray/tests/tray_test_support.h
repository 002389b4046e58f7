// What the dispatcher's process tests share: starting and ending quilltray.exe, the main-application
// stand-in and its record, the spool files in the temporary folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "modules/jobpipe/job_pipe_writer.h"

std::wstring BesideTest(const wchar_t* name);
// Starts Wine's desktop process from this test, with standard error on NUL. Wine hands the
// desktop process the standard error of whichever program first needs it; started from a test
// (or from a program the test started) it would keep ctest's output pipe open, and the test would
// never end. Call before anything that touches windows; later calls do nothing.
void StartDesktopQuietly();
std::wstring TempFolder();
// Names (not paths) of the *.Quillstack files in the temporary folder, sorted.
std::vector<std::wstring> SpoolFiles();
void DeleteSpoolFiles();
std::string ReadWholeFile(const std::wstring& path);
// Waits until the job pipe has a listening instance.
bool WaitForJobPipe(DWORD timeoutMs);
// Waits until no job pipe instance exists any more.
bool WaitForJobPipeGone(DWORD timeoutMs);
HWND FindTrayWindow();

// A quilltray.exe started for one test and ended by it, whatever the test's outcome: first by the
// exit message, then by its process id.
struct TrayProcess {
  PROCESS_INFORMATION Info = {};
  bool Start(bool waitForPipe = true);
  // Waits for the process to end; its exit code, or STILL_ACTIVE after timeoutMs.
  DWORD WaitForExit(DWORD timeoutMs);
  bool Running() const;
  void End();
  ~TrayProcess() { End(); }
};

// The main-application stand-in as "FullPathExe" under HKEY_CURRENT_USER, with its record file
// fresh; both removed again at the end of the scope.
struct MainAppScope {
  std::wstring RecordFile;
  MainAppScope();
  ~MainAppScope();
  // The stand-in's lines, waiting up to timeoutMs for at least count of them.
  std::vector<std::wstring> Calls(size_t count, DWORD timeoutMs) const;
};

// A writer whose connection ends with its scope, also when an assertion leaves the test early;
// otherwise its data pipe would stay and block the same connection number in the next test.
struct TestWriter : JobPipeWriter {
  TestWriter() : JobPipeWriter() {}
  ~TestWriter() { CloseJobPipeWriter(this, false); }
  TestWriter(const TestWriter&) = delete;
  TestWriter& operator=(const TestWriter&) = delete;
};

// Sets the temporary folder of the programs this process starts (TMP) for as long as it lives.
struct TempFolderScope {
  std::wstring Saved;
  bool HadOne;
  explicit TempFolderScope(const std::wstring& folder);
  ~TempFolderScope();
};

// A writer that connects to the running dispatcher (with generous bounds).
bool Connect(JobPipeWriter* writer);
// A whole job: OpenSpool(mode, title), the data, then a record that ends it.
std::wstring SendJob(WORD mode, const std::wstring& title, const std::string& data);
// Repeats the same byte pattern that tests can check again.
std::string PatternBytes(size_t size, unsigned seed);
