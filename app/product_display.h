// How one product of the catalogue is shown: its label text and the two
// colours of its gradient panel, derived from the installation lookup and the
// driver's check results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/catalogue.h"

namespace zephron {

// Colours as the framework numbers them: red in the low byte, blue in the high byte.
using TColor = std::uint32_t;
inline constexpr TColor clSilver = 12632256;
inline constexpr TColor clGray = 8421504;
inline constexpr TColor clWhite = 16777215;
inline constexpr TColor clAqua = 16776960;
inline constexpr TColor clLime = 65280;
inline constexpr TColor clYellow = 65535;
inline constexpr TColor clOrange = 33023;

// A list of name=value entries, names compared without regard to case, as
// the driver's list of new versions.
class TNameValueList {
 public:
  void Add(std::string name, std::string value) { entries_.emplace_back(std::move(name), std::move(value)); }
  std::optional<std::string> Value(const std::string& name) const;
  void Remove(const std::string& name);
  void Clear() { entries_.clear(); }
  bool Empty() const { return entries_.empty(); }
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

struct TProductDisplay {
  std::string label;
  TColor firstColor = clWhite;
  TColor secondColor = clAqua;
};

// Reads the installation folder and the executable's version each time.
TProductDisplay DescribeProduct(const TProduct& product, bool checked, const TNameValueList& newVersions,
                                const std::string& updatingKey);

}  // namespace zephron
