// Making an update location from a release folder: which form each file
// travels in, the control file that describes them, and the swap that puts
// the new publication in place of the old one at once.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zephron::publish {

enum class Pack { Plain, Compress, Cabinet };

struct Options {
  std::filesystem::path release;
  std::filesystem::path location;
  std::string product;  // the product's update folder ("quillon")
  std::string baseUrl;  // what a user registers as UpdateURL
  std::filesystem::path previous;  // the previous release, for patches; empty for none
  Pack pack = Pack::Plain;
  bool dateBased = false;
  bool relativeUrls = false;        // file entries name files beside the control file
  std::vector<std::string> inUse;   // release paths the running application holds
  std::filesystem::path signKey;    // key file to sign with; empty: unsigned
  int expiresDays = 0;              // with signKey: days until the control file expires; 0: never
};

struct Result {
  bool ok = false;
  std::string error;                // why nothing was published
  std::vector<std::string> report;  // one line per published file
};

Result Publish(const Options& options);

}  // namespace zephron::publish
