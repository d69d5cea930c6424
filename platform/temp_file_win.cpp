#include "platform/temp_file.h"

#include <windows.h>
// The platform has a DeleteFile of its own; the system's is called by its wide name.
#undef DeleteFile

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/file_io.h"
#include "platform/win32_text.h"

namespace zephron::platform {

namespace fs = std::filesystem;
using win32::WidePath;

namespace {

bool WriteAll(HANDLE file, std::span<const std::byte> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      errno = EIO;
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

std::optional<TempFile> TempFile::Create(const std::string& folder, bool writeBack) {
  const auto ticks = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  unsigned number = (ticks & 0xFFFFu) == 0 ? 1 : (ticks & 0xFFFFu);
  for (unsigned attempt = 0; attempt < 0xFFFFu; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "ZEP%X.tmp", number);
    const std::string path = folder + name;
    // CREATE_NEW: the name must be new. Others may read it, but no one else
    // may write or delete it while it is open: that is its lock.
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return TempFile(path, file, writeBack);
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return std::nullopt;
    number = number == 0xFFFFu ? 1 : number + 1;
  }
  return std::nullopt;
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)),
      file_(std::exchange(other.file_, kNoFile)),
      kept_(std::exchange(other.kept_, true)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (file_ != kNoFile) ::CloseHandle(file_);
    if (!path_.empty() && !kept_) DeleteFile(path_);
    path_ = std::move(other.path_);
    file_ = std::exchange(other.file_, kNoFile);
    kept_ = std::exchange(other.kept_, true);
  }
  return *this;
}

TempFile::~TempFile() {
  if (file_ != kNoFile) ::CloseHandle(file_);
  file_ = kNoFile;
  if (!path_.empty() && !kept_) DeleteFile(path_);
}

bool TempFile::Write(std::span<const std::byte> bytes) {
  if (file_ == kNoFile) {
    errno = EBADF;
    return false;
  }
  return WriteAll(file_, bytes);
}

// NTFS finds room for a growing file in large runs by itself.
void TempFile::Reserve(std::int64_t) {}

ssize_t TempFile::CopyFrom(std::FILE* in, std::span<std::byte> buffer, bool& kernelCopy) {
  kernelCopy = false;
  if (file_ == kNoFile) {
    errno = EBADF;
    return -1;
  }
  const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
  if (got < buffer.size() && std::ferror(in)) {
    errno = EIO;
    return -1;
  }
  if (got == 0) return 0;
  return WriteAll(file_, buffer.first(got)) ? static_cast<ssize_t>(got) : -1;
}

bool TempFile::Close() {
  if (file_ == kNoFile) return true;
  return ::CloseHandle(std::exchange(file_, kNoFile)) != 0;
}

bool TempFile::Delete() {
  Close();
  kept_ = true;
  std::error_code ec;
  return DeleteFile(path_) || !fs::exists(fs::symlink_status(fs::path(WidePath(path_)), ec));
}

int RemoveStaleTempFiles(const std::string& folder, std::chrono::seconds maxAge) {
  std::error_code ec;
  const fs::path dir = folder.empty() ? fs::path(L".") : fs::path(WidePath(folder));
  const auto oldest = fs::file_time_type::clock::now() - maxAge;
  int removed = 0;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::wstring name = it->path().filename().wstring();
    if (name.size() < 8 || name.compare(0, 3, L"ZEP") != 0 || name.compare(name.size() - 4, 4, L".tmp") != 0) {
      continue;
    }
    std::error_code fileEc;
    if (!fs::is_regular_file(fs::symlink_status(it->path(), fileEc))) continue;
    const auto written = fs::last_write_time(it->path(), fileEc);
    if (fileEc || written > oldest) continue;
    // A live writer keeps others from opening the file for deletion; opened
    // exclusively, it goes when this handle is closed.
    HANDLE file = ::CreateFileW(it->path().c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    if (::CloseHandle(file)) ++removed;
  }
  return removed;
}

}  // namespace zephron::platform
