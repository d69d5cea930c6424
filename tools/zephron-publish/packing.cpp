#include "tools/zephron-publish/packing.h"

#include <libgcab.h>

#include <memory>

#include "archive/szdd_compress.h"
#include "platform/lz_expand.h"
#include "tools/patcher/patch.h"

namespace zephron::publish {

namespace fs = std::filesystem;

namespace {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

std::string Consume(GError* error) {
  std::string text = error != nullptr ? error->message : "unknown error";
  if (error != nullptr) g_error_free(error);
  return text;
}

}  // namespace

std::optional<std::string> CompressedName(const std::string& name) {
  if (name.empty() || name.back() == '_') return std::nullopt;
  const std::string compressed = name.substr(0, name.size() - 1) + "_";
  const auto expanded = platform::ExpandedName(compressed, name.back());
  if (!expanded || *expanded != name) return std::nullopt;
  return compressed;
}

bool WriteCompressed(const fs::path& input, const fs::path& output) {
  const std::string name = input.filename().string();
  return !name.empty() && SzddCompressFile(input, output, name.back());
}

std::string WriteCabinet(const std::vector<CabinetMember>& members, const fs::path& output) {
  GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
  GCabFolder* folder = gcab_folder_new(GCAB_COMPRESSION_MSZIP);
  GError* error = nullptr;
  // The cabinet holds its folder from here on.
  if (!gcab_cabinet_add_folder(cabinet.get(), folder, &error)) {
    g_object_unref(folder);
    return Consume(error);
  }
  g_object_unref(folder);
  for (const auto& [path, stored] : members) {
    GPtr<GFile> source(g_file_new_for_path(path.c_str()));
    GPtr<GCabFile> file(gcab_file_new_with_file(stored.c_str(), source.get()));
    if (!gcab_folder_add_file(folder, file.get(), FALSE, nullptr, &error)) return Consume(error);
  }
  GPtr<GFile> target(g_file_new_for_path(output.c_str()));
  GPtr<GFileOutputStream> stream(
      g_file_replace(target.get(), nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error));
  if (!stream) return Consume(error);
  if (!gcab_cabinet_write_simple(cabinet.get(), G_OUTPUT_STREAM(stream.get()), nullptr, nullptr, nullptr, &error) ||
      !g_output_stream_close(G_OUTPUT_STREAM(stream.get()), nullptr, &error)) {
    return Consume(error);
  }
  return {};
}

std::string WritePatch(const fs::path& oldFile, const fs::path& newFile, const fs::path& output) {
  const patcher::Outcome outcome = patcher::MakePatch(oldFile.string(), newFile.string(), output.string());
  return outcome.ok ? std::string() : outcome.error;
}

}  // namespace zephron::publish
