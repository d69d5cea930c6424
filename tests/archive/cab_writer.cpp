#include "tests/archive/cab_writer.h"

namespace zephron::test {
namespace {

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutString(std::string& out, const std::string& s) {
  out += s;
  out += '\0';
}

}  // namespace

std::vector<CabBlock> SplitBlocks(const std::string& data) {
  std::vector<CabBlock> blocks;
  for (std::size_t at = 0; at < data.size(); at += 32768) {
    const std::string block = data.substr(at, 32768);
    blocks.push_back({block, static_cast<std::uint16_t>(block.size())});
  }
  return blocks;
}

std::string WriteCabinet(const CabPart& part) {
  std::string names;
  std::uint16_t flags = 0;
  if (!part.prevName.empty()) {
    flags |= 1;
    PutString(names, part.prevName);
    PutString(names, "disk");
  }
  if (!part.nextName.empty()) {
    flags |= 2;
    PutString(names, part.nextName);
    PutString(names, "disk");
  }
  std::string files;
  for (const auto& e : part.entries) {
    Put32(files, e.size);
    Put32(files, e.offset);
    Put16(files, e.folder);
    Put16(files, e.date);
    Put16(files, e.time);
    Put16(files, e.attribs);
    PutString(files, e.name);
  }
  std::string data;
  for (const auto& block : part.blocks) {
    Put32(data, 0);  // no checksum
    Put16(data, static_cast<std::uint32_t>(block.data.size()));
    Put16(data, block.uncompressed);
    data += block.data;
  }
  const std::uint32_t headerSize = 36 + static_cast<std::uint32_t>(names.size());
  const std::uint32_t filesOffset = headerSize + 8;
  const std::uint32_t dataOffset = filesOffset + static_cast<std::uint32_t>(files.size());
  const std::uint32_t total = dataOffset + static_cast<std::uint32_t>(data.size());

  std::string cab = "MSCF";
  Put32(cab, 0);
  Put32(cab, total);
  Put32(cab, 0);
  Put32(cab, filesOffset);
  Put32(cab, 0);
  cab += '\x03';
  cab += '\x01';
  Put16(cab, 1);  // folders
  Put16(cab, static_cast<std::uint32_t>(part.entries.size()));
  Put16(cab, flags);
  Put16(cab, part.setId);
  Put16(cab, part.index);
  cab += names;
  Put32(cab, dataOffset);
  Put16(cab, static_cast<std::uint32_t>(part.blocks.size()));
  Put16(cab, 0);  // stored
  cab += files;
  cab += data;
  return cab;
}

std::string MakeStoredCabinet(const std::vector<CabFile>& files) {
  CabPart part;
  std::string data;
  for (const auto& f : files) {
    CabEntry e;
    e.name = f.name;
    e.size = static_cast<std::uint32_t>(f.data.size());
    e.offset = static_cast<std::uint32_t>(data.size());
    e.attribs = f.attribs;
    part.entries.push_back(e);
    data += f.data;
  }
  part.blocks = SplitBlocks(data);
  return WriteCabinet(part);
}

}  // namespace zephron::test
