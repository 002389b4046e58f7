#include "spooler_link.h"

#include <memory>

#include "../common/spooler_pipe_client.h"

DWORD CallService(SpoolerCommand command, DWORD number, const std::wstring& text1, const std::wstring& text2,
                  SpoolerReply* reply, DWORD* generation) {
  if (text1.size() >= SPOOLER_TEXT_CHARS || text2.size() >= SPOOLER_TEXT_CHARS) return ERROR_INVALID_PARAMETER;
  std::unique_ptr<SpoolerRequest> request(new SpoolerRequest());
  request->Command = command;
  request->Number = number;
  wmemcpy(request->Text1, text1.c_str(), text1.size());
  wmemcpy(request->Text2, text2.c_str(), text2.size());
  std::unique_ptr<SpoolerReply> own;
  if (!reply) {
    own.reset(new SpoolerReply());
    reply = own.get();
  }
  DWORD error = CallSpooler(*request, *reply);
  if (error) return error;
  if (generation) *generation = reply->Generation;
  return reply->Error;
}

DWORD SpoolerUp(DWORD* generation) { return CallService(SpoolerPing, 0, L"", L"", nullptr, generation); }

DWORD TakeServiceFault(const wchar_t* faultName) { return CallService(SpoolerTakeFault, 0, faultName, L""); }

PrinterHandle* CheckedHandle(HANDLE handle) {
  PrinterHandle* printer = static_cast<PrinterHandle*>(handle);
  if (!printer || printer->Magic != PRINTER_HANDLE_MAGIC) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  DWORD generation = 0;
  DWORD error = SpoolerUp(&generation);
  if (error) {
    SetLastError(error);
    return nullptr;
  }
  if (generation != printer->Generation) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return printer;
}

LPWSTR InfoPacker::Text(const std::wstring& text) {
  DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  LPWSTR at = nullptr;
  if (Writing) {
    at = reinterpret_cast<LPWSTR>(Buffer + Used);
    memcpy(at, text.c_str(), bytes);
  }
  Used += bytes;
  return at;
}

LPWSTR InfoPacker::TextList(const std::wstring& joined) {
  DWORD bytes = static_cast<DWORD>(joined.size() * sizeof(wchar_t));
  LPWSTR at = nullptr;
  if (Writing) {
    at = reinterpret_cast<LPWSTR>(Buffer + Used);
    memcpy(at, joined.data(), bytes);
  }
  Used += bytes;
  return at;
}

DWORD FetchPortNames(std::vector<std::wstring>& ports) {
  std::unique_ptr<SpoolerReply> reply(new SpoolerReply());
  DWORD error = CallService(SpoolerEnumPorts, 0, L"", L"", reply.get());
  if (error) return error;
  for (const wchar_t* at = reply->Text; *at;) {
    ports.push_back(at);
    at += wcslen(at) + 1;
    at += wcslen(at) + 1;
  }
  return 0;
}
