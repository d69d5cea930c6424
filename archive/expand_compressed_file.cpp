#include "archive/expand_compressed_file.h"

#include "platform/file_io.h"
#include "platform/lz_expand.h"

namespace zephron {

ExpandResult ExpandCompressedFile(const std::string& path) {
  ExpandResult result;
  std::optional<std::string> expanded;
  {
    platform::LzFile source(path);
    if (source.status() == platform::LzStatus::kNotCompressed) {
      result.status = ExpandStatus::kNotCompressed;
      return result;
    }
    expanded = platform::GetExpandedName(source);
    if (!expanded || platform::LZCopy(source, *expanded) != platform::LzStatus::kOk) return result;
  }  // the compressed file is closed before it is deleted
  if (*expanded != path) platform::DeleteFile(path);
  result.status = ExpandStatus::kExpanded;
  result.expandedPath = *expanded;
  return result;
}

}  // namespace zephron
