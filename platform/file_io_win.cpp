#include "platform/file_io.h"

#include <io.h>
#include <windows.h>
// The unit has a DeleteFile of its own; the system's is called by its wide name.
#undef DeleteFile

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/win32_text.h"

namespace zephron::platform {

using win32::WidePath;

bool AppendToFile(const std::string& path, std::string_view bytes) {
  // FILE_APPEND_DATA alone makes every write land at the end, also when
  // another process appends to the same log between our lines.
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    ok = ::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  return ::CloseHandle(file) && ok;
}

bool AppendLine(const std::string& path, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return AppendToFile(path, line);
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::string& path) {
  if (!FileExists(path)) return false;
  return ::DeleteFileW(WidePath(path).c_str()) != 0;
}

namespace {

// Puts what has been written to a file that is to be moved on disk. One
// that cannot be opened for writing (read-only, held by another) moves as it
// is; only a failed flush keeps it from moving.
bool FlushBeforeMove(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;
  const bool flushed = ::FlushFileBuffers(file) != 0;
  ::CloseHandle(file);
  return flushed;
}

// Copies from into a new temporary file in the folder of to, flushed to
// disk; its name, or empty.
std::wstring CopyBeside(const std::wstring& from, const std::wstring& to) {
  const auto slash = to.rfind(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? L"." : to.substr(0, slash);
  wchar_t name[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(folder.c_str(), L"ZEP", 0, name) == 0) return {};
  if (!::CopyFileW(from.c_str(), name, FALSE)) {
    ::DeleteFileW(name);
    return {};
  }
  HANDLE copy = ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool flushed = copy != INVALID_HANDLE_VALUE && ::FlushFileBuffers(copy);
  if (copy != INVALID_HANDLE_VALUE) ::CloseHandle(copy);
  if (!flushed) {
    ::DeleteFileW(name);
    return {};
  }
  return name;
}

}  // namespace

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  if (DirectoryExists(to)) return false;
  const std::wstring source = WidePath(from);
  const std::wstring target = WidePath(to);
  // A read-only target is replaced like any other, as a rename over it is elsewhere.
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  // A file about to be replaced is lost with the move: what takes its name
  // is on disk first. A new name loses nothing.
  if (attributes != INVALID_FILE_ATTRIBUTES && !FlushBeforeMove(source)) return false;
  constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (::MoveFileExW(source.c_str(), target.c_str(), kReplace)) return true;
  if (::GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  // Across volumes the target is never written in place: a complete copy
  // beside it is renamed over it.
  const std::wstring copy = CopyBeside(source, target);
  if (copy.empty()) return false;
  if (!::MoveFileExW(copy.c_str(), target.c_str(), kReplace)) {
    ::DeleteFileW(copy.c_str());
    return false;
  }
  ::DeleteFileW(source.c_str());
  return true;
}

bool FlushFileSystem(const std::string& folder) {
  wchar_t volume[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(WidePath(folder.empty() ? "." : folder).c_str(), volume, MAX_PATH)) return false;
  // "C:\" names the volume as "\\.\C:"; a mounted folder has no such name.
  std::wstring device(volume);
  if (device.size() != 3 || device[1] != L':') return true;
  device = L"\\\\.\\" + device.substr(0, 2);
  HANDLE handle = ::CreateFileW(device.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  const bool flushed = ::FlushFileBuffers(handle) != 0;
  ::CloseHandle(handle);
  return flushed;
}

std::FILE* OpenRegularFileForReading(const std::string& path) {
  const std::wstring wide = WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
  return ::_wfopen(wide.c_str(), L"rb");
}

std::int64_t OpenFileSize(std::FILE* file) { return ::_filelengthi64(::_fileno(file)); }

bool WriteAllToFile(int fd, std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const unsigned block = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
    const int n = ::_write(fd, bytes.data(), block);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace zephron::platform
