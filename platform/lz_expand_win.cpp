// LZ expansion through the system's own functions in lz32.dll. The header is
// read here first, so that a plain file is reported as such instead of being
// copied as if it had been expanded (which LZCopy would do).
#include <windows.h>
#include <lzexpand.h>

#include <array>
#include <cstdio>

#include "platform/file_io.h"
#include "platform/lz_expand.h"
#include "platform/lz_header.h"
#include "platform/win32_text.h"

// The unit's own names; the system's functions are called by their wide names.
#undef LZCopy
#undef GetExpandedName

namespace zephron::platform {
struct LzFile::Decoder {
  std::wstring path;
};

LzFile::LzFile(std::string path) : path_(std::move(path)) {
  auto decoder = std::make_unique<Decoder>();
  decoder->path = win32::WidePath(path_);
  HANDLE file = ::CreateFileW(decoder->path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;  // kCannotOpen
  std::array<unsigned char, kLzHeaderSize> start{};
  DWORD got = 0;
  const bool read = ::ReadFile(file, start.data(), static_cast<DWORD>(start.size()), &got, nullptr);
  ::CloseHandle(file);
  LzHeader header;
  status_ = ReadLzHeader(std::span(start).first(read ? got : 0), header);
  if (status_ != LzStatus::kOk) return;
  missingChar_ = header.missingChar;
  expandedSize_ = header.expandedSize;
  decoder_ = std::move(decoder);
}

LzFile::~LzFile() = default;
LzFile::LzFile(LzFile&&) noexcept = default;
LzFile& LzFile::operator=(LzFile&&) noexcept = default;

std::optional<std::string> GetExpandedName(const LzFile& file) {
  if (!file.IsOpen()) return std::nullopt;
  std::wstring source = win32::WidePath(file.path());
  wchar_t name[MAX_PATH + 1] = {};
  if (::GetExpandedNameW(source.data(), name) != 1) return std::nullopt;
  std::string expanded = win32::NarrowPath(name);
  const auto slash = expanded.rfind('/');
  const std::string base = slash == std::string::npos ? expanded : expanded.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") return std::nullopt;
  return expanded;
}

LzStatus LZCopy(LzFile& source, const std::string& target) {
  if (!source.IsOpen()) return source.status();
  // Into a temporary file beside target, which replaces it only when the
  // whole stream came out at the size the header states.
  const auto slash = target.rfind('/');
  const std::wstring folder = win32::WidePath(slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1));
  wchar_t scratch[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(folder.c_str(), L"ZEP", 0, scratch) == 0) return LzStatus::kCannotWrite;

  OFSTRUCT sourceInfo{}, targetInfo{};
  std::wstring sourcePath = source.decoder_->path;
  const INT in = ::LZOpenFileW(sourcePath.data(), &sourceInfo, OF_READ);
  if (in < 0) {
    ::DeleteFileW(scratch);
    return LzStatus::kCannotOpen;
  }
  const INT out = ::LZOpenFileW(scratch, &targetInfo, OF_CREATE);
  if (out < 0) {
    ::LZClose(in);
    ::DeleteFileW(scratch);
    return LzStatus::kCannotWrite;
  }
  const LONG copied = ::LZCopy(in, out);
  ::LZClose(in);
  ::LZClose(out);
  LzStatus status = LzStatus::kOk;
  if (copied == LZERROR_WRITE) {
    status = LzStatus::kCannotWrite;
  } else if (copied < 0 || static_cast<std::uint64_t>(copied) != source.expandedSize()) {
    status = LzStatus::kCorrupt;
  }
  const std::string scratchPath = win32::NarrowPath(scratch);
  if (status == LzStatus::kOk && !MoveFileReplacing(scratchPath, target)) status = LzStatus::kCannotWrite;
  if (status != LzStatus::kOk) ::DeleteFileW(scratch);
  return status;
}

}  // namespace zephron::platform
