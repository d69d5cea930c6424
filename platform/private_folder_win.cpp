#include "platform/private_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/paths.h"
#include "platform/win32_text.h"

namespace zephron::platform {
namespace {

using win32::Narrow;
using win32::Wide;
using win32::WidePath;

// The current user's SID (in a buffer), or an empty buffer.
std::vector<unsigned char> UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  const bool ok = size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  ::CloseHandle(token);
  if (!ok) return {};
  const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  std::vector<unsigned char> copy(::GetLengthSid(sid));
  ::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid);
  return copy;
}

std::string SidText(std::vector<unsigned char>& sid) {
  LPWSTR text = nullptr;
  if (sid.empty() || !::ConvertSidToStringSidW(sid.data(), &text)) return {};
  std::string result = Narrow(text);
  ::LocalFree(text);
  return result;
}

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// Creates path with one access rule: full control for the user, nobody
// else, none inherited from the parent.
bool CreatePrivate(const std::string& path, const std::string& sid) {
  const std::wstring sddl = Wide("D:P(A;OICI;FA;;;" + sid + ")");
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  std::unique_ptr<void, LocalFreer> owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  return ::CreateDirectoryW(WidePath(path).c_str(), &attributes) != 0;
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  std::vector<unsigned char> user = UserSid();
  if (user.empty()) return false;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring wide = WidePath(path);
  if (::GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  std::unique_ptr<void, LocalFreer> owned(descriptor);
  // No access list at all lets everyone in.
  if (owner == nullptr || !::EqualSid(owner, user.data()) || dacl == nullptr) return false;
  // Every rule that lets somebody in names the user, or the system itself or
  // its administrators, whom no access list keeps out anyway.
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (!::EqualSid(sid, user.data()) && !::IsWellKnownSid(sid, WinLocalSystemSid) &&
        !::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
      return false;
    }
  }
  return true;
}

std::string MakePrivateFolder(const std::string& parent, const std::string& name) {
  std::vector<unsigned char> user = UserSid();
  const std::string sid = SidText(user);
  const std::string base = IncludeTrailingPathDelimiter(parent) + name + "-" + (sid.empty() ? "user" : sid);
  if (sid.empty()) return base;
  CreatePrivate(base, sid);
  if (IsPrivateFolder(base)) return base;
  // Someone else made the name first (or opened it up): a fresh folder of
  // our own instead.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string fresh = base + "-" + std::to_string(::GetTickCount64() % 1000000 + attempt);
    if (CreatePrivate(fresh, sid)) return fresh;
  }
  return base;
}

}  // namespace zephron::platform
