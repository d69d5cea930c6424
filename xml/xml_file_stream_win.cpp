#include <windows.h>

#include <algorithm>

#include "platform/last_error.h"
#include "platform/win32_text.h"
#include "xml/xml_error.h"
#include "xml/xml_stream.h"

namespace zephron {

TxmlFileStream::TxmlFileStream(const std::string& fileName, Mode mode) {
  const std::wstring path = platform::win32::WidePath(fileName);
  if (mode == Mode::OpenRead) {
    handle_ = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
      handle_ = nullptr;
      throw TxmlError("Unable to open file " + fileName + "\r\n" + platform::SystemErrorText(::GetLastError()));
    }
    return;
  }
  // Opened first and emptied after, so a save never wipes a file that
  // another writer has open.
  handle_ = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
  DWORD error = handle_ == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  if (error == 0 && !::SetEndOfFile(handle_)) error = ::GetLastError();
  if (error != 0) {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = nullptr;
    throw TxmlError("Unable to create file " + fileName + "\r\n\r\n" + platform::SystemErrorText(error));
  }
}

TxmlFileStream::~TxmlFileStream() {
  if (handle_) ::CloseHandle(handle_);
}

std::int64_t TxmlFileStream::Size() const {
  LARGE_INTEGER size{};
  return ::GetFileSizeEx(handle_, &size) ? size.QuadPart : 0;
}

std::size_t TxmlFileStream::Read(void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position_);
    at.OffsetHigh = static_cast<DWORD>(position_ >> 32);
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    if (!::ReadFile(handle_, static_cast<char*>(buffer) + done, chunk, &got, &at) || got == 0) break;
    done += got;
    position_ += got;
  }
  return done;
}

std::size_t TxmlFileStream::Write(const void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position_);
    at.OffsetHigh = static_cast<DWORD>(position_ >> 32);
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    if (!::WriteFile(handle_, static_cast<const char*>(buffer) + done, chunk, &written, &at) || written == 0) break;
    done += written;
    position_ += written;
  }
  return done;
}

}  // namespace zephron
