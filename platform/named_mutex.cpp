#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace zephron::platform {
namespace {

constexpr std::string_view kGlobalPrefix = "Global\\";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool StartsWithGlobal(std::string_view name) {
  if (name.size() < kGlobalPrefix.size()) return false;
  for (std::size_t i = 0; i < kGlobalPrefix.size(); ++i) {
    // The prefix is matched without regard to case, as the kernel object namespace does.
    if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(kGlobalPrefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string Folder(bool global) {
  if (const std::string base = Env("ZEPHRON_MUTEX_DIR"); !base.empty()) return base + (global ? "/global" : "/session");
  if (global) return "/tmp/.zephron-mutex";
  if (const std::string runtime = Env("XDG_RUNTIME_DIR"); !runtime.empty()) return runtime + "/zephron-mutex";
  return "/tmp/.zephron-mutex-" + std::to_string(::getuid());
}

// Mutex names may hold any character but "\"; file names must not hold "/".
std::string Escape(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_' || u == '.') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

bool EnsureFolder(const std::string& folder, bool global) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  // Every user must be able to create names in the global folder, as in /tmp.
  if (global) ::chmod(folder.c_str(), 01777);
  return std::filesystem::is_directory(folder, ec);
}

bool SetLock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  // Open-file-description locks belong to the descriptor, not the process, so
  // two handles in one process behave like two processes, and converting the
  // exclusive probe into a shared hold is atomic.
  while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

std::string MutexFile(std::string_view name) {
  const bool global = StartsWithGlobal(name);
  const std::string_view bare = global ? name.substr(kGlobalPrefix.size()) : name;
  return Folder(global) + "/" + Escape(bare);
}

NamedMutex::NamedMutex(std::string_view name) {
  const bool global = StartsWithGlobal(name);
  const std::string file = MutexFile(name);
  if (!EnsureFolder(std::filesystem::path(file).parent_path().string(), global)) return;
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return;
  if (global) ::fchmod(fd_, 0666);  // other users open the same name
  // An exclusive lock succeeds only when no other handle holds the name.
  alreadyExisted_ = !SetLock(fd_, F_WRLCK);
  if (!SetLock(fd_, F_RDLCK)) {
    ::close(fd_);
    fd_ = -1;
  }
}

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), alreadyExisted_(other.alreadyExisted_) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    alreadyExisted_ = other.alreadyExisted_;
  }
  return *this;
}

}  // namespace zephron::platform
