#include "platform/version_info.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32_text.h"
// The unit's own names; the system's functions are called by their wide names.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/unicode.h"

namespace zephron::platform {

namespace {

// The root node's length is a 16-bit word, so no block is longer than this.
constexpr std::uint64_t kMaxBlockSize = 0xFFFF;
// The platform's loader refuses images with more sections than this.
constexpr std::uint32_t kMaxPeSections = 96;
// Upper bound of ELF section headers looked at, so that a forged count cannot
// keep us seeking through a huge file.
constexpr std::uint64_t kMaxElfSections = 65536;

// Positioned reads of one file; every read is checked against the file's size.
class FileReader {
 public:
  explicit FileReader(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return;
    in_.open(path, std::ios::binary);
    if (in_) size_ = size;
  }

  bool ok() const { return in_.is_open() && static_cast<bool>(in_); }
  std::uint64_t size() const { return size_; }

  std::optional<std::vector<std::byte>> Read(std::uint64_t offset, std::uint64_t count) {
    if (!ok() || offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::byte> bytes(static_cast<std::size_t>(count));
    if (count == 0) return bytes;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    if (!in_ || static_cast<std::uint64_t>(in_.gcount()) != count) return std::nullopt;
    return bytes;
  }

 private:
  std::ifstream in_;
  std::uint64_t size_ = 0;
};

// Integer reads from a byte buffer. A read outside the buffer gives 0 and
// marks the view bad, so a group of reads is checked once afterwards.
class View {
 public:
  explicit View(std::span<const std::byte> bytes, bool littleEndian = true) : bytes_(bytes), le_(littleEndian) {}

  std::uint64_t Get(std::uint64_t offset, unsigned width) const {
    if (offset > bytes_.size() || width > bytes_.size() - offset) {
      bad_ = true;
      return 0;
    }
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
      const auto byte = std::to_integer<std::uint64_t>(bytes_[static_cast<std::size_t>(offset) + (le_ ? i : width - 1 - i)]);
      value |= byte << (8 * i);
    }
    return value;
  }
  std::uint16_t U16(std::uint64_t offset) const { return static_cast<std::uint16_t>(Get(offset, 2)); }
  std::uint32_t U32(std::uint64_t offset) const { return static_cast<std::uint32_t>(Get(offset, 4)); }
  std::uint64_t U64(std::uint64_t offset) const { return Get(offset, 8); }
  bool bad() const { return bad_; }

 private:
  std::span<const std::byte> bytes_;
  bool le_;
  mutable bool bad_ = false;
};

bool StartsWith(std::span<const std::byte> bytes, std::string_view magic) {
  if (bytes.size() < magic.size()) return false;
  return std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

struct FileRange {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// ---- PE ----

class PeImage {
 public:
  static std::optional<PeImage> Open(FileReader& file) {
    PeImage image(file);
    if (!image.ReadHeaders()) return std::nullopt;
    return image;
  }

  // The raw data of the version resource.
  std::optional<FileRange> VersionResource() {
    if (resourceRva_ == 0) return std::nullopt;
    constexpr std::uint32_t kRtVersion = 16;
    constexpr std::uint32_t kVsVersionInfoId = 1;
    constexpr std::uint32_t kLangNeutral = 0;
    constexpr std::uint32_t kLangEnglishUs = 0x0409;

    const auto types = ReadDirectory(0);
    if (!types) return std::nullopt;
    const auto type = Pick(*types, {kRtVersion}, false, true);
    if (!type) return std::nullopt;
    const auto names = ReadDirectory(type->target);
    if (!names) return std::nullopt;
    const auto name = Pick(*names, {kVsVersionInfoId}, true, true);
    if (!name) return std::nullopt;
    const auto languages = ReadDirectory(name->target);
    if (!languages) return std::nullopt;
    const auto language = Pick(*languages, {kLangNeutral, kLangEnglishUs}, true, false);
    if (!language) return std::nullopt;

    // IMAGE_RESOURCE_DATA_ENTRY: OffsetToData (an RVA), Size, CodePage, Reserved.
    const auto entryBytes = ReadRva(resourceRva_ + std::uint64_t{language->target}, 16);
    if (!entryBytes) return std::nullopt;
    const View entry(*entryBytes);
    const std::uint32_t dataRva = entry.U32(0);
    const std::uint64_t dataSize = std::min<std::uint64_t>(entry.U32(4), kMaxBlockSize);
    if (dataSize == 0) return std::nullopt;
    const auto offset = RvaToOffset(dataRva, dataSize);
    if (!offset) return std::nullopt;
    return FileRange{*offset, dataSize};
  }

 private:
  struct Entry {
    bool named = false;
    std::uint32_t id = 0;
    bool directory = false;
    std::uint32_t target = 0;  // from the start of the resource section
  };
  struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
  };

  explicit PeImage(FileReader& file) : file_(&file) {}

  bool ReadHeaders() {
    const auto dos = file_->Read(0, 64);
    if (!dos || !StartsWith(*dos, "MZ")) return false;
    const std::uint32_t peOffset = View(*dos).U32(0x3C);

    const auto fileHeader = file_->Read(peOffset, 24);
    if (!fileHeader || !StartsWith(*fileHeader, std::string_view("PE\0\0", 4))) return false;
    const View coff(*fileHeader);
    const std::uint16_t sectionCount = coff.U16(4 + 2);
    const std::uint16_t optionalSize = coff.U16(4 + 16);
    if (sectionCount == 0 || sectionCount > kMaxPeSections) return false;

    const auto optionalBytes = file_->Read(std::uint64_t{peOffset} + 24, optionalSize);
    if (!optionalBytes) return false;
    const View optional(*optionalBytes);
    std::uint64_t directoryCountAt = 0;
    switch (optional.U16(0)) {
      case 0x10B: directoryCountAt = 92; break;   // PE32
      case 0x20B: directoryCountAt = 108; break;  // PE32+
      default: return false;
    }
    const std::uint32_t directoryCount = optional.U32(directoryCountAt);
    if (optional.bad()) return false;
    constexpr std::uint32_t kResourceDirectory = 2;
    if (directoryCount > kResourceDirectory) {
      const std::uint64_t at = directoryCountAt + 4 + 8 * kResourceDirectory;
      resourceRva_ = optional.U32(at);
      if (optional.bad()) resourceRva_ = 0;  // directory table cut short by the header size
    }

    const auto table = file_->Read(std::uint64_t{peOffset} + 24 + optionalSize, std::uint64_t{sectionCount} * 40);
    if (!table) return false;
    const View sections(*table);
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
      const std::uint64_t at = std::uint64_t{i} * 40;
      sections_.push_back(Section{sections.U32(at + 12), sections.U32(at + 8), sections.U32(at + 16),
                                  sections.U32(at + 20)});
    }
    return !sections.bad();
  }

  // The file offset of `size` bytes at `rva`, when they lie wholly in one
  // section's raw data.
  std::optional<std::uint64_t> RvaToOffset(std::uint64_t rva, std::uint64_t size) const {
    for (const auto& section : sections_) {
      if (rva < section.virtualAddress) continue;
      const std::uint64_t into = rva - section.virtualAddress;
      if (into >= section.rawSize || size > section.rawSize - into) continue;
      return std::uint64_t{section.rawPointer} + into;
    }
    return std::nullopt;
  }

  std::optional<std::vector<std::byte>> ReadRva(std::uint64_t rva, std::uint64_t size) {
    const auto offset = RvaToOffset(rva, size);
    if (!offset) return std::nullopt;
    return file_->Read(*offset, size);
  }

  // IMAGE_RESOURCE_DIRECTORY at `at` (from the resource section's start) and its entries.
  std::optional<std::vector<Entry>> ReadDirectory(std::uint32_t at) {
    const auto header = ReadRva(resourceRva_ + std::uint64_t{at}, 16);
    if (!header) return std::nullopt;
    const View directory(*header);
    const std::uint64_t count = std::uint64_t{directory.U16(12)} + directory.U16(14);
    const auto table = ReadRva(resourceRva_ + std::uint64_t{at} + 16, count * 8);
    if (!table) return std::nullopt;
    const View entries(*table);
    std::vector<Entry> result;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint32_t name = entries.U32(i * 8);
      const std::uint32_t target = entries.U32(i * 8 + 4);
      result.push_back(Entry{(name & 0x80000000u) != 0, name & 0x7FFFFFFFu, (target & 0x80000000u) != 0,
                             target & 0x7FFFFFFFu});
    }
    return result;
  }

  // The first entry with one of the preferred ids (in the order given), else
  // the first entry at all when `anyElse`; it must be a subdirectory or a
  // leaf as `wantDirectory` says.
  static std::optional<Entry> Pick(const std::vector<Entry>& entries, std::initializer_list<std::uint32_t> preferred,
                                   bool anyElse, bool wantDirectory) {
    for (const auto id : preferred) {
      for (const auto& entry : entries) {
        if (!entry.named && entry.id == id && entry.directory == wantDirectory) return entry;
      }
    }
    if (anyElse) {
      for (const auto& entry : entries) {
        if (entry.directory == wantDirectory) return entry;
      }
    }
    return std::nullopt;
  }

  FileReader* file_;
  std::uint32_t resourceRva_ = 0;
  std::vector<Section> sections_;
};

// ---- ELF ----

std::optional<FileRange> ElfVersionSection(FileReader& file) {
  const auto identBytes = file.Read(0, 16);
  if (!identBytes || !StartsWith(*identBytes, "\x7F" "ELF")) return std::nullopt;
  const auto elfClass = std::to_integer<int>((*identBytes)[4]);
  const auto elfData = std::to_integer<int>((*identBytes)[5]);
  if ((elfClass != 1 && elfClass != 2) || (elfData != 1 && elfData != 2)) return std::nullopt;
  const bool is64 = elfClass == 2;
  const bool le = elfData == 1;

  const auto headerBytes = file.Read(0, is64 ? 64 : 52);
  if (!headerBytes) return std::nullopt;
  const View header(*headerBytes, le);
  const std::uint64_t sectionTable = is64 ? header.U64(0x28) : header.U32(0x20);
  const std::uint16_t entrySize = header.U16(is64 ? 0x3A : 0x2E);
  std::uint64_t sectionCount = header.U16(is64 ? 0x3C : 0x30);
  std::uint32_t namesIndex = header.U16(is64 ? 0x3E : 0x32);
  const unsigned minEntrySize = is64 ? 64 : 40;
  if (header.bad() || sectionTable == 0 || entrySize < minEntrySize) return std::nullopt;

  struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
  };
  auto readSection = [&](std::uint64_t index) -> std::optional<SectionHeader> {
    if (index > (std::numeric_limits<std::uint64_t>::max() - sectionTable) / entrySize) return std::nullopt;
    const auto bytes = file.Read(sectionTable + index * entrySize, minEntrySize);
    if (!bytes) return std::nullopt;
    const View s(*bytes, le);
    SectionHeader h;
    h.name = s.U32(0);
    h.type = s.U32(4);
    h.offset = is64 ? s.U64(24) : s.U32(16);
    h.size = is64 ? s.U64(32) : s.U32(20);
    h.link = s.U32(is64 ? 40 : 24);
    if (s.bad()) return std::nullopt;
    return h;
  };

  // Files with very many sections keep the real count and the names' index in section 0.
  constexpr std::uint32_t kExtendedIndex = 0xFFFF;
  if (sectionCount == 0 || namesIndex == kExtendedIndex) {
    const auto first = readSection(0);
    if (!first) return std::nullopt;
    if (sectionCount == 0) sectionCount = first->size;
    if (namesIndex == kExtendedIndex) namesIndex = first->link;
  }
  sectionCount = std::min(sectionCount, kMaxElfSections);
  if (namesIndex >= sectionCount) return std::nullopt;
  const auto names = readSection(namesIndex);
  constexpr std::uint32_t kShtNobits = 8;
  if (!names || names->type == kShtNobits) return std::nullopt;

  const std::string_view wanted(kVersionSectionName, std::strlen(kVersionSectionName) + 1);  // with its zero
  for (std::uint64_t i = 1; i < sectionCount; ++i) {
    const auto section = readSection(i);
    if (!section) return std::nullopt;
    if (section->name >= names->size || wanted.size() > names->size - section->name) continue;
    if (names->offset > std::numeric_limits<std::uint64_t>::max() - section->name) continue;
    const auto name = file.Read(names->offset + section->name, wanted.size());
    if (!name || !StartsWith(*name, wanted)) continue;
    if (section->type == kShtNobits || section->size == 0) return std::nullopt;
    return FileRange{section->offset, std::min(section->size, kMaxBlockSize)};
  }
  return std::nullopt;
}

// ---- VS_VERSIONINFO nodes ----

// One node: WORD wLength, WORD wValueLength, WORD wType, WCHAR szKey[],
// padding, value, padding, children; every part aligned to 4 from the block's start.
struct Node {
  std::size_t end = 0;
  std::u16string key;
  std::uint16_t valueLength = 0;
  bool text = false;
  std::size_t valueOffset = 0;
  std::size_t valueSize = 0;  // in bytes
  std::size_t childrenOffset = 0;
};

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

std::optional<Node> ParseNode(std::span<const std::byte> block, std::size_t start, std::size_t limit) {
  const View view(block);
  if (limit > block.size() || start > limit || limit - start < 6) return std::nullopt;
  const std::uint16_t length = view.U16(start);
  if (length < 6 || length > limit - start) return std::nullopt;
  Node node;
  node.end = start + length;
  node.valueLength = view.U16(start + 2);
  node.text = view.U16(start + 4) == 1;

  std::size_t at = start + 6;
  for (;;) {
    if (node.end - at < 2) return std::nullopt;  // key without its terminating zero
    const char16_t c = view.U16(at);
    at += 2;
    if (c == 0) break;
    node.key.push_back(c);
  }
  node.valueOffset = std::min(Align4(at), node.end);
  node.valueSize = node.text ? std::size_t{node.valueLength} * 2 : node.valueLength;
  if (node.valueSize > node.end - node.valueOffset) return std::nullopt;
  node.childrenOffset = std::min(Align4(node.valueOffset + node.valueSize), node.end);
  return node;
}

std::optional<Node> FindChild(std::span<const std::byte> block, const Node& parent, std::u16string_view key) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  std::size_t at = parent.childrenOffset;
  while (parent.end > at && parent.end - at >= 6) {
    const auto child = ParseNode(block, at, parent.end);
    if (!child) return std::nullopt;  // what follows a broken child cannot be found
    if (std::ranges::equal(child->key, key, {}, lower, lower)) return child;
    at = Align4(child->end);
  }
  return std::nullopt;
}

[[maybe_unused]] std::optional<std::vector<std::byte>> ReadBlock(const std::string& path) {
  FileReader file(path);
  if (!file.ok()) return std::nullopt;
  std::optional<FileRange> range;
  if (const auto magic = file.Read(0, 4)) {
    if (StartsWith(*magic, "MZ")) {
      if (auto image = PeImage::Open(file)) range = image->VersionResource();
    } else if (StartsWith(*magic, "\x7F" "ELF")) {
      range = ElfVersionSection(file);
    }
  }
  if (!range) return std::nullopt;
  auto block = file.Read(range->offset, range->size);
  if (!block) return std::nullopt;
  const auto root = ParseNode(*block, 0, block->size());
  if (!root || root->key != u"VS_VERSION_INFO") return std::nullopt;
  block->resize(root->end);
  return block;
}

}  // namespace

#ifdef _WIN32
// On Windows the block comes from the system's version library, which finds
// it as the loader does; the parsing of the block below is the same.
std::uint32_t GetFileVersionInfoSize(const std::string& path) {
  DWORD ignored = 0;
  return ::GetFileVersionInfoSizeW(win32::WidePath(path).c_str(), &ignored);
}

std::optional<std::vector<std::byte>> GetFileVersionInfo(const std::string& path) {
  const std::wstring wide = win32::WidePath(path);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<std::byte> block(size);
  if (!::GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return std::nullopt;
  const auto root = ParseNode(block, 0, block.size());
  if (!root || root->key != u"VS_VERSION_INFO") return std::nullopt;
  block.resize(root->end);
  return block;
}
#else
std::uint32_t GetFileVersionInfoSize(const std::string& path) {
  const auto block = ReadBlock(path);
  return block ? static_cast<std::uint32_t>(block->size()) : 0;
}

std::optional<std::vector<std::byte>> GetFileVersionInfo(const std::string& path) { return ReadBlock(path); }
#endif

std::optional<VerValue> VerQueryValue(std::span<const std::byte> block, std::string_view subBlock) {
  auto node = ParseNode(block, 0, block.size());
  if (!node) return std::nullopt;
  while (!subBlock.empty()) {
    const auto cut = subBlock.find('\\');
    const auto part = subBlock.substr(0, cut);
    subBlock = cut == std::string_view::npos ? std::string_view{} : subBlock.substr(cut + 1);
    if (part.empty()) continue;
    node = FindChild(block, *node, Utf8ToUtf16(part));
    if (!node) return std::nullopt;
  }
  VerValue value;
  value.data = block.subspan(node->valueOffset, node->valueSize);
  value.length = node->valueLength;
  value.text = node->text;
  return value;
}

std::string VerValueText(const VerValue& value) {
  std::u16string units;
  const View view(value.data);
  // The text ends at its first zero unit.
  for (std::size_t at = 0; at + 2 <= value.data.size(); at += 2) {
    const auto unit = static_cast<char16_t>(view.U16(at));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return Utf16ToUtf8(units);
}

std::vector<std::uint32_t> VerValueDwords(const VerValue& value) {
  std::vector<std::uint32_t> out;
  const View view(value.data);
  for (std::size_t at = 0; at + 4 <= value.data.size(); at += 4) out.push_back(view.U32(at));
  return out;
}

std::optional<VS_FIXEDFILEINFO> VerValueFixedFileInfo(const VerValue& value) {
  if (value.data.size() < kFixedFileInfoSize) return std::nullopt;
  const auto d = VerValueDwords(value);
  VS_FIXEDFILEINFO info;
  std::uint32_t* fields[] = {&info.dwSignature,        &info.dwStrucVersion,     &info.dwFileVersionMS,
                             &info.dwFileVersionLS,    &info.dwProductVersionMS, &info.dwProductVersionLS,
                             &info.dwFileFlagsMask,    &info.dwFileFlags,        &info.dwFileOS,
                             &info.dwFileType,         &info.dwFileSubtype,      &info.dwFileDateMS,
                             &info.dwFileDateLS};
  for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = d[i];
  return info;
}

}  // namespace zephron::platform
