// Signed publications: Ed25519 signatures of a control file's bytes, the
// SHA-256 digests of published files, and the UTC times of a control file's
// `published` and `expires` keys. All cryptography is libsodium's; keys and
// signatures travel as standard Base64.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zephron {

// Whether signature holds for message under publicKey. A key or a signature
// that is not Base64 of the right length does not hold.
bool VerifySignature(std::string_view message, std::string_view signatureBase64, std::string_view publicKeyBase64);

// A public key that decodes to the right length.
bool IsPublicKey(std::string_view publicKeyBase64);

struct TKeyPair {
  std::string publicKeyBase64;
  std::string secretKey;  // the raw secret key (seed and public key)
};
TKeyPair NewKeyPair();

// A secret key as the text of a key file (Base64), and back; none when the
// text is not a secret key.
std::string SecretKeyText(std::string_view secretKey);
std::optional<std::string> SecretKeyFromText(std::string_view text);
// The Base64 public key that belongs to a secret key.
std::string PublicKeyOf(std::string_view secretKey);

// The Base64 signature of message; none when secretKey is not a secret key.
std::optional<std::string> SignBase64(std::string_view message, std::string_view secretKey);

// The SHA-256 digest in lower-case hexadecimal: of bytes, of a file (none
// when it cannot be read).
std::string Sha256Hex(std::string_view bytes);
std::optional<std::string> FileSha256Hex(const std::string& path);

// "2026-05-01T12:30:00Z" <-> seconds since 1970 (UTC). Only this one form
// is read: a control file's times are written by the publisher.
std::optional<std::int64_t> ParseUtcTime(std::string_view text);
std::string FormatUtcTime(std::int64_t seconds);
std::int64_t UtcNow();

}  // namespace zephron
