#include "tools/patcher/patch.h"

#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include "archive/crc32.h"
#include "platform/file_io.h"
#include "tools/patcher/files.h"
#include "tools/patcher/patch_format.h"

namespace zephron::patcher {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct CCtxFree {
  void operator()(ZSTD_CCtx* cctx) const { ZSTD_freeCCtx(cctx); }
};
struct DCtxFree {
  void operator()(ZSTD_DCtx* dctx) const { ZSTD_freeDCtx(dctx); }
};

// High enough for long-distance matches to be found; the levels above it
// cost much time for little gain on binaries.
constexpr int kCompressionLevel = 19;

std::uint32_t Crc(std::string_view bytes) {
  return Crc32Update(0, std::as_bytes(std::span(bytes.data(), bytes.size())));
}

std::string Hex(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string Describe(std::uint64_t size, std::uint32_t crc) {
  return std::to_string(size) + " bytes, CRC-32 " + Hex(crc);
}

Outcome Failed(std::string error) {
  Outcome outcome;
  outcome.error = std::move(error);
  return outcome;
}

}  // namespace

Outcome MakePatch(const std::string& oldPath, const std::string& newPath, const std::string& patchPath) {
  const ReadResult base = ReadWholeFile(oldPath, kMaxFileSize);
  if (!base.ok) return Failed(base.error);
  const ReadResult result = ReadWholeFile(newPath, kMaxFileSize);
  if (!result.ok) return Failed(result.error);

  std::unique_ptr<ZSTD_CCtx, CCtxFree> cctx(ZSTD_createCCtx());
  if (!cctx) return Failed("out of memory");
  const int windowLog = WindowLogFor(base.bytes.size(), result.bytes.size());
  for (const auto& [param, value] : {std::pair{ZSTD_c_compressionLevel, kCompressionLevel},
                                    std::pair{ZSTD_c_enableLongDistanceMatching, 1},
                                    std::pair{ZSTD_c_windowLog, windowLog}}) {
    const std::size_t code = ZSTD_CCtx_setParameter(cctx.get(), param, value);
    if (ZSTD_isError(code)) return Failed(std::string("cannot set up compression: ") + ZSTD_getErrorName(code));
  }
  const std::size_t prefixed = ZSTD_CCtx_refPrefix(cctx.get(), base.bytes.data(), base.bytes.size());
  if (ZSTD_isError(prefixed)) return Failed(std::string("cannot use ") + oldPath + ": " + ZSTD_getErrorName(prefixed));
  std::string frame(ZSTD_compressBound(result.bytes.size()), '\0');
  const std::size_t size =
      ZSTD_compress2(cctx.get(), frame.data(), frame.size(), result.bytes.data(), result.bytes.size());
  if (ZSTD_isError(size)) return Failed(std::string("cannot compress ") + newPath + ": " + ZSTD_getErrorName(size));
  frame.resize(size);

  PatchHeader header;
  header.baseCrc = Crc(base.bytes);
  header.baseSize = base.bytes.size();
  header.resultCrc = Crc(result.bytes);
  header.resultSize = result.bytes.size();
  const auto head = EncodePatchHeader(header);
  ReplacementFile out(patchPath);
  if (!out.IsOpen() || !out.Write(std::string_view(head.data(), head.size())) || !out.Write(frame) || !out.Commit()) {
    return Failed("cannot write " + patchPath);
  }
  Outcome outcome;
  outcome.ok = true;
  outcome.notes.push_back("Made " + patchPath + " (" + std::to_string(head.size() + frame.size()) + " bytes)");
  outcome.notes.push_back("Base " + oldPath + ": " + Describe(header.baseSize, header.baseCrc));
  outcome.notes.push_back("Result " + newPath + ": " + Describe(header.resultSize, header.resultCrc));
  return outcome;
}

Outcome ApplyPatch(const std::string& patchPath, const std::string& target) {
  // A link stays a link: the file it leads to is the one patched.
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(target, ec);
  const std::string file = ec ? target : resolved.string();
  std::unique_ptr<std::FILE, FileCloser> patch(platform::OpenRegularFileForReading(patchPath));
  if (!patch) return Failed("cannot read patch " + patchPath);
  std::string head(kPatchHeaderSize, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), patch.get()));
  const std::optional<PatchHeader> header = DecodePatchHeader(head);
  if (!header) {
    const std::size_t known = std::min(head.size(), kPatchMagic.size());
    const bool ours = std::string_view(head).substr(0, known) == kPatchMagic.substr(0, known);
    return Failed(patchPath + (ours ? " is truncated" : " is not a patch of ours"));
  }
  if (header->baseSize > kMaxFileSize || header->resultSize > kMaxFileSize) {
    return Failed(patchPath + " is for files over " + std::to_string(kMaxFileSize >> 30) + " GiB, which are refused");
  }
  const ReadResult base = ReadWholeFile(file, kMaxFileSize);
  if (!base.ok) return Failed(base.error);
  const std::uint32_t baseCrc = Crc(base.bytes);
  if (base.bytes.size() != header->baseSize || baseCrc != header->baseCrc) {
    return Failed(patchPath + " is for another file (" + Describe(header->baseSize, header->baseCrc) + "), not " +
                  target + " (" + Describe(base.bytes.size(), baseCrc) + ")");
  }

  std::unique_ptr<ZSTD_DCtx, DCtxFree> dctx(ZSTD_createDCtx());
  if (!dctx) return Failed("out of memory");
  // The window is bounded by what these two sizes need: a frame that asks
  // for more is refused before the decoder allocates for it.
  const int windowLog = WindowLogFor(base.bytes.size(), header->resultSize);
  if (ZSTD_isError(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, windowLog)) ||
      ZSTD_isError(ZSTD_DCtx_refPrefix(dctx.get(), base.bytes.data(), base.bytes.size()))) {
    return Failed("cannot set up decompression");
  }

  ReplacementFile out(file);
  if (!out.IsOpen()) return Failed("cannot create a file beside " + target);
  std::string in(ZSTD_DStreamInSize(), '\0');
  std::string decoded(ZSTD_DStreamOutSize(), '\0');
  std::uint64_t written = 0;
  std::uint32_t crc = 0;
  bool frameEnded = false;
  for (;;) {
    const std::size_t got = std::fread(in.data(), 1, in.size(), patch.get());
    if (got == 0) break;
    if (frameEnded) return Failed(patchPath + " is damaged: data after its end");
    ZSTD_inBuffer input{in.data(), got, 0};
    bool outputFull = false;
    // Until the input is used up and the decoder holds nothing more back.
    while (input.pos < input.size || (outputFull && !frameEnded)) {
      if (frameEnded) return Failed(patchPath + " is damaged: data after its end");
      ZSTD_outBuffer output{decoded.data(), decoded.size(), 0};
      const std::size_t code = ZSTD_decompressStream(dctx.get(), &output, &input);
      if (ZSTD_isError(code)) return Failed(patchPath + " is damaged: " + ZSTD_getErrorName(code));
      const std::string_view piece(decoded.data(), output.pos);
      written += piece.size();
      if (written > header->resultSize) return Failed(patchPath + " is damaged: its result is longer than announced");
      crc = Crc32Update(crc, std::as_bytes(std::span(piece.data(), piece.size())));
      if (!out.Write(piece)) return Failed("cannot write beside " + target);
      frameEnded = code == 0;
      outputFull = output.pos == output.size;
    }
  }
  if (std::ferror(patch.get())) return Failed("cannot read patch " + patchPath);
  if (!frameEnded) return Failed(patchPath + " is truncated");
  if (written != header->resultSize || crc != header->resultCrc) {
    return Failed(patchPath + " is damaged: its result (" + Describe(written, crc) + ") is not the one announced (" +
                  Describe(header->resultSize, header->resultCrc) + ")");
  }
  if (!out.Commit()) return Failed("cannot put the result in place of " + target);

  Outcome outcome;
  outcome.ok = true;
  outcome.notes.push_back("Patched " + target + " with " + patchPath);
  outcome.notes.push_back("Base: " + Describe(base.bytes.size(), baseCrc));
  outcome.notes.push_back("Result: " + Describe(written, crc));
  return outcome;
}

}  // namespace zephron::patcher
