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

namespace {

// Reads or writes count bytes at *position through ReadFile or WriteFile,
// advancing *position; the bytes done, fewer when the file ends or fails.
template <typename Transfer, typename Byte>
std::size_t TransferAt(Transfer transfer, HANDLE file, Byte* buffer, std::size_t count, std::int64_t& position) {
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD moved = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    if (!transfer(file, buffer + done, chunk, &moved, &at) || moved == 0) break;
    done += moved;
    position += moved;
  }
  return done;
}

}  // namespace

std::size_t TxmlFileStream::Read(void* buffer, std::size_t count) {
  return TransferAt(::ReadFile, handle_, static_cast<char*>(buffer), count, position_);
}

std::size_t TxmlFileStream::Write(const void* buffer, std::size_t count) {
  return TransferAt(::WriteFile, handle_, static_cast<const char*>(buffer), count, position_);
}

}  // namespace zephron
