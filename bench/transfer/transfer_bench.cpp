// Throughput of URLGetFile against the curl program (HTTP from a local nginx,
// FTP from the local FTP server of the tests) and of the local copy against
// cp, on one file of the given size (MiB, default 1024), with the CPU time
// (user + system) per GiB of each side and the process's peak resident
// memory after a small and after the full-size transfers (it must not grow
// with the file). Each side runs three times, alternating; the best
// throughput and the lowest CPU time count. Ends with one line per figure:
//   RESULT|<operation>|<ours>|<peer>|<unit>|<goal>
//
//   build/bench/transfer/transfer_bench [MiB] [http|ftp|local ...]
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/zephron.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"
#include "ui/scripted_dialogs.h"

namespace fs = std::filesystem;
using namespace zephron;

namespace {

double Seconds(const std::function<bool()>& run, bool& ok) {
  const auto start = std::chrono::steady_clock::now();
  ok = run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds (user + system) used so far by this process, or by its waited-for children.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void WriteData(const fs::path& path, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (std::uint64_t done = 0; done < bytes; done += block.size()) {
    for (std::size_t i = 0; i < block.size(); i += 8) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      std::memcpy(block.data() + i, &state, 8);
    }
    out.write(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), bytes - done)));
  }
}

// On a virtual machine that hands the pages the guest frees back to the
// host (free page reporting), the first write to such a page costs a fault
// in the host, several times the cost of the write. Which side of a round
// gets those pages for its file's page cache is chance. Touching as much
// memory as the round will use just before it, in a child process that
// then frees it, leaves free pages the host still backs, for either side.
void WarmFreeMemory(std::uint64_t bytes) {
  const pid_t child = ::fork();
  if (child == 0) {
    void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    ::_exit(pages == MAP_FAILED ? 1 : 0);
  }
  if (child > 0) ::waitpid(child, nullptr, 0);
}

struct Figures {
  double bestA = 0, bestB = 0;  // MiB/s
  double cpuA = 0, cpuB = 0;    // lowest CPU seconds per GiB (a: this process, b: the child program)
};

// Runs a (in this process) and b (a child program) alternately `rounds`
// times: the best throughput of each and their lowest CPU time. The CPU
// figures hold also on a loaded machine, where wall-clock throughput varies.
Figures BestOfBoth(int rounds, std::uint64_t bytes, const std::function<bool()>& a,
                                     const std::function<bool()>& b, const std::function<void()>& cleanup) {
  Figures f;
  const double gib = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
  for (int i = 0; i < rounds; ++i) {
    for (int which = 0; which < 2; ++which) {
      cleanup();
      WarmFreeMemory(bytes + bytes / 4);
      bool ok = false;
      const int who = which == 0 ? RUSAGE_SELF : RUSAGE_CHILDREN;
      const double cpuBefore = CpuSeconds(who);
      const double s = Seconds(which == 0 ? a : b, ok);
      const double cpu = (CpuSeconds(who) - cpuBefore) / gib;
      double& lowest = which == 0 ? f.cpuA : f.cpuB;
      if (i == 0 || cpu < lowest) lowest = cpu;
      if (!ok) {
        std::fprintf(stderr, "transfer failed\n");
        std::exit(1);
      }
      double& best = which == 0 ? f.bestA : f.bestB;
      best = std::max(best, static_cast<double>(bytes) / (1024.0 * 1024.0) / s);
    }
  }
  cleanup();
  return f;
}

// The machine-readable lines, printed together at the end.
std::vector<std::string> results;

void Result(const std::string& operation, double ours, double peer, const char* unit, const char* goal) {
  char line[512];
  std::snprintf(line, sizeof line, "RESULT|%s|%.2f|%.2f|%s|%s", operation.c_str(), ours, peer, unit, goal);
  results.emplace_back(line);
}

// The file served under another name too (a hard link, else a copy).
void Publish(const fs::path& file, const fs::path& as) {
  std::error_code ec;
  fs::create_hard_link(file, as, ec);
  if (ec) fs::copy_file(file, as, fs::copy_options::overwrite_existing);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t mib = 1024;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0]))) {
      mib = std::strtoull(arg.c_str(), nullptr, 10);
    } else {
      only.push_back(arg);
    }
  }
  const auto wanted = [&](const char* kind) { return only.empty() || std::find(only.begin(), only.end(), kind) != only.end(); };
  const std::uint64_t bytes = mib << 20;
  const std::string size = mib % 1024 == 0 ? std::to_string(mib / 1024) + " GiB" : std::to_string(mib) + " MiB";
  test::Sandbox sandbox;
  const fs::path target = sandbox.root() / "target";
  fs::create_directories(target);
  const fs::path data = sandbox.root() / "big.bin";
  WriteData(data, bytes);
  const fs::path small = sandbox.root() / "small.bin";
  WriteData(small, 16 << 20);
  const auto emptyTarget = [&] {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(target, ec)) fs::remove(entry.path(), ec);
  };
  const auto clean = [&] {
    emptyTarget();
    // Every round starts with nothing left to write back: a side's round
    // would otherwise share the disk with the writeback of the file the
    // other side left in memory.
    ::sync();
  };
  // For the rounds that replace a file: ours finds an old big.bin to replace,
  // which it flushes its file for before the rename.
  const auto cleanLeavingOld = [&] {
    emptyTarget();
    test::WriteFile(target / "big.bin", "old");
    ::sync();
  };
  ui::ScriptedDialogs dialogs;
  constexpr int kRounds = 3;
  long rssSmall = 0;
  std::string rssText;

  if (wanted("http")) {
    test::NginxServer nginx;
    Publish(data, nginx.DocRoot() / "big.bin");
    Publish(small, nginx.DocRoot() / "small.bin");
    TZephron engine;
    engine.SetDialogs(&dialogs);
    engine.URL = nginx.Url("/");
    engine.UpdateUpdate = zpuSilent;
    engine.StartConnection();
    const auto ours = [&](const std::string& name) {
      return [&, name] { return engine.URLGetFile(engine.HintConnect(), nginx.Url("/" + name), false, target.string() + "/"); };
    };
    BestOfBoth(1, 16 << 20, ours("small.bin"), ours("small.bin"), clean);
    rssSmall = PeakRssKiB();
    const std::string curlOut = (target / "curl.bin").string();
    const Figures web = BestOfBoth(kRounds, bytes, ours("big.bin"), [&] {
      return test::RunProgram({"/usr/bin/curl", "-s", "-f", "-o", curlOut, nginx.Url("/big.bin")}).exitCode == 0;
    }, clean);
    // Replacing a file, ours puts the new one on disk before it takes the
    // old one's name, so that a crash never leaves it empty or partial; curl
    // leaves its output in the page cache. The same work for curl is its
    // download plus a sync of the file.
    const Figures durable = BestOfBoth(kRounds, bytes, ours("big.bin"), [&] {
      return test::RunProgram({"/bin/sh", "-c", "/usr/bin/curl -s -f -o \"$1\" \"$2\" && sync \"$1\"", "sh", curlOut,
                               nginx.Url("/big.bin")}).exitCode == 0;
    }, cleanLeavingOld);
    engine.StopConnection();
    std::printf("HTTP  URLGetFile          : %8.1f MiB/s  %5.2f CPU s/GiB\n", web.bestA, web.cpuA);
    std::printf("HTTP  curl                : %8.1f MiB/s  %5.2f CPU s/GiB\n", web.bestB, web.cpuB);
    std::printf("HTTP  URLGetFile replacing: %8.1f MiB/s  %5.2f CPU s/GiB\n", durable.bestA, durable.cpuA);
    std::printf("HTTP  curl + sync         : %8.1f MiB/s  %5.2f CPU s/GiB\n", durable.bestB, durable.cpuB);
    rssText += " HTTP " + std::to_string(PeakRssKiB()) + " KiB";
    Result("HTTP download " + size + " (MiB/s)", web.bestA, web.bestB, "MiB/s", ">=0.95");
    Result("HTTP download " + size + " CPU (s/GiB)", web.cpuA, web.cpuB, "s/GiB", "<=1.1");
    Result("HTTP download " + size + " replacing a file, vs curl + sync of the file (MiB/s)", durable.bestA, durable.bestB, "MiB/s", ">=0.95");
  }

  if (wanted("ftp")) {
    test::FtpServer ftp;
    Publish(data, ftp.UserRoot() / "big.bin");
    Publish(small, ftp.UserRoot() / "small.bin");
    TZephron engine;
    engine.SetDialogs(&dialogs);
    engine.UpdateType = ftpUpdate;
    engine.UpdateUpdate = zpuSilent;
    engine.Host = "127.0.0.1";
    engine.Port = ftp.port();
    engine.URL = "ftp://127.0.0.1/update.inf";
    engine.FTPPassive = true;
    engine.UserID = test::FtpServer::kUser;
    engine.Password = test::FtpServer::kPassword;
    if (engine.StartConnection() != 0 || engine.FTPConnect() != 0) {
      std::fprintf(stderr, "no FTP connection\n");
      return 1;
    }
    const auto ours = [&](const std::string& name) {
      return [&, name] { return engine.URLGetFile(engine.HintConnect(), "ftp://127.0.0.1/" + name, false, target.string() + "/"); };
    };
    BestOfBoth(1, 16 << 20, ours("small.bin"), ours("small.bin"), clean);
    if (rssSmall == 0) rssSmall = PeakRssKiB();
    const std::string curlOut = (target / "curl.bin").string();
    const std::string url = std::string("ftp://") + test::FtpServer::kUser + ":" + test::FtpServer::kPassword +
                            "@127.0.0.1:" + std::to_string(ftp.port()) + "/big.bin";
    const Figures file = BestOfBoth(kRounds, bytes, ours("big.bin"), [&] {
      return test::RunProgram({"/usr/bin/curl", "-s", "-f", "-o", curlOut, url}).exitCode == 0;
    }, clean);
    engine.StopConnection();
    std::printf("FTP   URLGetFile          : %8.1f MiB/s  %5.2f CPU s/GiB\n", file.bestA, file.cpuA);
    std::printf("FTP   curl                : %8.1f MiB/s  %5.2f CPU s/GiB\n", file.bestB, file.cpuB);
    rssText += " FTP " + std::to_string(PeakRssKiB()) + " KiB";
    Result("FTP download " + size + " (MiB/s)", file.bestA, file.bestB, "MiB/s", ">=0.95");
    Result("FTP download " + size + " CPU (s/GiB)", file.cpuA, file.cpuB, "s/GiB", "<=1.1");
  }

  if (wanted("local")) {
    TZephron engine;
    engine.SetDialogs(&dialogs);
    engine.UpdateType = fileUpdate;
    const std::string source = data.string();
    if (rssSmall == 0) {
      engine.URLGetFile({}, small.string(), false, target.string() + "/");
      clean();
      rssSmall = PeakRssKiB();
    }
    const Figures copy = BestOfBoth(kRounds, bytes, [&] { return engine.URLGetFile({}, source, false, target.string() + "/"); }, [&] {
      return test::RunProgram({"/bin/cp", source, (target / "cp.bin").string()}).exitCode == 0;
    }, clean);
    // As for HTTP: replacing a file, the same work for cp is the copy plus a
    // sync of the file.
    const Figures durable = BestOfBoth(kRounds, bytes, [&] { return engine.URLGetFile({}, source, false, target.string() + "/"); }, [&] {
      return test::RunProgram({"/bin/sh", "-c", "cp \"$1\" \"$2\" && sync \"$2\"", "sh", source,
                               (target / "cp.bin").string()}).exitCode == 0;
    }, cleanLeavingOld);
    std::printf("local URLGetFile (copy)   : %8.1f MiB/s  %5.2f CPU s/GiB\n", copy.bestA, copy.cpuA);
    std::printf("local cp                  : %8.1f MiB/s  %5.2f CPU s/GiB\n", copy.bestB, copy.cpuB);
    std::printf("local copy replacing      : %8.1f MiB/s  %5.2f CPU s/GiB\n", durable.bestA, durable.cpuA);
    std::printf("local cp + sync           : %8.1f MiB/s  %5.2f CPU s/GiB\n", durable.bestB, durable.cpuB);
    rssText += " local " + std::to_string(PeakRssKiB()) + " KiB";
    Result("local copy " + size + " (MiB/s)", copy.bestA, copy.bestB, "MiB/s", ">=0.95");
    Result("local copy " + size + " CPU (s/GiB)", copy.cpuA, copy.cpuB, "s/GiB", "<=1.1");
    Result("local copy " + size + " replacing a file, vs cp + sync of the file (MiB/s)", durable.bestA, durable.bestB, "MiB/s", ">=0.95");
  }

  std::printf("file size %llu MiB; peak RSS after 16 MiB: %ld KiB; after %s:%s\n",
              static_cast<unsigned long long>(mib), rssSmall, size.c_str(), rssText.c_str());
  for (const auto& line : results) std::printf("%s\n", line.c_str());
  return 0;
}
