#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <utility>

#include "platform/reg_file.h"
#include "platform/registry_names.h"

namespace zephron::platform {
namespace {

namespace fs = std::filesystem;
using regfile::Document;
using regfile::Entry;
using regfile::EqualNoCase;
using regfile::FoldCase;
using regfile::Key;
using registry_names::DescribeValue;
using registry_names::Env;
using registry_names::JoinPath;
using registry_names::RootHive;
using registry_names::SplitPath;

// ---- The hive document and the lookups on it ----

// A key block of the document under its normalised name: path parts without
// the root, folded for comparison.
struct BlockName {
  std::optional<Hive> hive;
  std::vector<std::string> parts;  // as written
  std::string folded;              // folded parts joined with '\'
};

BlockName NameOf(const Key& key) {
  BlockName name;
  auto parts = SplitPath(key.path);
  if (parts.empty()) return name;
  name.hive = RootHive(parts.front());
  parts.erase(parts.begin());
  name.folded = FoldCase(JoinPath(parts, parts.size()));
  name.parts = std::move(parts);
  return name;
}

bool IsSameOrBelow(const std::string& folded, const std::string& target) {
  if (target.empty()) return true;
  return folded.size() >= target.size() && folded.compare(0, target.size(), target) == 0 &&
         (folded.size() == target.size() || folded[target.size()] == '\\');
}

class HiveView {
 public:
  HiveView(Document& doc, Hive hive) : doc_(doc), hive_(hive) { Reindex(); }

  void Reindex() {
    names_.clear();
    for (const auto& key : doc_.keys) names_.push_back(NameOf(key));
  }

  bool Counts(std::size_t i) const { return !doc_.keys[i].remove && names_[i].hive == hive_; }

  // Indexes of the blocks that are exactly this key.
  std::vector<std::size_t> Blocks(const std::string& folded) const {
    std::vector<std::size_t> result;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (Counts(i) && names_[i].folded == folded) result.push_back(i);
    }
    return result;
  }

  // A key exists when it has a block of its own or any key below it has one.
  bool Exists(const std::string& folded) const {
    if (folded.empty()) return true;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (Counts(i) && IsSameOrBelow(names_[i].folded, folded)) return true;
    }
    return false;
  }

  // The stored spelling of the first `count` parts where the key exists, the
  // caller's spelling for the parts that are new.
  std::vector<std::string> Canonical(const std::vector<std::string>& parts) const {
    std::vector<std::string> result = parts;
    std::string prefix;
    for (std::size_t n = 0; n < parts.size(); ++n) {
      prefix = FoldCase(JoinPath(parts, n + 1));
      for (std::size_t i = 0; i < names_.size(); ++i) {
        if (Counts(i) && names_[i].parts.size() > n && IsSameOrBelow(names_[i].folded, prefix)) {
          result[n] = names_[i].parts[n];
          break;
        }
      }
    }
    return result;
  }

  // The index of a block for the key, creating the key and the parents that
  // do not exist at all. New blocks go after the parent's subtree so that a
  // hand-read file stays in tree order.
  std::size_t Ensure(const std::vector<std::string>& requested) {
    if (requested.empty()) {
      // Values of the hive's root key live in a "[HKEY_...]" block of its own.
      if (Blocks("").empty()) {
        Key key;
        key.path = std::string(HiveName(hive_));
        doc_.keys.insert(doc_.keys.begin(), std::move(key));
        Reindex();
      }
      return Blocks("").front();
    }
    const auto parts = Canonical(requested);
    for (std::size_t n = 1; n <= parts.size(); ++n) {
      const std::string folded = FoldCase(JoinPath(parts, n));
      const bool last = n == parts.size();
      if (last ? !Blocks(folded).empty() : Exists(folded)) continue;
      const std::string parent = FoldCase(JoinPath(parts, n - 1));
      std::size_t at = doc_.keys.size();
      for (std::size_t i = names_.size(); i-- > 0;) {
        if (Counts(i) && IsSameOrBelow(names_[i].folded, parent) && !parent.empty()) {
          at = i + 1;
          break;
        }
      }
      // The unread tail of a damaged file follows the last block it was
      // found under; a block appended after that one would take the tail
      // over (and put the new key under it on the next read), so it goes in
      // front of the last block instead.
      if (!doc_.remainder.empty() && !doc_.keys.empty() && at == doc_.keys.size()) at = doc_.keys.size() - 1;
      Key key;
      key.path = std::string(HiveName(hive_)) + (n ? "\\" : "") + JoinPath(parts, n);
      doc_.keys.insert(doc_.keys.begin() + static_cast<std::ptrdiff_t>(at), std::move(key));
      names_.insert(names_.begin() + static_cast<std::ptrdiff_t>(at), NameOf(doc_.keys[at]));
    }
    return Blocks(FoldCase(JoinPath(parts, parts.size()))).front();
  }

  // The last entry of a value in any block of the key (later lines win, as in an import).
  Entry* FindValue(const std::string& folded, std::string_view name) {
    Entry* found = nullptr;
    for (const std::size_t i : Blocks(folded)) {
      for (auto& entry : doc_.keys[i].entries) {
        if ((entry.kind == Entry::Kind::String || entry.kind == Entry::Kind::Typed) && EqualNoCase(entry.name, name)) {
          found = &entry;
        }
      }
    }
    return found;
  }

  bool RemoveValue(const std::string& folded, std::string_view name) {
    bool removed = false;
    for (const std::size_t i : Blocks(folded)) {
      auto& entries = doc_.keys[i].entries;
      for (auto it = entries.begin(); it != entries.end();) {
        if ((it->kind == Entry::Kind::String || it->kind == Entry::Kind::Typed) && EqualNoCase(it->name, name)) {
          it = entries.erase(it);
          removed = true;
        } else {
          ++it;
        }
      }
    }
    return removed;
  }

  bool RemoveKey(const std::string& folded) {
    bool removed = false;
    for (std::size_t i = doc_.keys.size(); i-- > 0;) {
      if (Counts(i) && IsSameOrBelow(names_[i].folded, folded)) {
        doc_.keys.erase(doc_.keys.begin() + static_cast<std::ptrdiff_t>(i));
        removed = true;
      }
    }
    Reindex();
    return removed;
  }

  // Sets a value: an existing one is replaced in place and keeps the case of
  // its name; a new one goes to the end of the key's first block.
  void SetValue(const std::vector<std::string>& parts, Entry entry) {
    const std::size_t block = Ensure(parts);
    const std::string folded = FoldCase(JoinPath(parts, parts.size()));
    if (Entry* existing = FindValue(folded, entry.name)) {
      entry.name = existing->name;
      if (!entry.original.empty()) {
        entry.original[0] = regfile::QuoteName(entry.name) + "=" + entry.original[0].substr(entry.dataOffset);
        entry.dataOffset = regfile::QuoteName(entry.name).size() + 1;
      }
      *existing = std::move(entry);
      return;
    }
    doc_.keys[block].entries.push_back(std::move(entry));
  }

  // Direct subkey names (stored spelling, first seen), and the values of a key.
  std::vector<std::string> Children(const std::string& folded) const {
    std::vector<std::string> result;
    std::set<std::string> seen;
    const std::size_t depth = folded.empty() ? 0 : SplitPath(folded).size();
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (!Counts(i) || names_[i].parts.size() <= depth || !IsSameOrBelow(names_[i].folded, folded)) continue;
      const std::string& child = names_[i].parts[depth];
      if (seen.insert(FoldCase(child)).second) result.push_back(child);
    }
    return result;
  }

  std::vector<const Entry*> Values(const std::string& folded) const {
    std::vector<const Entry*> result;
    for (const std::size_t i : Blocks(folded)) {
      for (const auto& entry : doc_.keys[i].entries) {
        if (entry.kind != Entry::Kind::String && entry.kind != Entry::Kind::Typed) continue;
        bool replaced = false;
        for (auto& known : result) {
          if (EqualNoCase(known->name, entry.name)) {
            known = &entry;
            replaced = true;
          }
        }
        if (!replaced) result.push_back(&entry);
      }
    }
    return result;
  }

  std::vector<const Entry*> Comments(const std::string& folded) const {
    std::vector<const Entry*> result;
    for (const std::size_t i : Blocks(folded)) {
      for (const auto& entry : doc_.keys[i].entries) {
        if (entry.kind == Entry::Kind::Verbatim) result.push_back(&entry);
      }
    }
    return result;
  }

  Document& doc() { return doc_; }

 private:
  Document& doc_;
  Hive hive_;
  std::vector<BlockName> names_;
};

// ---- Files ----

std::string DefaultUserConfig() {
  // The base-directory rules ignore a relative XDG_CONFIG_HOME.
  std::string dir = Env("XDG_CONFIG_HOME");
  if (!dir.empty() && dir.front() == '/') return dir;
  std::string home = Env("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  return home.empty() ? std::string(".config") : home + "/.config";
}

// A relative folder is taken from the current folder at its first use and
// kept, since the updater changes its current folder to each product's.
fs::path AbsoluteOnce(const std::string& dir) {
  static std::mutex mutex;
  static std::map<std::string, fs::path> resolved;
  std::lock_guard lock(mutex);
  auto [it, added] = resolved.try_emplace(dir);
  if (added) {
    std::error_code ec;
    it->second = fs::absolute(dir, ec);
    if (ec) it->second = dir;
  }
  return it->second;
}

fs::path RegistryFolder(Hive hive) {
  if (std::string dir = Env("ZEPHRON_REGISTRY_DIR"); !dir.empty()) return dir.front() == '/' ? fs::path(dir) : AbsoluteOnce(dir);
  if (hive == Hive::LocalMachine) return "/var/lib/zephron/registry";
  return fs::path(DefaultUserConfig()) / "zephron" / "registry";
}

bool IsMalformed(const Document& doc) { return doc.malformedLine || doc.strayValueLine; }

void ReportMalformed(const fs::path& file, const Document& doc) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard lock(mutex);
  if (!reported.insert(file.string()).second) return;
  if (doc.strayValueLine && (!doc.malformedLine || doc.strayValueLine < doc.malformedLine)) {
    std::fprintf(stderr,
                 "zephron registry: %s: malformed at line %d; a value before the first key is not read but is kept as "
                 "it is\n",
                 file.string().c_str(), doc.strayValueLine);
    return;
  }
  std::fprintf(stderr,
               "zephron registry: %s: malformed at line %d; %s; the rest of the file is not read but is kept as it "
               "is\n",
               file.string().c_str(), doc.malformedLine, doc.problem.c_str());
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// The raw bytes of a file; "" for a missing file, nullopt when it exists but
// cannot be read.
std::optional<std::string> ReadBytes(const fs::path& file) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT || errno == ENOTDIR) return std::string();
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::optional<Document> LoadDocument(const fs::path& file) {
  auto bytes = ReadBytes(file);
  if (!bytes) return std::nullopt;
  Document doc = regfile::Parse(regfile::DecodeFileBytes(*bytes));
  if (IsMalformed(doc)) ReportMalformed(file, doc);
  return doc;
}

std::optional<Document> LoadHive(Hive hive) { return LoadDocument(HiveFile(hive)); }

// Writes the bytes to a temporary file in the target's folder and renames it
// over the target, so a reader sees the old or the new file, never a part.
// The temporary file is flocked for as long as it exists under its own name,
// which tells the cleaner below that its writer is alive.
bool ReplaceFile(const fs::path& target, const std::string& bytes) {
  std::string pattern = target.string() + ".XXXXXX";
  FileDescriptor fd(::mkstemp(pattern.data()));
  if (!fd) return false;
  // Only a hint for the cleaner: where flock is not supported, the cleaner
  // cannot lock the file either and leaves it alone.
  ::flock(fd.get(), LOCK_EX | LOCK_NB);
  struct TempGuard {
    std::string path;
    bool keep = false;
    ~TempGuard() {
      if (!keep) ::unlink(path.c_str());
    }
  } guard{pattern};
  mode_t mode = 0644;
  if (struct stat st{}; ::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
  if (::fchmod(fd.get(), mode) != 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return false;
  if (::rename(pattern.c_str(), target.c_str()) != 0) return false;
  guard.keep = true;
  // After fsync a failing close loses nothing; the lock goes with it.
  ::close(fd.release());
  if (FileDescriptor dir(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
    ::fsync(dir.get());
  }
  return true;
}

// An exclusive flock held for the object's life; the kernel drops it when the
// process dies, so a crashed writer never blocks the others.
class HiveLock {
 public:
  explicit HiveLock(const fs::path& file) : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (!fd_) return;
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        locked_ = false;
        return;
      }
    }
    locked_ = true;
  }
  ~HiveLock() {
    if (locked_) ::flock(fd_.get(), LOCK_UN);
  }
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;
  explicit operator bool() const { return locked_; }

 private:
  FileDescriptor fd_;
  bool locked_ = false;
};

// A temporary file of a hive write ("<hive>.reg.XXXXXX") left by a writer
// that died: older than this, and no longer flocked by anyone.
constexpr auto kStaleTemporaryAge = std::chrono::hours(1);

bool IsTemporaryOf(const std::string& name, const std::string& hiveName) {
  if (name.size() != hiveName.size() + 7 || name.compare(0, hiveName.size(), hiveName) != 0 ||
      name[hiveName.size()] != '.') {
    return false;
  }
  for (std::size_t i = hiveName.size() + 1; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes the stale temporary files of one hive. Called under the hive's
// lock, so no writer of this code can be between mkstemp and rename; the
// flock test still keeps the file of any live writer.
void RemoveStaleTemporaries(const fs::path& hiveFile) {
  const std::string hiveName = hiveFile.filename().string();
  const auto bound = std::chrono::system_clock::now() - kStaleTemporaryAge;
  FileDescriptor dir(::open(hiveFile.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return;
  std::error_code ec;
  for (fs::directory_iterator it(hiveFile.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsTemporaryOf(name, hiveName)) continue;
    FileDescriptor fd(::openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (std::chrono::system_clock::from_time_t(st.st_mtime) > bound) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // its writer is alive
    // Still the same file under that name: unlink what was checked.
    struct stat named {};
    if (::fstatat(dir.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == st.st_ino &&
        named.st_dev == st.st_dev) {
      ::unlinkat(dir.get(), name.c_str(), 0);
    }
  }
}

enum class Change { Unchanged, Changed, Failed };

// One locked read-modify-replace of a hive file.
template <typename F>
bool ModifyHive(Hive hive, F&& change) {
  const fs::path file = HiveFile(hive);
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return false;
  HiveLock lock(file.parent_path() / (std::string(HiveName(hive)) + ".lock"));
  if (!lock) return false;
  auto doc = LoadDocument(file);
  if (!doc) return false;
  HiveView view(*doc, hive);
  const Change result = change(view);
  if (result == Change::Failed) return false;
  if (result == Change::Unchanged) return true;
  RemoveStaleTemporaries(file);
  return ReplaceFile(file, regfile::EncodeUtf16Le(regfile::Serialize(*doc)));
}

bool IsStorableName(std::string_view name) { return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

bool IsStorablePath(const std::vector<std::string>& parts) {
  for (const auto& part : parts) {
    if (!IsStorableName(part)) return false;
  }
  return true;
}

std::string Folded(std::string_view path) {
  const auto parts = SplitPath(path);
  return FoldCase(JoinPath(parts, parts.size()));
}

std::string StringOf(const Entry& entry, bool* ok) {
  *ok = true;
  if (entry.kind == Entry::Kind::String) return entry.data;
  if (auto typed = regfile::DecodeTypedData(entry.data); typed && (typed->type == 1 || typed->type == 2)) {
    auto text = regfile::Utf16LeToUtf8(typed->bytes, false);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
  *ok = false;
  return {};
}

}  // namespace

bool registry_names::MachineIs64Bit() {
  static const bool is64 = [] {
    utsname name{};
    if (::uname(&name) != 0) return sizeof(void*) == 8;
    const std::string machine = name.machine;
    return machine.find("64") != std::string::npos || machine == "s390x" || machine == "alpha";
  }();
  return is64;
}

fs::path HiveFile(Hive hive) { return RegistryFolder(hive) / (std::string(HiveName(hive)) + ".reg"); }

std::optional<RegistryKey> RegistryKey::Open(Hive hive, std::string_view path, RegView view) {
  std::string redirected = RedirectedKeyPath(hive, path, view);
  auto doc = LoadHive(hive);
  if (!doc) return std::nullopt;
  if (!HiveView(*doc, hive).Exists(FoldCase(redirected))) return std::nullopt;
  return RegistryKey(hive, std::move(redirected), false);
}

std::optional<RegistryKey> RegistryKey::Create(Hive hive, std::string_view path, RegView view) {
  std::string redirected = RedirectedKeyPath(hive, path, view);
  const auto parts = SplitPath(redirected);
  if (!IsStorablePath(parts)) return std::nullopt;
  const bool ok = ModifyHive(hive, [&](HiveView& hv) {
    if (parts.empty()) return Change::Unchanged;
    if (!hv.Blocks(FoldCase(redirected)).empty()) return Change::Unchanged;
    hv.Ensure(parts);
    return Change::Changed;
  });
  if (!ok) return std::nullopt;
  return RegistryKey(hive, std::move(redirected), true);
}

bool RegistryKey::ValueExists(std::string_view name) const {
  auto doc = LoadHive(hive_);
  return doc && HiveView(*doc, hive_).FindValue(FoldCase(path_), name) != nullptr;
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  auto doc = LoadHive(hive_);
  if (!doc) return std::nullopt;
  const Entry* entry = HiveView(*doc, hive_).FindValue(FoldCase(path_), name);
  if (!entry) return std::nullopt;
  bool ok = false;
  std::string text = StringOf(*entry, &ok);
  if (!ok) return std::nullopt;
  return text;
}

bool RegistryKey::WriteString(std::string_view name, std::string_view data) {
  if (!writable_ || !IsStorableName(name)) return false;
  const auto parts = SplitPath(path_);
  return ModifyHive(hive_, [&](HiveView& hv) {
    Entry entry;
    entry.kind = Entry::Kind::String;
    entry.name = std::string(name);
    entry.data = std::string(data);
    hv.SetValue(parts, std::move(entry));
    return Change::Changed;
  });
}

bool RegistryKey::DeleteValue(std::string_view name) {
  if (!writable_) return false;
  bool removed = false;
  const bool ok = ModifyHive(hive_, [&](HiveView& hv) {
    removed = hv.RemoveValue(FoldCase(path_), name);
    return removed ? Change::Changed : Change::Unchanged;
  });
  return ok && removed;
}

std::vector<std::string> RegistryKey::ValueNames() const {
  std::vector<std::string> names;
  auto doc = LoadHive(hive_);
  if (!doc) return names;
  for (const Entry* entry : HiveView(*doc, hive_).Values(FoldCase(path_))) names.push_back(entry->name);
  return names;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  auto doc = LoadHive(hive_);
  if (!doc) return {};
  return HiveView(*doc, hive_).Children(FoldCase(path_));
}

std::vector<ValueInfo> RegistryKey::Values() const {
  std::vector<ValueInfo> values;
  auto doc = LoadHive(hive_);
  if (!doc) return values;
  for (const Entry* entry : HiveView(*doc, hive_).Values(FoldCase(path_))) values.push_back(DescribeValue(*entry));
  return values;
}

bool KeyExists(Hive hive, std::string_view path, RegView view) {
  auto doc = LoadHive(hive);
  return doc && HiveView(*doc, hive).Exists(Folded(RedirectedKeyPath(hive, path, view)));
}

bool DeleteKey(Hive hive, std::string_view path, RegView view) {
  const std::string folded = Folded(RedirectedKeyPath(hive, path, view));
  if (folded.empty()) return false;  // the hive itself cannot be deleted
  bool removed = false;
  const bool ok = ModifyHive(hive, [&](HiveView& hv) {
    removed = hv.RemoveKey(folded);
    return removed ? Change::Changed : Change::Unchanged;
  });
  return ok && removed;
}

std::optional<std::string> ExportKeyText(Hive hive, std::string_view path, RegView view) {
  auto doc = LoadHive(hive);
  if (!doc) return std::nullopt;
  HiveView hv(*doc, hive);
  const auto start = hv.Canonical(SplitPath(RedirectedKeyPath(hive, path, view)));
  if (!hv.Exists(FoldCase(JoinPath(start, start.size())))) return std::nullopt;

  Document out;
  // Depth-first in stored order, every key listed, as regedit exports a branch.
  std::vector<std::vector<std::string>> pending{start};
  while (!pending.empty()) {
    auto parts = std::move(pending.back());
    pending.pop_back();
    const std::string folded = FoldCase(JoinPath(parts, parts.size()));
    Key key;
    key.path = std::string(HiveName(hive)) + (parts.empty() ? "" : "\\") + JoinPath(parts, parts.size());
    for (const Entry* entry : hv.Comments(folded)) key.entries.push_back(*entry);
    for (const Entry* entry : hv.Values(folded)) key.entries.push_back(*entry);
    out.keys.push_back(std::move(key));
    const auto children = hv.Children(folded);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      auto child = parts;
      child.push_back(*it);
      pending.push_back(std::move(child));
    }
  }
  return regfile::Serialize(out);
}

bool IsHiveFile(const fs::path& file) {
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(fs::absolute(file, ec), ec);
  for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
    std::error_code ec2;
    if (fs::weakly_canonical(HiveFile(hive), ec2) == target) return true;
  }
  return false;
}

bool ExportKey(Hive hive, std::string_view path, RegView view, const fs::path& file) {
  if (IsHiveFile(file)) return false;  // it would replace the hive with a part of it
  auto text = ExportKeyText(hive, path, view);
  if (!text) return false;
  const fs::path target = file.has_parent_path() ? file : fs::path(".") / file;
  return ReplaceFile(target, regfile::EncodeUtf16Le(*text));
}

ImportResult ImportRegFile(const fs::path& file, RegView view) {
  auto bytes = ReadBytes(file);
  std::error_code ec;
  if (!bytes || !fs::is_regular_file(file, ec)) return {ImportResult::Code::CannotOpen, file.string()};
  Document doc = regfile::Parse(regfile::DecodeFileBytes(*bytes));
  if (doc.malformedLine) {
    return {ImportResult::Code::Malformed, "line " + std::to_string(doc.malformedLine) + ": " + doc.problem};
  }
  if (doc.strayValueLine) {
    return {ImportResult::Code::Malformed, "line " + std::to_string(doc.strayValueLine) + ": a value before the first key"};
  }
  struct Target {
    Hive hive;
    std::vector<std::string> parts;
  };
  std::vector<Target> targets;
  for (const auto& key : doc.keys) {
    auto name = ParseKeyName(key.path);
    if (!name) return {ImportResult::Code::InvalidKey, key.path};
    auto parts = SplitPath(RedirectedKeyPath(name->hive, name->path, view));
    if (!IsStorablePath(parts) || (parts.empty() && key.remove)) {
      return {ImportResult::Code::InvalidKey, key.path};
    }
    targets.push_back({name->hive, std::move(parts)});
  }
  for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
    bool any = false;
    for (const auto& target : targets) any = any || target.hive == hive;
    if (!any) continue;
    const bool ok = ModifyHive(hive, [&](HiveView& hv) {
      for (std::size_t k = 0; k < doc.keys.size(); ++k) {
        if (targets[k].hive != hive) continue;
        const auto& parts = targets[k].parts;
        const std::string folded = FoldCase(JoinPath(parts, parts.size()));
        if (doc.keys[k].remove) {
          hv.RemoveKey(folded);
          continue;
        }
        hv.Ensure(parts);
        for (const auto& entry : doc.keys[k].entries) {
          switch (entry.kind) {
            case Entry::Kind::String: {
              Entry copy = entry;
              copy.original.clear();  // written in this file's own format
              hv.SetValue(parts, std::move(copy));
              break;
            }
            case Entry::Kind::Typed:
              hv.SetValue(parts, entry);
              break;
            case Entry::Kind::DeleteValue:
              hv.RemoveValue(folded, entry.name);
              break;
            case Entry::Kind::Verbatim:
              break;
          }
        }
      }
      return Change::Changed;
    });
    if (!ok) return {ImportResult::Code::WriteFailed, HiveFile(hive).string()};
  }
  return {};
}

}  // namespace zephron::platform
