// The rules for the names stored in cabinets that both cabinet readers
// share: their text, and which of them may be written below a target.
#pragma once

#include <filesystem>
#include <string>

namespace zephron::cabinet_names {

// The attribute bit that marks a stored name as UTF-8 (_A_NAME_IS_UTF).
inline constexpr int kNameIsUtf8 = 0x80;

// A stored name as UTF-8: as it is when the attributes mark it so, else read
// in the Windows-1252 code page.
std::string StoredNameToUtf8(const char* stored, int attribs);

// A name (with "/" separators) that would land outside the target: absolute
// (also with a drive letter) or with a ".." element.
bool IsUnsafeName(const std::string& name);

// Whether candidate lies below root, for joins the name check cannot judge
// alone (a target such as "dir/." joined to "./x" spells "dir/../x").
bool IsInside(const std::filesystem::path& root, const std::filesystem::path& candidate);

}  // namespace zephron::cabinet_names
