#include "system_text.h"

namespace {

WCHAR* FormatIn(DWORD code, LANGID language) {
  WCHAR* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, language,
                 reinterpret_cast<WCHAR*>(&text), 0, nullptr);
  return text;
}

}  // namespace

WCHAR* SystemErrorText(DWORD code) {
  const LANGID English = 1033;
  WCHAR* text = FormatIn(code, English);
  // Without English messages: the system's language, then whatever the system's search order finds.
  if (text == nullptr && GetSystemDefaultUILanguage() != English) text = FormatIn(code, GetSystemDefaultUILanguage());
  if (text == nullptr) text = FormatIn(code, 0);
  if (text != nullptr) {
    int n = lstrlenW(text);
    while (n > 0 && (text[n - 1] == 0x000D || text[n - 1] == 0x000A)) text[--n] = 0;
  }
  return text;
}
