#include "tools/zephron-publish/signing_keys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/signing.h"

namespace zephron::publish {

std::optional<std::string> MakeKeyFile(const std::filesystem::path& file, std::string& error) {
  const TKeyPair pair = NewKeyPair();
  if (pair.secretKey.empty()) {
    error = "no key could be made";
    return std::nullopt;
  }
  // Created with its final permissions, so the key is never readable by others.
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + file.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const std::string text = SecretKeyText(pair.secretKey);
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                       ::fsync(fd) == 0;
  ::close(fd);
  if (!written) {
    ::unlink(file.c_str());
    error = "cannot write " + file.string();
    return std::nullopt;
  }
  return pair.publicKeyBase64;
}

std::optional<std::string> ReadKeyFile(const std::filesystem::path& file, std::string& error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot read the key file " + file.string();
    return std::nullopt;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto key = SecretKeyFromText(text);
  if (!key) error = file.string() + " holds no secret key";
  return key;
}

}  // namespace zephron::publish
