// The SZDD compressor as it was before its rewrite (szdd_compress_reference.cpp).
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

namespace zephron::reference {

bool SzddCompress(std::istream& in, std::ostream& out, char missingChar);
std::string SzddCompress(std::string_view data, char missingChar);
bool SzddCompressFile(const std::filesystem::path& input, const std::filesystem::path& output, char missingChar);

}  // namespace zephron::reference
