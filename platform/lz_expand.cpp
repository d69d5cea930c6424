#include "platform/lz_expand.h"

#include <fcntl.h>
#include <mspack.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/lz_mspack_io.h"

namespace zephron::platform {
namespace {

constexpr std::array<unsigned char, 8> kSzddSignature{'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

struct DecompressorDeleter {
  void operator()(msszdd_decompressor* d) const { mspack_destroy_szdd_decompressor(d); }
};
using DecompressorPtr = std::unique_ptr<msszdd_decompressor, DecompressorDeleter>;

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// A scratch file beside the target, removed again unless Keep() was called.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& target) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, ".lz%08x", static_cast<unsigned>(random()));
      const std::string candidate = target + suffix;
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        path_ = candidate;
      } else if (errno != EEXIST) {
        break;
      }
    }
  }
  ~ScratchFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace

struct LzFile::Decoder {
  DecompressorPtr decompressor;
  msszddd_header* header = nullptr;

  ~Decoder() {
    if (header != nullptr) decompressor->close(decompressor.get(), header);
  }
};

LzFile::LzFile(std::string path) : path_(std::move(path)) {
  // The signature is checked here rather than left to libmspack, which would
  // also take the QBasic variant and calls a short plain file a read error.
  std::ifstream probe(path_, std::ios::binary);
  if (!probe) return;  // kCannotOpen
  std::array<char, kSzddSignature.size()> head{};
  probe.read(head.data(), head.size());
  if (probe.gcount() != static_cast<std::streamsize>(head.size()) ||
      !std::equal(head.begin(), head.end(), kSzddSignature.begin(),
                  [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; })) {
    status_ = LzStatus::kNotCompressed;
    return;
  }
  probe.close();

  auto decoder = std::make_unique<Decoder>();
  decoder->decompressor.reset(mspack_create_szdd_decompressor(MspackFileSystem()));
  if (!decoder->decompressor) {
    status_ = LzStatus::kCorrupt;
    return;
  }
  decoder->header = decoder->decompressor->open(decoder->decompressor.get(), path_.c_str());
  if (decoder->header == nullptr) {
    const int error = decoder->decompressor->last_error(decoder->decompressor.get());
    status_ = error == MSPACK_ERR_OPEN ? LzStatus::kCannotOpen : LzStatus::kCorrupt;
    return;
  }
  if (decoder->header->format != MSSZDD_FMT_NORMAL || decoder->header->length < 0) {
    status_ = LzStatus::kCorrupt;
    return;
  }
  missingChar_ = decoder->header->missing_char;
  expandedSize_ = static_cast<std::uint64_t>(decoder->header->length);
  decoder_ = std::move(decoder);
  status_ = LzStatus::kOk;
}

LzFile::~LzFile() = default;
LzFile::LzFile(LzFile&&) noexcept = default;
LzFile& LzFile::operator=(LzFile&&) noexcept = default;

std::optional<std::string> ExpandedName(std::string_view compressedPath, char missingChar) {
  const auto slash = compressedPath.find_last_of('/');
  const std::string_view folder = slash == std::string_view::npos ? std::string_view() : compressedPath.substr(0, slash + 1);
  std::string name(slash == std::string_view::npos ? compressedPath : compressedPath.substr(slash + 1));
  if (!name.empty() && name.back() == '_') {
    name.pop_back();
    const auto stored = static_cast<unsigned char>(missingChar);
    const bool usable = stored >= 0x20 && stored != 0x7F && missingChar != '/' && missingChar != '\\';
    if (usable) {
      char c = missingChar;
      if (IsLetter(c)) {
        const auto letter = std::find_if(name.rbegin(), name.rend(), IsLetter);
        if (letter != name.rend()) {
          const bool upper = std::isupper(static_cast<unsigned char>(*letter)) != 0;
          c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                      : std::tolower(static_cast<unsigned char>(c)));
        }
      }
      name += c;
    }
  }
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return std::string(folder) + name;
}

std::optional<std::string> GetExpandedName(const LzFile& file) {
  if (!file.IsOpen()) return std::nullopt;
  return ExpandedName(file.path(), file.missingChar());
}

LzStatus LZCopy(LzFile& source, const std::string& target) {
  if (!source.IsOpen()) return source.status();
  ScratchFile scratch(target);
  if (scratch.path().empty()) return LzStatus::kCannotWrite;

  auto& decoder = *source.decoder_;
  const int error = decoder.decompressor->extract(decoder.decompressor.get(), decoder.header, scratch.path().c_str());
  if (error == MSPACK_ERR_OPEN || error == MSPACK_ERR_WRITE) return LzStatus::kCannotWrite;
  if (error != MSPACK_ERR_OK) return LzStatus::kCorrupt;

  // The decoder stops where the compressed data ends; a truncated stream shows
  // only as an output shorter than the header's size.
  std::error_code ec;
  const auto written = std::filesystem::file_size(scratch.path(), ec);
  if (ec) return LzStatus::kCannotWrite;
  if (written != source.expandedSize()) return LzStatus::kCorrupt;

  std::filesystem::rename(scratch.path(), target, ec);
  if (ec) return LzStatus::kCannotWrite;
  scratch.Keep();
  return LzStatus::kOk;
}

}  // namespace zephron::platform
