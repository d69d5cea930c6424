// A throw-away user environment for tests: a fresh folder with its own
// registry hives, home, documents, application-data and temporary folders,
// the environment pointed at them while the sandbox lives; plus small file
// and process helpers.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zephron::test {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path registryDir() const { return root_ / "registry"; }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path documents() const { return root_ / "home/Documents"; }
  std::filesystem::path appData() const { return root_ / "home/.config"; }
  std::filesystem::path localAppData() const { return root_ / "home/.local/share"; }
  std::filesystem::path temp() const { return root_ / "tmp"; }

  // Sets an environment variable for the sandbox's lifetime.
  void SetEnv(const std::string& name, const std::optional<std::string>& value);

 private:
  std::filesystem::path root_;
  std::filesystem::path previousCwd_;
  std::map<std::string, std::optional<std::string>> saved_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

struct ProcessResult {
  int exitCode = -1;   // -1 when the program could not be run or died from a signal
  std::string output;  // standard output and standard error, interleaved
};

// Runs a program with arguments (no shell), optionally feeding stdin, and waits for it.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& input = {});

// Runs check as an unprivileged user when the tests run as root (as CI does),
// so that checks of read-only and unreadable files test what they say: root
// may write and read anything. The paths given (and everything below them)
// are handed to that user first, and the sandbox root is made passable.
// check returns "" when it holds, else what went wrong; so does this.
std::string AsUnprivilegedUser(const Sandbox& sandbox, const std::vector<std::filesystem::path>& owned,
                               const std::function<std::string()>& check);

// The build folder of the project (for its tools and fixtures).
std::filesystem::path BuildDir();

// The tests' child program (tests/support/child_program.cpp): it records
// its arguments in the file that ZEPHRON_TEST_CHILD_RECORD names and ends
// with the code of a first argument "exit=N".
std::filesystem::path ChildProgram();

}  // namespace zephron::test
