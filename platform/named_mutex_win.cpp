#include "platform/named_mutex.h"

#include <windows.h>

#include <utility>

#include "platform/win32_text.h"

namespace zephron::platform {

NamedMutex::NamedMutex(std::string_view name) {
  // A null access-control list: every user and process may open the mutex.
  SECURITY_DESCRIPTOR descriptor{};
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  handle_ = ::CreateMutexW(&attributes, FALSE, win32::Wide(name).c_str());
  if (!handle_) {
    problem_ = "The mutex " + std::string(name) + " cannot be created (error " + std::to_string(::GetLastError()) + ").";
    return;
  }
  alreadyExisted_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool NamedMutex::valid() const { return handle_ != nullptr; }

NamedMutex::~NamedMutex() {
  if (handle_) ::CloseHandle(handle_);
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      alreadyExisted_(other.alreadyExisted_),
      problem_(std::move(other.problem_)) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    if (handle_) ::CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    alreadyExisted_ = other.alreadyExisted_;
    problem_ = std::move(other.problem_);
  }
  return *this;
}

}  // namespace zephron::platform
