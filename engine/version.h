// Versions of files for the version check: reading a file's version from its
// version resource, the dotted text form, and the parsing of the versions that
// control files announce ("1.2", "2,0,1,5", "3").
#pragma once

#include <string>

#include "engine/zephron.h"

namespace zephron {

// The file version of the fixed file info (dwFileVersionMS/LS) of the file's
// version resource; (-1, -1) when the file has none or its signature is not
// 0xFEEF04BD.
tfvi GetFileVersion(const std::string& FileName);

// major.minor.release.build, each 16-bit half read as unsigned; (-1, -1)
// gives "65535.65535.65535.65535".
std::string VersionToStr(const tfvi& version);

// A control-file version. The separator is "," when the text holds one, else
// "."; without either the whole text is the major number. Pieces are decimal
// integers (optional leading blanks and sign, 32-bit range). Two pieces give
// versionls 0, three release << 16, four release << 16 | build; text after a
// fourth separator stays in the build piece, which then does not parse. A
// build (or release) piece that does not parse leaves versionls at -1; a major
// or minor piece that does not parse leaves the rest uncut, read as one number
// for the next field. (-1, -1) for text that gives nothing.
tfvi ParseVersion(const std::string& text);

}  // namespace zephron
