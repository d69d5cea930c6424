// Reading the sections of the update control file.
#include "engine/control_file.h"

#include <algorithm>

#include "platform/paths.h"

namespace zephron {

PrefixExpander EngineExpander(TZephron& engine) {
  return [&engine](const std::string& text) { return engine.ExpandPrefixes(text); };
}

std::string NormalisePrefixFolder(std::string_view folder) {
  return platform::IncludeTrailingPathDelimiter(folder) + ".";
}

std::string ExpandLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      result += '\n';
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string ReadValue(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                      std::string_view def) {
  std::string value = file.ReadString(section, key, def);
  std::size_t characters = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    // Continuation bytes belong to the character before them.
    if ((static_cast<unsigned char>(value[i]) & 0xC0) == 0x80) continue;
    if (characters++ == kMaxValueLength) {
      value.resize(i);
      break;
    }
  }
  return value;
}

std::string ReadPrefixed(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                         const PrefixExpander& expand) {
  std::string value = ReadValue(file, section, key, "");
  return expand ? expand(value) : value;
}

std::string ReadLocalPath(const platform::ProfileFile& file, std::string_view section, std::string_view key,
                          const PrefixExpander& expand) {
  return platform::ToSlashes(ReadPrefixed(file, section, key, expand));
}

TUpdateSection ReadUpdateSection(const platform::ProfileFile& file, const PrefixExpander& expand) {
  constexpr std::string_view s = "update";
  TUpdateSection u;
  u.signature = ReadValue(file, s, "signature", "");
  u.descr = ReadValue(file, s, "descr", "");
  u.date = ReadValue(file, s, "date", "");
  u.time = ReadValue(file, s, "time", "");
  u.localversion = ReadLocalPath(file, s, "localversion", expand);
  u.unconditional = ReadValue(file, s, "unconditional", "");
  u.newversion = ReadValue(file, s, "newversion", "");
  u.newsize = file.ReadInteger(s, "newsize", 0);
  u.newchecksum = file.ReadInteger(s, "newchecksum", -1);
  return u;
}

TApplicationSection ReadApplicationSection(const platform::ProfileFile& file, const PrefixExpander& expand) {
  constexpr std::string_view s = "application";
  TApplicationSection a;
  a.appupdate = file.ReadBool(s, "appupdate", false);
  a.appname = ReadLocalPath(file, s, "appname", expand);
  a.appparam = ReadValue(file, s, "appparam", "");
  a.appcomps = ReadPrefixed(file, s, "appcomps", expand);
  a.silentrestart = file.ReadBool(s, "silentrestart", false);
  return a;
}

TActionSection ReadActionSection(const platform::ProfileFile& file, const PrefixExpander& expand) {
  constexpr std::string_view s = "action";
  TActionSection a;
  a.msg = ExpandLineBreaks(ReadValue(file, s, "msg", ""));
  a.htmldlg = ReadLocalPath(file, s, "htmldlg", expand);
  a.runbefore = ReadLocalPath(file, s, "runbefore", expand);
  a.runbeforeparam = ReadValue(file, s, "runbeforeparam", "");
  a.showURL = ReadPrefixed(file, s, "showURL", expand);
  a.query = ExpandLineBreaks(ReadValue(file, s, "query", ""));
  a.updateURL = ReadValue(file, s, "updateURL", "");
  a.runafter = ReadLocalPath(file, s, "runafter", expand);
  a.runafterparam = ReadValue(file, s, "runafterparam", "");
  return a;
}

TCustomSection ReadCustomSection(const platform::ProfileFile& file) {
  constexpr std::string_view s = "custom";
  return {ReadValue(file, s, "validatemsg", ""), ReadValue(file, s, "validateparam", ""),
          ReadValue(file, s, "processmsg", ""), ReadValue(file, s, "processparam", "")};
}

TWhatsNewSection ReadWhatsNewSection(const platform::ProfileFile& file, std::string_view languageID) {
  TWhatsNewSection w;
  w.file = ReadValue(file, "whatsnew" + std::string(languageID), "file", "");
  w.sha256 = ReadValue(file, "whatsnew" + std::string(languageID), "sha256", "");
  w.caption = ReadValue(file, "whatsnew", "caption", "");
  w.okbtn = ReadValue(file, "whatsnew", "okbtn", w.okbtn);
  w.cancelbtn = ReadValue(file, "whatsnew", "cancelbtn", w.cancelbtn);
  return w;
}

TEulaSection ReadEulaSection(const platform::ProfileFile& file, std::string_view languageID) {
  TEulaSection e;
  e.file = ReadValue(file, "eula" + std::string(languageID), "file", "");
  e.sha256 = ReadValue(file, "eula" + std::string(languageID), "sha256", "");
  e.caption = ReadValue(file, "eula", "caption", "");
  e.okbtn = ReadValue(file, "eula", "okbtn", e.okbtn);
  e.accept = ReadValue(file, "eula", "accept", e.accept);
  e.notaccept = ReadValue(file, "eula", "notaccept", e.notaccept);
  return e;
}

std::int32_t ReadFileCount(const platform::ProfileFile& file) {
  return std::clamp(file.ReadInteger("files", "count", 0), 0, kMaxFileEntries);
}

TFileDescription ReadFileEntry(const platform::ProfileFile& file, std::int32_t index, const PrefixExpander& expand) {
  const std::string s = "file" + std::to_string(index);
  TFileDescription f;
  f.URL = ReadPrefixed(file, s, "url", expand);
  f.LocalVersion = ReadLocalPath(file, s, "localversion", expand);
  f.NewVersion = ReadValue(file, s, "newversion", "");
  f.NewSize = file.ReadInteger(s, "newsize", 0);
  f.NewCheckSum = file.ReadInteger(s, "newchecksum", -1);
  f.NewCustomVer = ReadValue(file, s, "customversion", "");
  f.NewDate = ReadValue(file, s, "date", "");
  f.NewTime = ReadValue(file, s, "time", "");
  f.Description = ReadValue(file, s, "descr", "");
  f.TargetDir = platform::IncludeTrailingPathDelimiter(ReadLocalPath(file, s, "targetdir", expand));
  f.Compressed = file.ReadBool(s, "compressed", false);
  f.FileSize = file.ReadInteger(s, "filesize", 0);
  f.Mandatory = file.ReadBool(s, "mandatory", false);
  f.Preselect = file.ReadBool(s, "preselect", true);
  f.Hidden = file.ReadBool(s, "hidden", false);
  f.Sha256 = ReadValue(file, s, "sha256", "");
  return f;
}

std::vector<TFileDescription> ReadFileEntries(const platform::ProfileFile& file, const PrefixExpander& expand) {
  std::vector<TFileDescription> entries;
  const std::int32_t count = ReadFileCount(file);
  entries.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 1; i <= count; ++i) entries.push_back(ReadFileEntry(file, i, expand));
  return entries;
}

}  // namespace zephron
