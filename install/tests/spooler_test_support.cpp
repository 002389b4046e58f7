#include "spooler_test_support.h"

TestContext::~TestContext() {
  Clear(c.Log);
  Clear(c.DriverDirectory);
  Clear(c.ModuleDirectory);
}

std::vector<std::wstring> TestContext::Lines() const {
  std::vector<std::wstring> lines;
  std::wstring log = Log();
  size_t start = 0;
  for (size_t end; (end = log.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) lines.push_back(log.substr(start, end - start));
  if (start < log.size()) lines.push_back(log.substr(start));
  return lines;
}

size_t CountLinesStarting(const std::vector<std::wstring>& lines, const std::wstring& start) {
  size_t n = 0;
  for (const std::wstring& line : lines) n += line.compare(0, start.size(), start) == 0;
  return n;
}

std::wstring SystemText(DWORD code) {
  WCHAR* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 1033,
                 reinterpret_cast<WCHAR*>(&text), 0, nullptr);
  std::wstring result = text != nullptr ? text : L"";
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n')) result.pop_back();
  return result;
}

std::wstring ProgramDirectory() {
  WCHAR path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}
