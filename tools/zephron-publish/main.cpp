// zephron-publish: makes a product's update location from its release folder,
// or (--check) reads a publication back as the updater would, or (--keygen)
// makes the key that signs publications.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/zephron-publish/check.h"
#include "tools/zephron-publish/publication.h"
#include "tools/zephron-publish/signing_keys.h"

namespace {

constexpr const char* kUsage =
    "usage: zephron-publish RELEASE_DIR LOCATION_DIR --product FOLDER --url BASE_URL\n"
    "                       [--previous PREVIOUS_RELEASE_DIR] [--pack plain|compress|cab] [--date]\n"
    "                       [--in-use RELEASE_PATH]... [--relative-urls]\n"
    "                       [--sign KEYFILE [--expires DAYS]]\n"
    "       zephron-publish --check LOCATION_DIR --product FOLDER\n"
    "       zephron-publish --keygen KEYFILE\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zephron-publish: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zephron::publish;
  Options options;
  std::vector<std::string> positional;
  std::string check;
  bool checking = false;
  if (argc == 3 && std::string(argv[1]) == "--keygen") {
    std::string error;
    const auto publicKey = zephron::publish::MakeKeyFile(argv[2], error);
    if (!publicKey) {
      std::fprintf(stderr, "zephron-publish: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s\n", publicKey->c_str());
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (arg == "--date") {
      options.dateBased = true;
    } else if (arg == "--relative-urls") {
      options.relativeUrls = true;
    } else if (arg == "--product" || arg == "--url" || arg == "--previous" || arg == "--pack" ||
               arg == "--in-use" || arg == "--check" || arg == "--sign" || arg == "--expires") {
      if ((v = value()) == nullptr) return Usage(arg + " needs a value");
      if (arg == "--product") options.product = v;
      if (arg == "--url") options.baseUrl = v;
      if (arg == "--previous") options.previous = v;
      if (arg == "--in-use") options.inUse.emplace_back(v);
      if (arg == "--sign") options.signKey = v;
      if (arg == "--expires") {
        char* end = nullptr;
        const long days = std::strtol(v, &end, 10);
        if (*v == '\0' || *end != '\0' || days < 1 || days > 36500) return Usage("--expires takes a number of days");
        options.expiresDays = static_cast<int>(days);
      }
      if (arg == "--check") {
        check = v;
        checking = true;
      }
      if (arg == "--pack") {
        const std::string pack = v;
        if (pack == "plain") {
          options.pack = Pack::Plain;
        } else if (pack == "compress") {
          options.pack = Pack::Compress;
        } else if (pack == "cab") {
          options.pack = Pack::Cabinet;
        } else {
          return Usage("--pack takes plain, compress or cab");
        }
      }
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (options.product.empty()) return Usage("--product is missing");
  if (options.expiresDays > 0 && options.signKey.empty()) return Usage("--expires needs --sign");

  if (checking) {
    if (!positional.empty()) return Usage("--check takes no release folder");
    const std::vector<std::string> problems = CheckPublication(check, options.product);
    for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
    if (problems.empty()) std::printf("%s/%s: every entry is sound\n", check.c_str(), options.product.c_str());
    return problems.empty() ? 0 : 1;
  }

  if (positional.size() != 2) return Usage("RELEASE_DIR and LOCATION_DIR are needed");
  options.release = positional[0];
  options.location = positional[1];
  const Result result = Publish(options);
  if (!result.ok) {
    std::fprintf(stderr, "zephron-publish: %s\n", result.error.c_str());
    return 1;
  }
  for (const std::string& line : result.report) std::printf("%s\n", line.c_str());
  return 0;
}
