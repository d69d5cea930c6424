// Signed publications: the control file taken only with a valid signature
// of its exact bytes, no older than the one taken before and not expired;
// the digests that every fetched file must match; and the download folder
// that only the user can enter.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine/control_file.h"
#include "engine/signing.h"
#include "engine/zephron.h"
#include "platform/ascii_case.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "transfer/messages.h"

namespace zephron {

namespace {

// A signature file holds one line of Base64 (88 characters).
constexpr std::uint64_t kSignatureSizeLimit = 1024;
constexpr const char* kPublishedValue = "LastPublished";
constexpr const char* kPublishedKey = "Software\\Corvexis\\Zephron\\Published";

// Error codes of the refusals, after those of the message table.
constexpr int kErrSignatureMissing = 10;
constexpr int kErrSignatureInvalid = 11;
constexpr int kErrReplayed = 12;
constexpr int kErrExpired = 13;
constexpr int kErrDigest = 14;

std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where the accepted publication time lives, and under which value name.
struct PublishedPlace {
  platform::Hive hive;
  std::string key;
  std::string value;
};

PublishedPlace PlaceOf(const TLastURLEntry& entry, const std::string& controlFile) {
  if (!entry.Key.empty() && !entry.Section.empty()) {
    return {entry.RegRoot == lurLOCALMACHINE ? platform::Hive::LocalMachine : platform::Hive::CurrentUser,
            entry.Key + "\\" + entry.Section, kPublishedValue};
  }
  return {platform::Hive::CurrentUser, kPublishedKey, platform::AsciiLower(platform::ExtractFileName(controlFile))};
}

}  // namespace

std::optional<std::int64_t> TZephron::AcceptedPublishedGet() {
  const PublishedPlace place = PlaceOf(LastURLEntry, FControlFileName);
  const auto key = platform::RegistryKey::Open(place.hive, place.key);
  if (!key) return std::nullopt;
  const auto text = key->ReadString(place.value);
  return text ? ParseUtcTime(*text) : std::nullopt;
}

void TZephron::AcceptedPublishedPut(std::int64_t published) {
  const PublishedPlace place = PlaceOf(LastURLEntry, FControlFileName);
  if (auto key = platform::RegistryKey::Create(place.hive, place.key)) {
    key->WriteString(place.value, FormatUtcTime(published));
  }
}

int TZephron::VerifyControlFile(const std::string& url) {
  const std::string path = platform::ToSlashes(FControlFileName);
  // What was refused must not stay where the next read would take it.
  const auto refuse = [&](int ident, const std::string& arg, int error) {
    DoStatus(ident, arg, 11, error);
    platform::DeleteFile(path);
    return 5;
  };

  const std::string signatureUrl = url + ".sig";
  std::optional<std::string> signature;
  if (URLGetBoundedFile(signatureUrl, kSignatureSizeLimit)) {
    const std::string signaturePath = platform::ToSlashes(WinTempDir() + URLtoFile(signatureUrl));
    signature = ReadWhole(signaturePath);
    platform::DeleteFile(signaturePath);
  }
  if (!signature) return refuse(msgSignatureMissing, signatureUrl, kErrSignatureMissing);
  const std::optional<std::string> bytes = ReadWhole(path);
  if (!bytes || !VerifySignature(*bytes, *signature, PublicKey)) {
    return refuse(msgSignatureInvalid, url, kErrSignatureInvalid);
  }

  const platform::ProfileFile file(path);
  const std::string publishedText = ReadValue(file, "update", "published", "");
  const std::string expiresText = ReadValue(file, "update", "expires", "");
  if (!expiresText.empty()) {
    const auto expires = ParseUtcTime(expiresText);
    if (!expires || UtcNow() >= *expires) return refuse(msgControlFileExpired, expiresText, kErrExpired);
  }
  // Without a publication time a signed file could not be told from an
  // older one: it counts as older than anything.
  const auto published = ParseUtcTime(publishedText);
  const auto accepted = AcceptedPublishedGet();
  if (!published || (accepted && *published < *accepted)) {
    return refuse(msgControlFileReplayed,
                  "published " + (publishedText.empty() ? std::string("(none)") : publishedText) + ", accepted " +
                      (accepted ? FormatUtcTime(*accepted) : std::string("(none)")),
                  kErrReplayed);
  }
  if (!accepted || *published > *accepted) AcceptedPublishedPut(*published);
  return 0;
}

bool TZephron::DigestHolds(const std::string& path, const std::string& what) {
  if (!FExpectedDigest) return true;
  const auto digest = FileSha256Hex(path);
  if (digest && platform::SameTextAscii(*digest, *FExpectedDigest)) return true;
  FDigestRefused = true;
  DoStatus(msgDigestMismatch, what, 2, kErrDigest);
  return false;
}

std::optional<std::string> TZephron::DownloadCheckedStream(const std::string& url, const std::string& sha256) {
  if (!PublicKey.empty() && !sha256.empty()) FExpectedDigest = sha256;
  std::optional<std::string> stream = DownloadStream(url);
  FExpectedDigest.reset();
  return stream;
}

std::string TZephron::PrivateDownloadFolder() const {
  if (FPrivateFolder.empty() || !platform::IsPrivateFolder(FPrivateFolder)) {
    FPrivateFolder = platform::MakePrivateFolder(platform::ToSlashes(platform::TempFolder()), "zephron");
  }
  return FPrivateFolder + "/";
}

}  // namespace zephron
