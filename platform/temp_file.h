// The download's temporary files: "ZEP" + a hexadecimal number + ".tmp" in
// the download folder (as GetTempFileNameW makes them with the prefix "ZEPH"
// and unique number 0), and the removal of the ones a killed process left.
//
// A temporary file holds an exclusive lock (flock) from its creation until it
// is closed, so that a cleaner can tell a file still being written from an
// abandoned one: it removes only files whose lock it gets at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace zephron::platform {

class TempFile {
 public:
  // A new, empty file in folder ("" or a path ending in '/'), created
  // exclusively. bufferSize 0: every Write goes straight to the file.
  static std::optional<TempFile> Create(const std::string& folder, std::size_t bufferSize);

  TempFile(TempFile&&) = default;
  TempFile& operator=(TempFile&&) = default;
  // Removes the file unless it was released.
  ~TempFile();

  const std::string& path() const { return path_; }
  bool Write(std::span<const std::byte> bytes);
  // Flushes the data to disk and closes the file (and with it the lock).
  bool Close();
  // Deletes it now; false when that fails.
  bool Delete();
  // It has been moved onto its target: nothing to clean up any more.
  void Release() { kept_ = true; }

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  TempFile(std::string path, std::FILE* file) : path_(std::move(path)), file_(file) {}
  std::string path_;
  std::unique_ptr<std::FILE, Closer> file_;
  bool kept_ = false;
};

// Removes the temporary files of ours in folder that are older than maxAge
// and held by no live process; the number removed.
int RemoveStaleTempFiles(const std::string& folder, std::chrono::seconds maxAge);

}  // namespace zephron::platform
