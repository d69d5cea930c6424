// The patcher's replacement file on Windows: the same as files.cpp, on the
// C runtime's wide file calls; the finished file goes over the old one by
// platform::MoveFileReplacing, which also replaces a read-only file.
#include "tools/patcher/files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>
#include <span>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/win32_text.h"

namespace zephron::patcher {

ReplacementFile::ReplacementFile(const std::string& target) : target_(target) {
  // Split as text: a std::filesystem::path made from a std::string reads it
  // in the ANSI code page, not as UTF-8.
  const std::string folder = platform::ExtractFilePath(target);
  const std::string stem = folder + "." + target.substr(folder.size()) + ".patching-";
  std::random_device seed;
  std::mt19937 random(seed());
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  // A name nobody holds: created exclusively, tried again while taken.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string name = stem;
    for (int i = 0; i < 6; ++i) name += kDigits[random() % (sizeof kDigits - 1)];
    fd_ = ::_wopen(platform::win32::WidePath(name).c_str(),
                   _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd_ >= 0) path_ = name;
    else if (errno != EEXIST) break;
  }
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) ::_close(fd_);
  if (!committed_ && !path_.empty()) platform::DeleteFile(path_);
}

bool ReplacementFile::Write(std::string_view bytes) {
  return platform::WriteAllToFile(fd_, std::as_bytes(std::span(bytes.data(), bytes.size())));
}

bool ReplacementFile::Commit() {
  if (fd_ < 0) return false;
  if (::_commit(fd_) != 0) return false;
  const int fd = fd_;
  fd_ = -1;
  if (::_close(fd) != 0) return false;
  if (!platform::MoveFileReplacing(path_, target_)) return false;
  committed_ = true;
  return true;
}

}  // namespace zephron::patcher
