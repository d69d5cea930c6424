#include "archive/cabinet.h"

#include <mspack.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "archive/cabinet_names.h"
#include "platform/lz_mspack_io.h"
#include "platform/paths.h"
#include "platform/unicode.h"

namespace zephron {
namespace fs = std::filesystem;
using cabinet_names::IsInside;
using cabinet_names::IsUnsafeName;
using cabinet_names::StoredNameToUtf8;
namespace {

// Folder indexes of CFFILE entries that span cabinets.
constexpr std::uint16_t kContinuedFromPrevious = 0xFFFD;
constexpr std::uint16_t kContinuedToNext = 0xFFFE;
constexpr std::uint16_t kContinuedBoth = 0xFFFF;
// libmspack reads compressed data in blocks of this size (its default of 4096
// costs a system call per 4 KiB).
constexpr int kInputBufferSize = 1 << 16;
// More parts than any real set has; guards against a set whose names loop.
constexpr int kMaxCabinetsInSet = 1024;

// The raw CFFILE fields libmspack does not expose: the folder index, which
// tells files that span cabinets, and the packed DOS date and time.
struct StoredEntry {
  std::uint16_t folder = 0;
  std::uint16_t date = 0;
  std::uint16_t time = 0;
};

std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

std::optional<std::vector<StoredEntry>> ReadFileTable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<unsigned char, 36> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
  if (header[0] != 'M' || header[1] != 'S' || header[2] != 'C' || header[3] != 'F') return std::nullopt;
  const std::uint32_t filesOffset = Le32(&header[16]);
  const std::uint16_t count = Le16(&header[28]);
  in.seekg(filesOffset);
  std::vector<StoredEntry> entries;
  entries.reserve(count);
  for (std::uint16_t i = 0; i < count; ++i) {
    std::array<unsigned char, 16> fixed{};
    if (!in.read(reinterpret_cast<char*>(fixed.data()), fixed.size())) return std::nullopt;
    entries.push_back({Le16(&fixed[8]), Le16(&fixed[10]), Le16(&fixed[12])});
    // Skip the zero-terminated name; the format caps it at 256 bytes.
    int length = 0;
    for (char c = 1; c != 0; ++length) {
      if (length > 256 || !in.get(c)) return std::nullopt;
    }
  }
  return entries;
}

struct DecompressorDeleter {
  void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

// The cabinets of one set as libmspack holds them: after append() they share
// one file list and are freed together through the first.
class CabinetSet {
 public:
  explicit CabinetSet(mscab_decompressor* decompressor) : decompressor_(decompressor) {}
  ~CabinetSet() {
    if (first_ != nullptr) decompressor_->close(decompressor_, first_);
  }
  CabinetSet(const CabinetSet&) = delete;
  CabinetSet& operator=(const CabinetSet&) = delete;

  bool OpenFirst(const std::string& path) {
    first_ = tail_ = Open(path);
    return first_ != nullptr;
  }

  bool Append(const std::string& path) {
    mscabd_cabinet* next = Open(path);
    if (next == nullptr) return false;
    if (decompressor_->append(decompressor_, tail_, next) != MSPACK_ERR_OK) {
      decompressor_->close(decompressor_, next);
      return false;
    }
    tail_ = next;
    return true;
  }

  mscabd_cabinet* first() const { return first_; }
  mscabd_cabinet* tail() const { return tail_; }

 private:
  mscabd_cabinet* Open(const std::string& path) {
    names_.push_back(path);  // libmspack keeps the pointer for the cabinet's life
    return decompressor_->open(decompressor_, names_.back().c_str());
  }

  mscab_decompressor* decompressor_;
  std::list<std::string> names_;
  mscabd_cabinet* first_ = nullptr;
  mscabd_cabinet* tail_ = nullptr;
};

// The next part of a set: folder + name as the cabinet gives it; the names
// come from a platform whose file names ignore case, so a file whose name
// differs only in case is taken when the exact one is missing.
std::string FindNextCabinet(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (name.empty() || name == "." || name == "..") return {};
  const fs::path exact = folder / name;
  if (fs::is_regular_file(exact, ec)) return exact.string();
  auto lower = [](std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string wanted = lower(name);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (lower(it->path().filename().string()) == wanted && it->is_regular_file(ec)) return it->path().string();
  }
  return exact.string();
}

// Stored names are in the platform's 8-bit code page (Windows-1252 here)
// unless the entry is marked UTF-8; the file system takes UTF-8.
// The stored DOS date and time, read as local time.
std::optional<fs::file_time_type> StoredTime(std::uint16_t date, std::uint16_t time) {
  std::tm local{};
  local.tm_year = 80 + (date >> 9);
  local.tm_mon = ((date >> 5) & 0x0F) - 1;
  local.tm_mday = date & 0x1F;
  local.tm_hour = time >> 11;
  local.tm_min = (time >> 5) & 0x3F;
  local.tm_sec = (time & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 59) {
    return std::nullopt;
  }
  const std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds));
}

std::mutex g_extractionLock;

}  // namespace

int ExtractCabinet(const std::string& cabinet, const std::string& targetDir) {
  const std::lock_guard lock(g_extractionLock);

  if (!std::ifstream(cabinet, std::ios::binary)) return -1;
  const auto firstTable = ReadFileTable(cabinet);
  if (!firstTable) return -1;

  const std::unique_ptr<mscab_decompressor, DecompressorDeleter> decompressor(
      mspack_create_cab_decompressor(platform::MspackFileSystem()));
  if (!decompressor) return -1;
  decompressor->set_param(decompressor.get(), MSCABD_PARAM_DECOMPBUF, kInputBufferSize);

  CabinetSet set(decompressor.get());
  if (!set.OpenFirst(cabinet)) return -1;

  // This cabinet's files as libmspack lists them, taken before any merge.
  struct Member {
    std::string name;
    unsigned length, offset;
    StoredEntry stored;
  };
  std::vector<Member> members;
  for (const mscabd_file* f = set.first()->files; f != nullptr; f = f->next) {
    if (members.size() == firstTable->size()) return -1;
    members.push_back({f->filename, f->length, f->offset, (*firstTable)[members.size()]});
  }
  if (members.size() != firstTable->size()) return -1;

  // Further parts are loaded only as far as this cabinet's last file reaches.
  std::error_code ec;
  const fs::path cabinetFolder = fs::absolute(cabinet, ec).parent_path();
  bool needNext = false;
  for (const auto& m : members) needNext = needNext || m.stored.folder == kContinuedToNext;
  for (int parts = 1; needNext && parts < kMaxCabinetsInSet; ++parts) {
    const mscabd_cabinet* tail = set.tail();
    if ((tail->flags & MSCAB_HDR_NEXTCAB) == 0 || tail->nextname == nullptr) break;
    // Only the name is taken: the next part is looked for beside this one.
    const std::string next = FindNextCabinet(cabinetFolder, platform::ExtractFileName(tail->nextname));
    const auto nextTable = ReadFileTable(next);
    if (!nextTable || !set.Append(next)) break;  // the spanning file then fails below
    needNext = false;
    for (const auto& e : *nextTable) needNext = needNext || e.folder == kContinuedBoth;
  }

  const bool noTarget = targetDir.empty();
  // The folder nothing may leave: the target itself, or, for a target given
  // without a trailing separator (joined to names as a prefix), its parent.
  const std::string targetFolder = platform::ExtractFilePath(platform::ToSlashes(targetDir));
  const fs::path root = noTarget ? fs::current_path(ec) : fs::path(targetFolder.empty() ? "." : targetFolder);
  int result = 0;
  const mscabd_file* merged = set.first()->files;
  for (const auto& member : members) {
    // Find this member in the (possibly merged) list of the set, which keeps archive order.
    const mscabd_file* file = merged;
    while (file != nullptr && !(file->length == member.length && file->offset == member.offset &&
                                member.name == file->filename)) {
      file = file->next;
    }
    if (file == nullptr) return -1;
    merged = file->next;

    if (member.stored.folder == kContinuedFromPrevious || member.stored.folder == kContinuedBoth) continue;

    const std::string name = platform::ToSlashes(StoredNameToUtf8(member.name.c_str(), file->attribs));
    const std::string target = noTarget ? name : platform::ToSlashes(targetDir) + name;
    if (IsUnsafeName(name) || !IsInside(root, target)) {
      result = -1;
      continue;
    }
    const std::string folder = platform::ExtractFilePath(target);
    if (!folder.empty()) {
      fs::create_directories(folder, ec);
      if (!fs::is_directory(folder, ec)) return -1;
    }
    const int error = decompressor->extract(decompressor.get(), const_cast<mscabd_file*>(file), target.c_str());
    if (error != MSPACK_ERR_OK || fs::file_size(target, ec) != member.length || ec) {
      // Only remove what this extraction wrote: an open failure created nothing.
      if (error != MSPACK_ERR_OPEN) fs::remove(target, ec);
      return -1;
    }
    if (const auto when = StoredTime(member.stored.date, member.stored.time)) fs::last_write_time(target, *when, ec);
  }
  return result;
}

}  // namespace zephron
