// Throughput of URLGetFile against the curl program (HTTP from a local nginx)
// and of the local copy against cp, on one file of the given size (MiB,
// default 1024), with the process's peak resident memory after a small and
// after the full-size transfer (it must not grow with the file).
//
//   build/bench/transfer/transfer_bench [MiB]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>
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

struct Figures {
  double bestA = 0, bestB = 0;  // MiB/s
  double cpuA = 0, cpuB = 0;    // CPU seconds per GiB, averaged (a: this process, b: the child program)
};

// Runs a (in this process) and b (a child program) alternately `rounds`
// times: the best throughput of each and their CPU time. The CPU figures
// hold also on a loaded machine, where wall-clock throughput varies.
Figures BestOfBoth(int rounds, std::uint64_t bytes, const std::function<bool()>& a,
                                     const std::function<bool()>& b, const std::function<void()>& cleanup) {
  Figures f;
  const double gib = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
  for (int i = 0; i < rounds; ++i) {
    for (int which = 0; which < 2; ++which) {
      cleanup();
      bool ok = false;
      const int who = which == 0 ? RUSAGE_SELF : RUSAGE_CHILDREN;
      const double cpuBefore = CpuSeconds(who);
      const double s = Seconds(which == 0 ? a : b, ok);
      (which == 0 ? f.cpuA : f.cpuB) += (CpuSeconds(who) - cpuBefore) / gib / rounds;
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

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t bytes = mib << 20;
  test::Sandbox sandbox;
  test::NginxServer nginx;
  const fs::path target = sandbox.root() / "target";
  fs::create_directories(target);
  WriteData(nginx.DocRoot() / "small.bin", 16 << 20);
  WriteData(nginx.DocRoot() / "big.bin", bytes);
  test::RunProgram({"/bin/sh", "-c", "cat '" + (nginx.DocRoot() / "big.bin").string() + "' > /dev/null"});

  ui::ScriptedDialogs dialogs;
  TZephron engine;
  engine.SetDialogs(&dialogs);
  engine.URL = nginx.Url("/");
  engine.UpdateUpdate = zpuSilent;
  engine.StartConnection();
  const auto ours = [&](const std::string& name) {
    return [&, name] { return engine.URLGetFile(engine.HintConnect(), nginx.Url("/" + name), false, target.string() + "/"); };
  };
  const auto clean = [&] {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(target, ec)) fs::remove(entry.path(), ec);
  };

  constexpr int kRounds = 5;
  BestOfBoth(1, 16 << 20, ours("small.bin"), ours("small.bin"), clean);
  const long rssSmall = PeakRssKiB();
  const std::string curlOut = (target / "curl.bin").string();
  const Figures web = BestOfBoth(kRounds, bytes, ours("big.bin"), [&] {
    return test::RunProgram({"/usr/bin/curl", "-s", "-f", "-o", curlOut, nginx.Url("/big.bin")}).exitCode == 0;
  }, clean);
  const long rssBig = PeakRssKiB();
  engine.StopConnection();

  engine.UpdateType = fileUpdate;
  const std::string source = (nginx.DocRoot() / "big.bin").string();
  const Figures copy = BestOfBoth(kRounds, bytes, [&] { return engine.URLGetFile({}, source, false, target.string() + "/"); }, [&] {
    return test::RunProgram({"/bin/cp", source, (target / "cp.bin").string()}).exitCode == 0;
  }, clean);
  const long rssLocal = PeakRssKiB();

  std::printf("file size                 : %llu MiB\n", static_cast<unsigned long long>(mib));
  std::printf("HTTP  URLGetFile          : %8.1f MiB/s  %5.2f CPU s/GiB\n", web.bestA, web.cpuA);
  std::printf("HTTP  curl                : %8.1f MiB/s  %5.2f CPU s/GiB\n", web.bestB, web.cpuB);
  std::printf("HTTP  ratio ours/curl     : %8.2f\n", web.bestA / web.bestB);
  std::printf("local URLGetFile (copy)   : %8.1f MiB/s  %5.2f CPU s/GiB\n", copy.bestA, copy.cpuA);
  std::printf("local cp                  : %8.1f MiB/s  %5.2f CPU s/GiB\n", copy.bestB, copy.cpuB);
  std::printf("local ratio ours/cp       : %8.2f\n", copy.bestA / copy.bestB);
  std::printf("peak RSS after 16 MiB     : %8ld KiB\n", rssSmall);
  std::printf("peak RSS after %4llu MiB   : %8ld KiB (HTTP), %ld KiB (with local copy)\n",
              static_cast<unsigned long long>(mib), rssBig, rssLocal);
  return 0;
}
