// zephron-reg: the registry tool for administrators, tests and demos, with
// the command forms of Windows' reg.exe for the subset the updater needs:
//
//   zephron-reg add KEY [/v NAME | /ve] [/t REG_SZ] [/d DATA] [/f]
//   zephron-reg query KEY [/v NAME | /ve] [/s]
//   zephron-reg delete KEY [/v NAME | /ve | /va] [/f]
//   zephron-reg import FILE.reg
//   zephron-reg export KEY FILE.reg [/y]
//
// every form with /reg:32 or /reg:64. Like reg.exe on 64-bit Windows, which
// is itself a 64-bit program, the tool works in the 64-bit view by default;
// /reg:32 is the WOW6432Node view that the updater sees by default.
// Exit code 0 for success, 1 for failure; messages as reg.exe words them.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/reg_file.h"
#include "platform/registry.h"

namespace {

using namespace zephron::platform;

constexpr const char* kSuccess = "The operation completed successfully.";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kCanceled = "The operation was canceled by the user.";
constexpr const char* kAccessDenied = "ERROR: Access is denied.";


int Fail(const std::string& message) {
  std::cerr << message << std::endl;
  return 1;
}

int InvalidSyntax(const std::string& operation) {
  return Fail("ERROR: Invalid syntax.\nType \"REG " + AsciiUpper(operation) + " /?\" for usage.");
}

int InvalidKey(const std::string& operation) {
  return Fail("ERROR: Invalid key name.\nType \"REG " + AsciiUpper(operation) + " /?\" for usage.");
}

int Succeed() {
  std::cout << kSuccess << std::endl;
  return 0;
}

// reg.exe asks when it is not told /f; here stdin is usually not a terminal,
// so anything but "y" or "yes" (also no answer at all) counts as No.
bool Confirm(const std::string& question) {
  std::cout << question << " " << std::flush;
  std::string answer;
  const bool got = static_cast<bool>(std::getline(std::cin, answer));
  if (!::isatty(STDIN_FILENO)) std::cout << "\n";
  if (!got) return false;
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ' || answer.back() == '\t')) answer.pop_back();
  while (!answer.empty() && (answer.front() == ' ' || answer.front() == '\t')) answer.erase(answer.begin());
  answer = AsciiLower(answer);
  return answer == "y" || answer == "yes";
}

// The command line after the operation: positional words and the switches
// the operation knows. A word is a switch only when it is one of those (so
// "/tmp/x.reg" stays a file name); switches are matched without regard to
// case and may start with "/" or "-".
struct Arguments {
  std::vector<std::string> positional;
  std::optional<std::string> v, t, d, s;
  bool ve = false, va = false, f = false, y = false, recurse = false;
  std::optional<RegView> view;
};

struct SwitchSet {
  bool v = false, ve = false, va = false, t = false, d = false, sep = false, f = false, y = false, recurse = false;
};

std::optional<Arguments> ParseArguments(const std::vector<std::string>& words, const SwitchSet& known) {
  Arguments args;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    const std::string name = word.size() > 1 && (word[0] == '/' || word[0] == '-') ? AsciiLower(word.substr(1)) : std::string();
    const auto takeValue = [&](std::optional<std::string>& slot) {
      if (slot || i + 1 >= words.size()) return false;
      slot = words[++i];
      return true;
    };
    const auto setFlag = [](bool& flag) {
      if (flag) return false;
      flag = true;
      return true;
    };
    bool ok = true;
    if (name == "reg:32" || name == "reg:64") {
      if (args.view) return std::nullopt;
      args.view = name == "reg:32" ? RegView::Bits32 : RegView::Bits64;
    } else if (known.v && name == "v") {
      ok = takeValue(args.v);
    } else if (known.t && name == "t") {
      ok = takeValue(args.t);
    } else if (known.d && name == "d") {
      ok = takeValue(args.d);
    } else if (known.sep && name == "s") {
      ok = takeValue(args.s);
    } else if (known.ve && name == "ve") {
      ok = setFlag(args.ve);
    } else if (known.va && name == "va") {
      ok = setFlag(args.va);
    } else if (known.f && name == "f") {
      ok = setFlag(args.f);
    } else if (known.y && name == "y") {
      ok = setFlag(args.y);
    } else if (known.recurse && name == "s") {
      ok = setFlag(args.recurse);
    } else {
      args.positional.push_back(word);
    }
    if (!ok) return std::nullopt;
  }
  return args;
}

RegView ViewOf(const Arguments& args) { return args.view.value_or(RegView::Bits64); }

std::string FullName(Hive hive, const std::string& path) {
  return std::string(HiveName(hive)) + (path.empty() ? "" : "\\" + path);
}

std::string ShownName(const std::string& name) { return name.empty() ? "(Default)" : name; }

void PrintValue(const ValueInfo& value) {
  std::cout << "    " << ShownName(value.name) << "    " << value.type << "    " << value.display << "\n";
}

int Add(const std::vector<std::string>& words) {
  SwitchSet known;
  known.v = known.ve = known.t = known.d = known.sep = known.f = true;
  auto args = ParseArguments(words, known);
  if (!args || args->positional.size() != 1 || (args->v && args->ve)) return InvalidSyntax("add");
  const auto key = ParseKeyName(args->positional[0]);
  if (!key) return InvalidKey("add");
  if (args->t) {
    const std::string type = AsciiUpper(*args->t);
    static constexpr const char* kOtherTypes[] = {"REG_MULTI_SZ", "REG_EXPAND_SZ", "REG_DWORD", "REG_QWORD", "REG_BINARY",
                                                  "REG_NONE", "REG_DWORD_BIG_ENDIAN", "REG_DWORD_LITTLE_ENDIAN"};
    if (type != "REG_SZ") {
      for (const char* other : kOtherTypes) {
        if (type == other) {
          return Fail("ERROR: This registry tool writes REG_SZ values only; " + type + " is not supported.");
        }
      }
      return Fail("ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.");
    }
  }
  if (args->s) return InvalidSyntax("add");  // a separator is for REG_MULTI_SZ only
  const RegView view = ViewOf(*args);
  // As reg.exe: /d or /t without /v sets the default value; neither just creates the key.
  const bool setsValue = args->v || args->ve || args->d || args->t;
  const std::string name = args->v.value_or(std::string());
  auto opened = RegistryKey::Create(key->hive, key->path, view);
  if (!opened) return Fail(kAccessDenied);
  if (!setsValue) return Succeed();
  if (!args->f && opened->ValueExists(name)) {
    if (!Confirm("Value " + ShownName(name) + " exists, overwrite(Yes/No)?")) {
      std::cout << kCanceled << std::endl;
      return 0;
    }
  }
  if (!opened->WriteString(name, args->d.value_or(std::string()))) return Fail(kAccessDenied);
  return Succeed();
}

void QueryKey(Hive hive, const std::string& path, RegView view, bool recurse) {
  const auto key = RegistryKey::Open(hive, path, view);
  if (!key) return;
  std::cout << "\n" << FullName(hive, key->path()) << "\n";
  const auto values = key->Values();
  for (const auto& value : values) PrintValue(value);
  // In a recursive listing the next key's leading blank line separates the blocks.
  if (!values.empty() && !recurse) std::cout << "\n";
  const auto subkeys = key->SubKeyNames();
  for (const auto& subkey : subkeys) {
    const std::string child = key->path().empty() ? subkey : key->path() + "\\" + subkey;
    if (recurse) {
      // The child path is already redirected; the 64-bit view takes it as it is.
      QueryKey(hive, child, RegView::Bits64, true);
    } else {
      std::cout << FullName(hive, child) << "\n";
    }
  }
}

int Query(const std::vector<std::string>& words) {
  SwitchSet known;
  known.v = known.ve = known.recurse = true;
  auto args = ParseArguments(words, known);
  if (!args || args->positional.size() != 1 || (args->v && args->ve)) return InvalidSyntax("query");
  const auto name = ParseKeyName(args->positional[0]);
  if (!name) return InvalidKey("query");
  const RegView view = ViewOf(*args);
  const auto key = RegistryKey::Open(name->hive, name->path, view);
  if (!key) return Fail(kNotFound);
  if (args->v || args->ve) {
    const std::string valueName = args->v.value_or(std::string());
    std::optional<ValueInfo> found;
    for (auto& value : key->Values()) {
      if (!found && regfile::EqualNoCase(value.name, valueName)) found = value;
    }
    if (!found && args->v) return Fail(kNotFound);
    std::cout << "\n" << FullName(name->hive, key->path()) << "\n";
    if (found) {
      PrintValue(*found);
    } else {
      std::cout << "    (Default)    REG_SZ    (value not set)\n";
    }
    std::cout << "\n";
    return 0;
  }
  QueryKey(name->hive, key->path(), RegView::Bits64, args->recurse);
  return 0;
}

int Delete(const std::vector<std::string>& words) {
  SwitchSet known;
  known.v = known.ve = known.va = known.f = true;
  auto args = ParseArguments(words, known);
  if (!args || args->positional.size() != 1) return InvalidSyntax("delete");
  if ((args->v ? 1 : 0) + (args->ve ? 1 : 0) + (args->va ? 1 : 0) > 1) return InvalidSyntax("delete");
  const auto name = ParseKeyName(args->positional[0]);
  if (!name) return InvalidKey("delete");
  const RegView view = ViewOf(*args);
  const auto existing = RegistryKey::Open(name->hive, name->path, view);
  if (!existing) return Fail(kNotFound);
  const std::string full = FullName(name->hive, existing->path());

  if (!args->v && !args->ve && !args->va) {
    if (existing->path().empty()) return InvalidKey("delete");
    if (!args->f && !Confirm("Delete the registry key " + full + " (Yes/No)?")) {
      std::cout << kCanceled << std::endl;
      return 0;
    }
    if (!DeleteKey(name->hive, existing->path(), RegView::Bits64)) {
      return KeyExists(name->hive, existing->path(), RegView::Bits64) ? Fail(kAccessDenied) : Fail(kNotFound);
    }
    return Succeed();
  }

  std::vector<std::string> names;
  if (args->va) {
    names = existing->ValueNames();
  } else {
    names.push_back(args->v.value_or(std::string()));
    if (!existing->ValueExists(names.front())) return Fail(kNotFound);
  }
  const std::string question = args->va ? "Delete all values under the registry key " + full + " (Yes/No)?"
                                        : "Delete the registry value " + ShownName(names.front()) + " (Yes/No)?";
  if (!args->f && !Confirm(question)) {
    std::cout << kCanceled << std::endl;
    return 0;
  }
  auto writable = RegistryKey::Create(name->hive, existing->path(), RegView::Bits64);
  if (!writable) return Fail(kAccessDenied);
  for (const auto& value : names) {
    if (!writable->DeleteValue(value) && writable->ValueExists(value)) return Fail(kAccessDenied);
  }
  return Succeed();
}

int Import(const std::vector<std::string>& words) {
  auto args = ParseArguments(words, SwitchSet{});
  if (!args || args->positional.size() != 1) return InvalidSyntax("import");
  const std::string& file = args->positional[0];
  const auto result = ImportRegFile(file, ViewOf(*args));
  switch (result.code) {
    case ImportResult::Code::Ok:
      return Succeed();
    case ImportResult::Code::CannotOpen:
      return Fail("ERROR: Error opening the file. There may be a disk or file system error.");
    case ImportResult::Code::Malformed:
      return Fail("ERROR: " + file + " is not a valid registry file (" + result.detail + "). Nothing was imported.");
    case ImportResult::Code::InvalidKey:
      return Fail("ERROR: Invalid key name in " + file + ": " + result.detail + ". Nothing was imported.");
    case ImportResult::Code::WriteFailed:
      return Fail("ERROR: Error accessing the registry.");
  }
  return 1;
}

int Export(const std::vector<std::string>& words) {
  SwitchSet known;
  known.y = true;
  auto args = ParseArguments(words, known);
  if (!args || args->positional.size() != 2) return InvalidSyntax("export");
  const auto name = ParseKeyName(args->positional[0]);
  if (!name) return InvalidKey("export");
  const std::filesystem::path file = args->positional[1];
  const RegView view = ViewOf(*args);
  if (!KeyExists(name->hive, name->path, view)) return Fail(kNotFound);
  if (IsHiveFile(file)) return Fail("ERROR: " + file.string() + " is a registry hive file; export to another file.");
  std::error_code ec;
  if (!args->y && std::filesystem::exists(file, ec)) {
    if (!Confirm("File " + file.string() + " already exists. Overwrite (Yes/No)?")) {
      std::cout << kCanceled << std::endl;
      return 0;
    }
  }
  if (!ExportKey(name->hive, name->path, view, file)) {
    return KeyExists(name->hive, name->path, view)
               ? Fail("ERROR: Error opening the file. There may be a disk or file system error.")
               : Fail(kNotFound);
  }
  return Succeed();
}

void Usage() {
  std::cout << "\nREG Operation [Parameter List]\n\n"
               "  Operation  [ QUERY   | ADD    | DELETE  | IMPORT | EXPORT ]\n\n"
               "Return Code: (Except for REG COMPARE)\n\n"
               "  0 - Successful\n"
               "  1 - Failed\n\n"
               "For help on a specific operation type:\n\n"
               "  REG Operation /?\n\n"
               "Examples:\n\n"
               "  REG QUERY /?\n"
               "  REG ADD /?\n"
               "  REG DELETE /?\n"
               "  REG IMPORT /?\n"
               "  REG EXPORT /?\n";
}

void OperationUsage(const std::string& operation) {
  const std::string op = AsciiUpper(operation);
  std::cout << "\n";
  if (op == "ADD") {
    std::cout << "REG ADD KeyName [/v ValueName | /ve] [/t REG_SZ] [/d Data] [/f] [/reg:32 | /reg:64]\n\n"
                 "  KeyName  HKLM\\SubKey or HKCU\\SubKey (also HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER)\n"
                 "  /v       The value name to add under the key.\n"
                 "  /ve      Adds the empty value name (Default).\n"
                 "  /t       The data type; only REG_SZ is supported.\n"
                 "  /d       The data to assign to the value.\n"
                 "  /f       Forces overwriting the existing value without prompt.\n";
  } else if (op == "QUERY") {
    std::cout << "REG QUERY KeyName [/v ValueName | /ve] [/s] [/reg:32 | /reg:64]\n\n"
                 "  /v       Queries the value of this name.\n"
                 "  /ve      Queries the default value (empty value name).\n"
                 "  /s       Queries all subkeys and values recursively.\n";
  } else if (op == "DELETE") {
    std::cout << "REG DELETE KeyName [/v ValueName | /ve | /va] [/f] [/reg:32 | /reg:64]\n\n"
                 "  /v       The value name to delete; without /v, /ve or /va the whole key is deleted.\n"
                 "  /ve      Deletes the value of the empty value name (Default).\n"
                 "  /va      Deletes all values under this key.\n"
                 "  /f       Forces the deletion without prompt.\n";
  } else if (op == "IMPORT") {
    std::cout << "REG IMPORT FileName [/reg:32 | /reg:64]\n\n"
                 "  FileName  The .reg file to import.\n";
  } else {
    std::cout << "REG EXPORT KeyName FileName [/y] [/reg:32 | /reg:64]\n\n"
                 "  FileName  The file to export to, as a UTF-16 .reg file.\n"
                 "  /y        Forces overwriting the existing file without prompt.\n";
  }
  std::cout << "\n  /reg:32  Accesses the registry key using the 32-bit view (WOW6432Node).\n"
               "  /reg:64  Accesses the registry key using the 64-bit view (the default).\n";
}

bool IsHelp(const std::string& word) { return word == "/?" || word == "-?" || AsciiLower(word) == "/h" || AsciiLower(word) == "-h"; }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty()) return Fail("ERROR: Invalid syntax.\nType \"REG /?\" for usage.");
  if (words.size() == 1 && IsHelp(words[0])) {
    Usage();
    return 0;
  }
  const std::string operation = AsciiLower(words[0]);
  words.erase(words.begin());
  const bool known =
      operation == "add" || operation == "query" || operation == "delete" || operation == "import" || operation == "export";
  if (!known) return Fail("ERROR: Invalid syntax.\nType \"REG /?\" for usage.");
  if (words.size() == 1 && IsHelp(words[0])) {
    OperationUsage(operation);
    return 0;
  }
  if (operation == "add") return Add(words);
  if (operation == "query") return Query(words);
  if (operation == "delete") return Delete(words);
  if (operation == "import") return Import(words);
  return Export(words);
}
