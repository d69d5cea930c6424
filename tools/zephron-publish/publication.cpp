#include "tools/zephron-publish/publication.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <system_error>

#include "app/catalogue.h"
#include "engine/control_file.h"
#include "engine/signing.h"
#include "engine/version.h"
#include "platform/ascii_case.h"
#include "tools/zephron-publish/control_text.h"
#include "tools/zephron-publish/packing.h"
#include "tools/zephron-publish/release.h"
#include "tools/zephron-publish/signing_keys.h"

namespace zephron::publish {

namespace fs = std::filesystem;
using platform::AsciiLower;

namespace {

enum class Form { Plain, Compressed, Cabinet, Patch };

struct Entry {
  std::string published;  // its file name in the publication folder
  Form form = Form::Plain;
  bool component = false;               // left for the setup program
  const ReleaseFile* file = nullptr;    // what it installs (the only member of a cabinet of one)
  std::vector<const ReleaseFile*> members;  // a cabinet's files
  std::string folder;                   // target folder (release path)
};

// Characters a published name may hold: it travels unescaped in an HTTP
// URL, as an FTP file name and as a word of the blank-separated component list.
bool UrlSafe(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_' || c == '~';
  });
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

bool Inside(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  const fs::path a = fs::weakly_canonical(fs::absolute(inner, ec), ec);
  const fs::path b = fs::weakly_canonical(fs::absolute(outer, ec), ec);
  auto [endB, endA] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
  return endB == b.end();
}

std::uint64_t SizeOf(const fs::path& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  return ec ? 0 : size;
}

// "dd/mm/yyyy" and "hh:nn" of a file's modification time, local time, as
// the engine reads a release date.
std::pair<std::string, std::string> DateAndTime(const fs::path& file) {
  std::error_code ec;
  const auto written = fs::last_write_time(file, ec);
  const auto since = written - fs::file_time_type::clock::now() + std::chrono::system_clock::now();
  const std::time_t when = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(since));
  std::tm local{};
  localtime_r(&when, &local);
  char date[16], time[8];
  std::strftime(date, sizeof date, "%d/%m/%Y", &local);
  std::strftime(time, sizeof time, "%H:%M", &local);
  return {date, time};
}

// Puts staging where the publication is, in one step when the system can
// exchange two folders, so a reader sees the old publication or the new one.
std::string SwapIntoPlace(const fs::path& staging, const fs::path& target) {
  std::error_code ec;
  if (!fs::exists(target, ec)) {
    fs::rename(staging, target, ec);
    return ec ? "cannot rename " + staging.string() + ": " + ec.message() : std::string();
  }
  if (renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    fs::remove_all(staging, ec);
    return {};
  }
  const fs::path old = staging.string() + ".old";
  fs::rename(target, old, ec);
  if (!ec) fs::rename(staging, target, ec);
  if (ec) return "cannot replace " + target.string() + ": " + ec.message();
  fs::remove_all(old, ec);
  return {};
}

class Publisher {
 public:
  explicit Publisher(const Options& options) : o_(options) {}

  Result Run() {
    Result result;
    result.error = Prepare();
    if (result.error.empty()) result.error = Plan();
    if (result.error.empty()) result.error = Write();
    if (!result.error.empty()) {
      std::error_code ec;
      if (!staging_.empty()) fs::remove_all(staging_, ec);
      return result;
    }
    result.ok = true;
    result.report = std::move(report_);
    return result;
  }

 private:
  std::string Prepare() {
    const auto row = std::find_if(kCatalogue.begin(), kCatalogue.end(),
                                  [&](const TProduct& p) { return p.updateFolder == o_.product; });
    if (row == kCatalogue.end()) return "unknown product folder \"" + o_.product + "\"";
    product_ = &*row;
    tendwell_ = o_.product == "tendwell";
    if (o_.baseUrl.empty()) return "--url is missing";
    if (Inside(o_.location, o_.release)) return "the location " + o_.location.string() + " lies inside the release";
    if (!o_.previous.empty() && Inside(o_.location, o_.previous)) {
      return "the location " + o_.location.string() + " lies inside the previous release";
    }
    scan_ = ScanRelease(o_.release);
    if (!scan_.error.empty()) return scan_.error;
    exe_ = std::string(product_->executable);
    if (!FindFile(exe_)) return "the release has no " + exe_ + " at its top";
    for (const std::string& path : o_.inUse) {
      if (!FindFile(path)) return "--in-use " + path + ": no such file in the release";
    }
    if (tendwell_ && !o_.inUse.empty()) {
      return "--in-use: Tendwell's updates replace only its executable after the update";
    }
    if (!o_.dateBased) {
      version_ = GetFileVersion((o_.release / exe_).string());
      if (version_.versionms == -1 && version_.versionls == -1) {
        return exe_ + " has no version resource (publish with --date)";
      }
    }
    for (const auto& file : scan_.files) {
      if (Backslashed(file.path).size() > kMaxValueLength) return "\"" + file.path + "\" is too long a path";
      std::string folder = FolderOf(file.path);
      releaseNames_[folder].insert(AsciiLower(NameOf(file.path)));
      while (!folder.empty()) {
        releaseNames_[FolderOf(folder)].insert(AsciiLower(NameOf(folder)));
        folder = FolderOf(folder);
      }
    }
    taken_.insert(AsciiLower(o_.product + ".INF"));
    return {};
  }

  const ReleaseFile* FindFile(const std::string& path) const {
    for (const auto& file : scan_.files) {
      if (file.path == path) return &file;
    }
    return nullptr;
  }

  // A name for the publication folder that nothing else has, and that, once
  // downloaded into folder, replaces no other file of the release there.
  bool Free(const std::string& name, const std::string& folder, const std::string& ownName = {}) const {
    const std::string lower = AsciiLower(name);
    const auto& names = releaseNames_.at(folder);
    return UrlSafe(name) && taken_.count(lower) == 0 && (lower == AsciiLower(ownName) || names.count(lower) == 0);
  }

  std::string Generated(const std::string& folder, const std::string& stem, const std::string& extension,
                        const std::function<bool(const std::string&)>& fits = {}) const {
    releaseNames_.try_emplace(folder);
    for (int n = 1;; ++n) {
      const std::string name = stem + std::to_string(n) + extension;
      if (Free(name, folder) && (!fits || fits(name))) return name;
    }
  }

  fs::path Staged(const std::string& name) const { return staging_ / name; }

  std::string Plan() {
    std::error_code ec;
    fs::create_directories(o_.location, ec);
    staging_ = o_.location / ("." + o_.product + ".publishing-" + std::to_string(getpid()));
    fs::remove_all(staging_, ec);
    if (!fs::create_directories(staging_, ec)) return "cannot create " + staging_.string() + ": " + ec.message();

    std::set<std::string> components(o_.inUse.begin(), o_.inUse.end());
    if (!tendwell_) components.insert(exe_);
    std::map<std::string, std::vector<const ReleaseFile*>> cabinets;  // by target folder
    std::vector<const ReleaseFile*> componentFiles;

    for (const auto& file : scan_.files) {
      if (components.count(file.path) != 0) {
        componentFiles.push_back(&file);
        continue;
      }
      const std::string folder = FolderOf(file.path);
      const std::string name = NameOf(file.path);
      const fs::path source = o_.release / file.path;
      if (tendwell_ && file.path == exe_) {
        // Renamed onto the executable by the updater after the update.
        entries_.push_back({Generated("", "Tendwell-", ".new"), Form::Plain, false, &file, {}, ""});
        if (std::string e = Copy(source, entries_.back().published); !e.empty()) return e;
        continue;
      }
      if (std::string e = MaybePatch(file, SizeOf(source)); e != "no") {
        if (!e.empty()) return e;
        continue;
      }
      if (o_.pack == Pack::Cabinet) {
        cabinets[folder].push_back(&file);
        continue;
      }
      if (o_.pack == Pack::Compress) {
        if (const auto packed = CompressedName(name); packed && Free(*packed, folder)) {
          if (!WriteCompressed(source, Staged(*packed))) return "cannot compress " + file.path;
          if (SizeOf(Staged(*packed)) < file.size) {
            entries_.push_back({*packed, Form::Compressed, false, &file, {}, folder});
            taken_.insert(AsciiLower(*packed));
            continue;
          }
          fs::remove(Staged(*packed), ec);
        }
      }
      if (Free(name, folder, name)) {
        entries_.push_back({name, Form::Plain, false, &file, {}, folder});
        taken_.insert(AsciiLower(name));
        if (std::string e = Copy(source, name); !e.empty()) return e;
        continue;
      }
      // Its name cannot travel as it is: the cabinet of its folder carries it.
      cabinets[folder].push_back(&file);
    }

    for (auto& [folder, members] : cabinets) {
      Entry entry{Generated(folder, o_.product + "-", ".cab"), Form::Cabinet, false, nullptr, members, folder};
      if (members.size() == 1) entry.file = members.front();
      taken_.insert(AsciiLower(entry.published));
      std::vector<CabinetMember> stored;
      for (const ReleaseFile* member : members) stored.emplace_back(o_.release / member->path, NameOf(member->path));
      if (std::string e = WriteCabinet(stored, Staged(entry.published)); !e.empty()) return "cabinet: " + e;
      entries_.push_back(std::move(entry));
    }

    // The engine takes any download whose name occurs in the component list
    // for a component: no other published name may occur in it.
    const auto clear = [&](const std::string& name) {
      for (const Entry& entry : entries_) {
        if (AsciiLower(name).find(AsciiLower(entry.published)) != std::string::npos) return false;
      }
      return true;
    };
    for (const ReleaseFile* file : componentFiles) {
      Entry entry{Generated("", o_.product + "-app", ".cab", clear), Form::Cabinet, true, file, {file}, ""};
      if (std::string e = WriteCabinet({{o_.release / file->path, Backslashed(file->path)}}, Staged(entry.published));
          !e.empty()) {
        return "cabinet: " + e;
      }
      const std::uint64_t whole = SizeOf(Staged(entry.published));
      if (std::string e = MaybePatch(*file, whole, clear); e != "no") {
        if (!e.empty()) return e;
        fs::remove(Staged(entry.published), ec);
        continue;
      }
      taken_.insert(AsciiLower(entry.published));
      componentEntries_.push_back(std::move(entry));
    }
    entries_.insert(entries_.end(), componentEntries_.begin(), componentEntries_.end());
    // Patches taken for files outside the component list are components too.
    std::stable_partition(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.component; });
    if (entries_.size() > static_cast<std::size_t>(kMaxFileEntries)) return "too many files for one control file";
    return {};
  }

  // A patch for a changed top-level program when it is smaller than the
  // whole file would be: "no" when none is taken, an error text, or "".
  std::string MaybePatch(const ReleaseFile& file, std::uint64_t whole,
                         const std::function<bool(const std::string&)>& fits = {}) {
    // The setup program patches NAME.EXE in the installation folder from NAME.PAT.
    const fs::path path(file.path);
    if (o_.previous.empty() || tendwell_ || !FolderOf(file.path).empty() ||
        !platform::SameTextAscii(path.extension().string(), ".exe")) {
      return "no";
    }
    const fs::path old = o_.previous / file.path;
    std::error_code ec;
    if (!fs::is_regular_file(old, ec) || SameBytes(old, o_.release / file.path)) return "no";
    const std::string name = path.stem().string() + ".pat";
    if (!Free(name, "") || (fits && !fits(name))) return "no";
    for (const Entry& entry : entries_) {
      if (AsciiLower(name).find(AsciiLower(entry.published)) != std::string::npos) return "no";
    }
    if (std::string e = WritePatch(old, o_.release / file.path, Staged(name)); !e.empty()) {
      return "patch for " + file.path + ": " + e;
    }
    if (SizeOf(Staged(name)) >= whole) {
      fs::remove(Staged(name), ec);
      return "no";
    }
    taken_.insert(AsciiLower(name));
    entries_.push_back({name, Form::Patch, true, &file, {}, ""});
    return {};
  }

  std::string Copy(const fs::path& source, const std::string& name) {
    std::error_code ec;
    fs::copy_file(source, Staged(name), fs::copy_options::overwrite_existing, ec);
    return ec ? "cannot copy " + source.string() + ": " + ec.message() : std::string();
  }

  std::string Url(const std::string& name) const {
    if (o_.relativeUrls) return name;
    std::string base = o_.baseUrl;
    if (platform::StartsWithAsciiNoCase(base, "file://")) base = base.substr(7);
    if (base.back() != '/' && base.back() != '\\') base += '/';
    return base + o_.product + "/" + name;
  }

  std::string Write() {
    std::optional<std::string> secretKey;
    if (!o_.signKey.empty()) {
      std::string error;
      secretKey = ReadKeyFile(o_.signKey, error);
      if (!secretKey) return error;
    }
    ControlText text;
    text.Section("update");
    const std::string display(product_->displayName);
    if (secretKey) {
      // An installation refuses a signed control file older than the last
      // one it took, and one past its expiry.
      const std::int64_t now = UtcNow();
      text.Key("published", FormatUtcTime(now));
      if (o_.expiresDays > 0) text.Key("expires", FormatUtcTime(now + std::int64_t{o_.expiresDays} * 86400));
    }
    text.Key("localversion", exe_);
    if (o_.dateBased) {
      const auto [date, time] = DateAndTime(o_.release / exe_);
      text.Key("descr", display + " of " + date);
      text.Key("date", date);
      text.Key("time", time);
    } else {
      text.Key("descr", display + " " + VersionToStr(version_));
      text.Key("newversion", VersionToStr(version_));
    }

    std::string comps;
    for (const Entry& entry : entries_) {
      if (entry.component) comps += (comps.empty() ? "" : " ") + entry.published;
    }
    for (const Entry& entry : entries_) {
      if (!entry.component && AsciiLower(comps).find(AsciiLower(entry.published)) != std::string::npos) {
        return "the published name " + entry.published + " occurs in the component list";
      }
    }
    if (tendwell_) {
      // The updater takes this section away before the engine reads the
      // file, and renames the downloaded program onto the executable itself.
      const auto program = std::find_if(entries_.begin(), entries_.end(),
                                        [&](const Entry& e) { return e.file && e.file->path == exe_; });
      text.Section("application");
      text.Key("appname", exe_);
      text.Key("appcomps", program->published);
    } else if (!comps.empty()) {
      if (comps.size() > kMaxValueLength) return "the component list is too long for a control file";
      text.Section("application");
      text.Key("appupdate", 1);
      text.Key("appname", exe_);
      text.Key("appcomps", comps);
    }

    text.Section("files");
    text.Key("count", static_cast<long long>(entries_.size()));
    int index = 0;
    for (const Entry& entry : entries_) {
      text.Section("file" + std::to_string(++index));
      text.Key("url", Url(entry.published));
      text.Key("descr", entry.file ? entry.file->path
                                   : (entry.folder.empty() ? display : entry.folder) + " (" +
                                         std::to_string(entry.members.size()) + " files)");
      if (entry.file) {
        text.Key("localversion", Backslashed(entry.file->path));
        text.Key("newsize", static_cast<long long>(entry.file->size));
        text.Key("newchecksum", entry.file->checksum);
      }
      text.Key("targetdir", Backslashed(entry.folder));
      if (!entry.component && (entry.form == Form::Compressed || entry.form == Form::Cabinet)) {
        text.Key("compressed", 1);
      }
      text.Key("filesize", static_cast<long long>(SizeOf(Staged(entry.published))));
      if (secretKey) {
        const auto digest = FileSha256Hex(Staged(entry.published).string());
        if (!digest) return "cannot read " + Staged(entry.published).string();
        text.Key("sha256", *digest);
      }
      report_.push_back(entry.published + ": " + Describe(entry));
    }

    const std::string inf = text.Text();
    {
      std::ofstream out(Staged(o_.product + ".INF"), std::ios::binary);
      out << inf;
      if (!out.flush()) return "cannot write the control file";
    }
    if (secretKey) {
      // Signed in the staging folder, so the control file and its signature
      // are put in place together.
      const auto signature = SignBase64(inf, *secretKey);
      if (!signature) return "cannot sign with " + o_.signKey.string();
      std::ofstream out(Staged(o_.product + ".INF.sig"), std::ios::binary);
      out << *signature << "\n";
      if (!out.flush()) return "cannot write the signature";
    }
    if (std::string e = SwapIntoPlace(staging_, o_.location / o_.product); !e.empty()) return e;
    staging_.clear();
    return WriteIndexPage();
  }

  std::string Describe(const Entry& entry) const {
    const std::string what = entry.form == Form::Plain        ? "copy of "
                             : entry.form == Form::Compressed ? "compressed "
                             : entry.form == Form::Patch      ? "patch of "
                                                              : "cabinet of ";
    std::string files;
    if (entry.file) {
      files = entry.file->path;
    } else {
      for (const ReleaseFile* member : entry.members) files += (files.empty() ? "" : ", ") + member->path;
    }
    return what + files + (entry.component ? " (application component)" : "");
  }

  // A web location must answer its base URL with a page, or the updater
  // takes it for a redirector.
  std::string WriteIndexPage() const {
    const fs::path page = o_.location / "index.html";
    std::error_code ec;
    if (fs::exists(page, ec)) return {};
    const fs::path temp = o_.location / ".index.html.publishing";
    {
      std::ofstream out(temp, std::ios::binary);
      out << "<html><body>Corvexis updates</body></html>\n";
      if (!out.flush()) return "cannot write " + page.string();
    }
    fs::rename(temp, page, ec);
    return ec ? "cannot write " + page.string() + ": " + ec.message() : std::string();
  }

  const Options& o_;
  const TProduct* product_ = nullptr;
  bool tendwell_ = false;
  ReleaseScan scan_;
  std::string exe_;
  tfvi version_{-1, -1};
  mutable std::map<std::string, std::set<std::string>> releaseNames_;  // lower-case names in each release folder
  std::set<std::string> taken_;  // lower-case names in the publication folder
  fs::path staging_;
  std::vector<Entry> entries_;
  std::vector<Entry> componentEntries_;
  std::vector<std::string> report_;
};

}  // namespace

Result Publish(const Options& options) { return Publisher(options).Run(); }

}  // namespace zephron::publish
