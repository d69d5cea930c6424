// Compression into the platform's single-file LZ format ("SZDD", mode 'A'):
// the build uses it to store the setup program the way the updater carries it,
// and anything that can expand the platform's compressed files reads the result.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

namespace zephron {

// Compresses everything readable from in to out: the 14-byte header (the
// missing last character of the name and the expanded size), then LZSS data
// over a 4096-byte window. out must be seekable: the size is written into the
// header once the input is known. False when reading or writing failed or the
// input exceeds the format's 4 GiB - 1 limit.
bool SzddCompress(std::istream& in, std::ostream& out, char missingChar);

// The same for a block of memory.
std::string SzddCompress(std::string_view data, char missingChar);

// The same from one file to another; output is written to a sibling scratch
// file first and moved into place only when complete.
bool SzddCompressFile(const std::filesystem::path& input, const std::filesystem::path& output, char missingChar);

}  // namespace zephron
