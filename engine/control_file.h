// The update control file (".INF"): one reader per section, each returning
// the section's keys with their defaults, and the file entries as
// TFileDescription. The engine reads the downloaded file several times per
// operation through one loaded platform::ProfileFile.
//
// Values marked as taking prefixes are passed through an expander (the
// engine's ExpandPrefixes, which fires OnConvertPrefix) in the order the keys
// are listed in each reader. Separators: a "\" that the control file writes
// is a separator, so the values that name local files or folders
// (localversion, targetdir, appname, htmldlg, runbefore, runafter) come back
// with "/" ({APP}\x.exe -> "/opt/prog/./x.exe"). Locations that may be URLs
// (url, showURL, updateURL) and the component list appcomps are returned as
// written after expansion; code that opens such a location as a path converts
// it (platform::ToSlashes) at that point.
//
// An expander may throw EngineError ({LAD} without a local application-data
// folder); the readers let it pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/zephron.h"
#include "platform/profile.h"

namespace zephron {

using PrefixExpander = std::function<std::string(const std::string&)>;

// An expander that calls engine.ExpandPrefixes.
PrefixExpander EngineExpander(TZephron& engine);

// Prefix folder normalisation: a separator is added when missing and then "."
// is appended, so an expansion never ends in a separator and the file name
// the control file writes after it with its own "\" lands in that folder. An
// empty folder (an unknown name) becomes ".". (Drive paths, which drop the
// separator again on Windows, do not occur here.)
std::string NormalisePrefixFolder(std::string_view folder);

// Each two-character sequence "\n" becomes a line break ("\n").
std::string ExpandLineBreaks(std::string_view text);

// Section `update`, as the version check reads it.
struct TUpdateSection {
  std::string signature;
  std::string descr;
  std::string date;
  std::string time;
  std::string localversion;  // prefixes, local path
  std::string unconditional;
  std::string newversion;
  std::int32_t newsize = 0;
  std::int32_t newchecksum = -1;
};

// Section `application`. The rule that an empty appparam becomes " " after
// OnSetAppParams belongs to GetControlFile, which fires that event.
struct TApplicationSection {
  bool appupdate = false;
  std::string appname;   // prefixes, local path
  std::string appparam;
  std::string appcomps;  // prefixes, as written
  bool silentrestart = false;
};

// Section `action`, in the order the engine uses the keys.
struct TActionSection {
  std::string msg;        // line breaks
  std::string htmldlg;    // prefixes, local path
  std::string runbefore;  // prefixes, local path
  std::string runbeforeparam;
  std::string showURL;    // prefixes, as written
  std::string query;      // line breaks
  std::string updateURL;
  std::string runafter;   // prefixes, local path
  std::string runafterparam;
};

// Section `custom`.
struct TCustomSection {
  std::string validatemsg;
  std::string validateparam;
  std::string processmsg;
  std::string processparam;
};

// `file` of section "whatsnew" + LanguageID; the dialog texts of section "whatsnew".
struct TWhatsNewSection {
  std::string file;
  std::string sha256;
  std::string caption;
  std::string okbtn = "Ok";
  std::string cancelbtn = "Cancel";
};

// `file` of section "eula" + LanguageID; the dialog texts of section "eula".
struct TEulaSection {
  std::string file;
  std::string sha256;
  std::string caption;
  std::string okbtn = "Ok";
  std::string accept = "I accept";
  std::string notaccept = "I do not accept";
};

// The longest value a control file gives, in characters: what the
// platform's profile reader returns at most (a 2,048-character buffer with its
// terminator). Longer values are cut, before any prefix is expanded.
inline constexpr std::size_t kMaxValueLength = 2047;

// A value of the control file, cut to kMaxValueLength characters (never
// inside a UTF-8 sequence).
std::string ReadValue(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                      std::string_view def);

// More file entries than this are not read: a `count` of two thousand
// million would otherwise exhaust memory with empty entries.
inline constexpr std::int32_t kMaxFileEntries = 65535;

// A value that takes prefixes, as written after expansion.
std::string ReadPrefixed(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                         const PrefixExpander& expand);
// A value that takes prefixes and names a local file or folder: expanded, then with "/" separators.
std::string ReadLocalPath(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                          const PrefixExpander& expand);

TUpdateSection ReadUpdateSection(const platform::ProfileFile& file, const PrefixExpander& expand);
TApplicationSection ReadApplicationSection(const platform::ProfileFile& file, const PrefixExpander& expand);
TActionSection ReadActionSection(const platform::ProfileFile& file, const PrefixExpander& expand);
TCustomSection ReadCustomSection(const platform::ProfileFile& file);
TWhatsNewSection ReadWhatsNewSection(const platform::ProfileFile& file, std::string_view languageID);
TEulaSection ReadEulaSection(const platform::ProfileFile& file, std::string_view languageID);

// `count` of section `files`, limited to 0..kMaxFileEntries.
std::int32_t ReadFileCount(const platform::ProfileFile& file);
// Section "file" + index (from 1); a missing section gives an entry of defaults.
// url, localversion and targetdir are expanded in that order; targetdir gets
// a trailing "/" unless it is empty (an empty folder must not become the root).
TFileDescription ReadFileEntry(const platform::ProfileFile& file, std::int32_t index, const PrefixExpander& expand);
// The entries file1..fileN, N = ReadFileCount.
std::vector<TFileDescription> ReadFileEntries(const platform::ProfileFile& file, const PrefixExpander& expand);

}  // namespace zephron
