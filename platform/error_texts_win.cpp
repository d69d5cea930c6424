// The message texts of error numbers, from the system's message tables: the
// Internet library's numbers (12001 to 12175) from wininet.dll, every other
// from the system's own.
#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32_text.h"

namespace zephron::platform {

std::string SystemErrorText(std::uint32_t code) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE wininet = nullptr;
  if (code >= 12001 && code <= 12175) {
    wininet = ::LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (wininet) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  wchar_t* text = nullptr;
  DWORD length = ::FormatMessageW(flags, wininet, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (wininet) ::FreeLibrary(wininet);
  std::wstring message(text ? text : L"", text ? length : 0);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
  return win32::Narrow(message);
}

}  // namespace zephron::platform
