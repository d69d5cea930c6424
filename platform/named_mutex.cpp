#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/ascii_case.h"

namespace zephron::platform {
namespace {

constexpr std::string_view kGlobalPrefix = "Global\\";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// The prefix is matched without regard to case, as the kernel object namespace does.
bool StartsWithGlobal(std::string_view name) { return StartsWithAsciiNoCase(name, kGlobalPrefix); }

std::string Folder(bool global) {
  if (const std::string base = Env("ZEPHRON_MUTEX_DIR"); !base.empty()) return base + (global ? "/global" : "/session");
  if (global) return "/tmp/.zephron-mutex";
  if (const std::string runtime = Env("XDG_RUNTIME_DIR"); !runtime.empty()) return runtime + "/zephron-mutex";
  return "/tmp/.zephron-mutex-" + std::to_string(::getuid());
}

// Mutex names may hold any character but "\"; file names must not hold "/",
// and a leading "." would make "." and ".." name folders.
std::string Escape(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
                       u == '_' || (u == '.' && !out.empty());
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Opens the folder of the names without following a link, creating it when
// it is missing. The global folder is shared with every user (mode 1777, as
// /tmp), so another user may have made it first: it is used only when it is
// owned by root or by us and nobody else can remove or replace our names in
// it (not writable by others, or sticky). -1 with the reason otherwise.
int OpenFolder(const std::string& folder, bool global, std::string& problem) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
  const bool made = ::mkdir(folder.c_str(), 0700) == 0;
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    problem = "the folder " + folder + " cannot be used: " + ErrorText(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    problem = "the folder " + folder + " cannot be used: " + ErrorText(errno);
    return -1;
  }
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
    problem = "the folder " + folder + " belongs to another user";
    return -1;
  }
  // Only a folder made just now is opened up, through its descriptor.
  if (made && global && ::fchmod(fd.get(), 01777) == 0) st.st_mode = S_IFDIR | 01777;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
    problem = "the folder " + folder + " is writable by other users and not sticky";
    return -1;
  }
  return fd.release();
}

// Opens the lock file in the folder, never through a link. Only a file this
// call created has its mode changed: a file planted by someone else keeps
// whatever it had.
int OpenLockFile(int folder, const std::string& name, bool global, const std::string& shown, std::string& problem) {
  constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int raw = ::openat(folder, name.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  const bool created = raw >= 0;
  if (!created && errno == EEXIST) raw = ::openat(folder, name.c_str(), kFlags);
  Descriptor fd(raw);
  if (fd.get() < 0) {
    problem = "the lock file " + shown + " cannot be opened: " + ErrorText(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = "the lock file " + shown + " is not a plain file";
    return -1;
  }
  if (created && global) ::fchmod(fd.get(), 0666);  // other users open the same name
  return fd.release();
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
  const std::string_view bare = global ? name.substr(kGlobalPrefix.size()) : name;
  const std::string folder = Folder(global);
  const Descriptor dir(OpenFolder(folder, global, problem_));
  if (dir.get() < 0) return;
  const std::string file = Escape(bare);
  fd_ = OpenLockFile(dir.get(), file, global, folder + "/" + file, problem_);
  if (fd_ < 0) return;
  // An exclusive lock succeeds only when no other handle holds the name.
  alreadyExisted_ = !SetLock(fd_, F_WRLCK);
  if (!SetLock(fd_, F_RDLCK)) {
    problem_ = "the lock file " + folder + "/" + file + " cannot be locked: " + ErrorText(errno);
    ::close(fd_);
    fd_ = -1;
  }
}

bool NamedMutex::valid() const { return fd_ >= 0; }

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), alreadyExisted_(other.alreadyExisted_), problem_(std::move(other.problem_)) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    alreadyExisted_ = other.alreadyExisted_;
    problem_ = std::move(other.problem_);
  }
  return *this;
}

}  // namespace zephron::platform
