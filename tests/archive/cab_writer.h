// A writer of plain (uncompressed) cabinets for fixtures no packaging tool
// will make: hostile stored names and cabinet sets whose folder spans parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephron::test {

inline constexpr std::uint16_t kDosDate = ((2021 - 1980) << 9) | (3 << 5) | 4;  // 2021-03-04
inline constexpr std::uint16_t kDosTime = (5 << 11) | (6 << 5) | (8 / 2);        // 05:06:08

struct CabEntry {
  std::string name;  // as stored, "\" separating subfolders
  std::uint32_t size = 0;
  std::uint32_t offset = 0;      // in the folder's uncompressed data
  std::uint16_t folder = 0;      // 0, or 0xFFFD/0xFFFE/0xFFFF for spanning entries
  std::uint16_t date = kDosDate;
  std::uint16_t time = kDosTime;
  std::uint16_t attribs = 0x20;
};

struct CabBlock {
  std::string data;
  std::uint16_t uncompressed = 0;  // 0 marks a block that continues in the next cabinet
};

struct CabPart {
  std::vector<CabEntry> entries;
  std::vector<CabBlock> blocks;  // this part's data blocks of its single stored folder
  std::string prevName, nextName;   // neighbours in a set, empty when none
  std::uint16_t setId = 0x1234;
  std::uint16_t index = 0;
};

std::string WriteCabinet(const CabPart& part);

struct CabFile {
  std::string name;
  std::string data;
  std::uint16_t attribs = 0x20;
};

// One cabinet, one stored folder holding the files in order.
std::string MakeStoredCabinet(const std::vector<CabFile>& files);

// Blocks of at most 32 KiB, as the format requires.
std::vector<CabBlock> SplitBlocks(const std::string& data);

}  // namespace zephron::test
