// zephron-stamp: makes the version information block (VS_VERSIONINFO, as the
// platform's resource compiler writes it) for one of our executables, and
// shows the version information of an executable.
//
//   zephron-stamp --output BLOCK --file-version 1.0.0.1 [--product-version V]
//                 [--product-name NAME] [--company-name NAME] [--description TEXT]
//   zephron-stamp --show FILE
//
// The block is added to an ELF executable as the section ".zephron.version"
// with objcopy (see zephron_stamp_version in cmake/ZephronVersion.cmake).
// Exit codes: 0 done, 1 failure (file not written, no version information),
// 2 wrong command line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/version_info.h"
#include "platform/version_info_writer.h"

namespace {

using namespace zephron::platform;

int Usage() {
  std::cerr << "usage: zephron-stamp --output BLOCK --file-version V [--product-version V]\n"
               "                     [--product-name NAME] [--company-name NAME] [--description TEXT]\n"
               "       zephron-stamp --show FILE\n";
  return 2;
}

std::string DottedVersion(std::uint32_t ms, std::uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
         std::to_string(ls & 0xFFFF);
}

int Show(const std::string& path) {
  const auto block = GetFileVersionInfo(path);
  if (!block) {
    std::cerr << path << ": no version information\n";
    return 1;
  }
  std::cout << "Size: " << block->size() << "\n";
  if (const auto root = VerQueryValue(*block, "\\")) {
    if (const auto fixed = VerValueFixedFileInfo(*root)) {
      char signature[16];
      std::snprintf(signature, sizeof signature, "%08X", static_cast<unsigned>(fixed->dwSignature));
      std::cout << "Signature: " << signature << "\n"
                << "Fixed FileVersion: " << DottedVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS) << "\n"
                << "Fixed ProductVersion: " << DottedVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS)
                << "\n";
    }
  }
  const auto translation = VerQueryValue(*block, "\\VarFileInfo\\Translation");
  if (!translation) return 0;
  for (const auto entry : VerValueDwords(*translation)) {
    char table[16];
    std::snprintf(table, sizeof table, "%04X%04X", static_cast<unsigned>(entry & 0xFFFF),
                  static_cast<unsigned>(entry >> 16));
    std::cout << "Translation: " << table << "\n";
    for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                             "OriginalFilename", "ProductName", "ProductVersion"}) {
      const auto value = VerQueryValue(*block, std::string("\\StringFileInfo\\") + table + "\\" + name);
      if (value && value->text) std::cout << "  " << name << ": " << VerValueText(*value) << "\n";
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    static const char* known[] = {"--output",      "--file-version", "--product-version", "--product-name",
                                  "--company-name", "--description",  "--show"};
    bool ok = false;
    for (const char* k : known) ok = ok || name == k;
    if (!ok || i + 1 >= argc) return Usage();
    options[name] = argv[++i];
  }
  if (options.count("--show")) return options.size() == 1 ? Show(options["--show"]) : Usage();
  if (!options.count("--output") || !options.count("--file-version")) return Usage();

  StampedVersion version;
  version.fileVersion = options["--file-version"];
  version.productVersion = options.count("--product-version") ? options["--product-version"] : version.fileVersion;
  version.productName = options["--product-name"];
  if (options.count("--company-name")) version.companyName = options["--company-name"];
  version.fileDescription = options["--description"];
  const auto content = MakeVersionContent(version);
  if (!content) {
    std::cerr << "zephron-stamp: versions must be one to four numbers 0..65535 separated by \".\"\n";
    return 2;
  }
  const auto block = BuildVersionInfo(*content);
  if (!block) {
    std::cerr << "zephron-stamp: the texts are too long for a version information block\n";
    return 1;
  }
  const std::string& output = options["--output"];
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(block->data()), static_cast<std::streamsize>(block->size()));
  out.close();
  if (!out) {
    std::cerr << "zephron-stamp: cannot write " << output << "\n";
    return 1;
  }
  return 0;
}
