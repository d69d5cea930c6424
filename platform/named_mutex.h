// Stand-in for named mutexes (CreateMutexW with and without the "Global\"
// prefix, CloseHandle). A name beginning with "Global\" is seen by every user
// of the machine; any other name only within the user's own session. A name
// exists while any process holds a handle to it; the kernel releases the
// handles of a process that dies, so nothing stale is left behind.
//
// On Windows these are the system's own mutexes, created with a security
// descriptor whose access-control list is null (everyone may open them).
// Elsewhere each name is a lock file: in ZEPHRON_MUTEX_DIR/global and
// ZEPHRON_MUTEX_DIR/session when that variable is set; otherwise in
// /tmp/.zephron-mutex (shared by all users) and in
// $XDG_RUNTIME_DIR/zephron-mutex (or /tmp/.zephron-mutex-<uid>) for the session.
//
// Since another local user can make the shared folder first, nothing there is
// trusted: the folder and the files are opened without following links, a
// folder not owned by root or by us, or writable by others without the sticky
// bit, is refused, and only a lock file this process created gets its mode
// set. A refused name is not valid(); the caller decides how to go on.
#pragma once

#include <string>
#include <string_view>

namespace zephron::platform {

class NamedMutex {
 public:
  // Creates (or opens) the mutex. alreadyExisted() then tells whether another
  // handle to the name was open at that moment (ERROR_ALREADY_EXISTS).
  explicit NamedMutex(std::string_view name);
  ~NamedMutex();
  NamedMutex(NamedMutex&& other) noexcept;
  NamedMutex& operator=(NamedMutex&& other) noexcept;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // False when the name could not be created at all (the creation failed);
  // problem() then says why, for a warning.
  bool valid() const;
  bool alreadyExisted() const { return alreadyExisted_; }
  const std::string& problem() const { return problem_; }

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // the mutex's HANDLE
#else
  int fd_ = -1;  // the lock file
#endif
  bool alreadyExisted_ = false;
  std::string problem_;
};

#ifndef _WIN32
// The lock file that stands for a mutex name (for diagnostics and tests).
std::string MutexFile(std::string_view name);
#endif

}  // namespace zephron::platform
