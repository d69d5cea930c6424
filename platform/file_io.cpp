#include "platform/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace zephron::platform {

bool AppendToFile(const std::string& path, std::string_view bytes) {
  // O_APPEND makes each write land at the end even when another process
  // appends to the same log between our lines.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool AppendLine(const std::string& path, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return AppendToFile(path, line);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

bool DirectoryExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

bool DeleteFile(const std::string& path) {
  if (!FileExists(path)) return false;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace zephron::platform
