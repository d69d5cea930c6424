// CRC-32 of the ISO-HDLC kind (the one of IEEE 802.3 and zlib: polynomial
// 0xEDB88320 reflected, initial value and final XOR 0xFFFFFFFF), over memory
// buffers and over files. The engine compares a file's value with the
// control file's `newchecksum` when UseCRC32 is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zephron {

// Continues a CRC-32 over more bytes. crc is the value of the bytes before
// (0 for none), as with zlib's crc32(): Crc32Update(Crc32Update(0, a), b) is
// the CRC-32 of a followed by b.
std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::byte> data);

// The CRC-32 of a file's contents as a signed 32-bit number (values from
// 0x80000000 up are negative), the form in which control files and the
// engine log carry it. A file that cannot be opened or read yields 0, like an
// empty file; a read that fails part-way ends the data there.
std::int32_t FileCRC32(const std::string& path);

namespace detail {
// Crc32Update without the processor-specific path (the sliced tables only):
// what machines without carry-less multiplication run. For tests and benchmarks.
std::uint32_t Crc32UpdatePortable(std::uint32_t crc, std::span<const std::byte> data);
}  // namespace detail

}  // namespace zephron
