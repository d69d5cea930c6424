#include "engine/signing.h"

#include <sodium.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/ascii_case.h"

namespace zephron {

namespace {

// sodium_init is safe to call again and from several threads.
bool Ready() { return sodium_init() >= 0; }

std::optional<std::string> FromBase64(std::string_view text, std::size_t expected) {
  std::vector<unsigned char> bytes(expected + 3);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), " \t\r\n", &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || length != expected) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(bytes.data()), length);
}

std::string ToBase64(std::string_view bytes) {
  std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  text.pop_back();  // the terminator
  return text;
}

std::string Hex(const unsigned char* digest, std::size_t size) {
  std::string text(size * 2 + 1, '\0');
  sodium_bin2hex(text.data(), text.size(), digest, size);
  text.pop_back();
  return text;
}

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

bool IsPublicKey(std::string_view publicKeyBase64) {
  return FromBase64(publicKeyBase64, crypto_sign_PUBLICKEYBYTES).has_value();
}

bool VerifySignature(std::string_view message, std::string_view signatureBase64, std::string_view publicKeyBase64) {
  if (!Ready()) return false;
  const auto key = FromBase64(publicKeyBase64, crypto_sign_PUBLICKEYBYTES);
  const auto signature = FromBase64(signatureBase64, crypto_sign_BYTES);
  if (!key || !signature) return false;
  return crypto_sign_verify_detached(Bytes(*signature), Bytes(message), message.size(), Bytes(*key)) == 0;
}

TKeyPair NewKeyPair() {
  TKeyPair pair;
  if (!Ready()) return pair;
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> pk{};
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> sk{};
  crypto_sign_keypair(pk.data(), sk.data());
  pair.publicKeyBase64 = ToBase64({reinterpret_cast<const char*>(pk.data()), pk.size()});
  pair.secretKey.assign(reinterpret_cast<const char*>(sk.data()), sk.size());
  sodium_memzero(sk.data(), sk.size());
  return pair;
}

std::string SecretKeyText(std::string_view secretKey) { return ToBase64(secretKey) + "\n"; }

std::optional<std::string> SecretKeyFromText(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return FromBase64(text, crypto_sign_SECRETKEYBYTES);
}

std::string PublicKeyOf(std::string_view secretKey) {
  if (secretKey.size() != crypto_sign_SECRETKEYBYTES) return {};
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> pk{};
  crypto_sign_ed25519_sk_to_pk(pk.data(), Bytes(secretKey));
  return ToBase64({reinterpret_cast<const char*>(pk.data()), pk.size()});
}

std::optional<std::string> SignBase64(std::string_view message, std::string_view secretKey) {
  if (!Ready() || secretKey.size() != crypto_sign_SECRETKEYBYTES) return std::nullopt;
  std::array<unsigned char, crypto_sign_BYTES> signature{};
  crypto_sign_detached(signature.data(), nullptr, Bytes(message), message.size(), Bytes(secretKey));
  return ToBase64({reinterpret_cast<const char*>(signature.data()), signature.size()});
}

std::string Sha256Hex(std::string_view bytes) {
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  crypto_hash_sha256(digest.data(), Bytes(bytes), bytes.size());
  return Hex(digest.data(), digest.size());
}

std::optional<std::string> FileSha256Hex(const std::string& path) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> in(std::fopen(path.c_str(), "rb"));
  if (!in) return std::nullopt;
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> block(1 << 16);
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), in.get());
    if (got > 0) crypto_hash_sha256_update(&state, block.data(), got);
    if (got < block.size()) break;
  }
  if (std::ferror(in.get())) return std::nullopt;
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  crypto_hash_sha256_final(&state, digest.data());
  return Hex(digest.data(), digest.size());
}

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
  // yyyy-mm-ddThh:nn:ssZ
  constexpr std::string_view pattern = "0000-00-00T00:00:00Z";
  if (text.size() != pattern.size()) return std::nullopt;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == '0' ? !digit : platform::AsciiUpper(std::string(1, text[i]))[0] != pattern[i]) {
      return std::nullopt;
    }
  }
  const auto number = [&](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  using namespace std::chrono;
  const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                            day{static_cast<unsigned>(number(8, 2))}};
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return sys_days(date).time_since_epoch().count() * 86400LL + hour * 3600 + minute * 60 + second;
}

std::string FormatUtcTime(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds at{std::chrono::seconds(seconds)};
  const sys_days days = floor<std::chrono::days>(at);
  const year_month_day date{days};
  const hh_mm_ss time{at - days};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::int64_t UtcNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace zephron
