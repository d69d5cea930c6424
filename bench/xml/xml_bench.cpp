// Throughput of the XML library against libexpat on one document of about
// 64 MiB (its UTF-16 text form): text and compact save and load, and the same
// document parsed as UTF-8 by libexpat. Prints MB/s, the ratios and the peak
// resident memory. Usage: xml_bench [MiB] (default 64).
#include <expat.h>
#include <malloc.h>
#include <sys/resource.h>

#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace {

// Process CPU time (user and system): on a shared machine wall time mostly
// measures the neighbours.
struct Clock {
  using time_point = double;
  static double now() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
};
namespace fs = std::filesystem;
using zephron::TxmlDocument;
using zephron::TxmlNode;

double Seconds(Clock::time_point since) { return Clock::now() - since; }
double MB(std::uintmax_t bytes) { return static_cast<double>(bytes) / 1e6; }

// A catalogue of release records: short names, values of mixed length with
// some escaping and non-ASCII text, three levels below the root.
void AddRecords(TxmlNode* root, int from, int count) {
  static const char* kWords[] = {"update", "engine", "cabinet", "patch", "größe", "version", "check", "signature",
                                 "Überprüfung", "download", "control", "file", "a<b", "x&y", "release", "notes"};
  for (int i = from; i < from + count; ++i) {
    TxmlNode* record = root->CreateSubNode("Record", "");
    record->CreateSubNode("Name", "Product " + std::to_string(i));
    record->CreateSubNode("Version", std::to_string(i % 9) + "." + std::to_string(i % 17) + "." + std::to_string(i));
    std::string description;
    for (int w = 0; w < 4 + i % 12; ++w) {
      if (w > 0) description += ' ';
      description += kWords[(i * 7 + w * 3) % 16];
    }
    record->CreateSubNode("Description", description);
    TxmlNode* files = record->CreateSubNode("Files", "");
    for (int f = 0; f < 3; ++f) {
      TxmlNode* file = files->CreateSubNode("File", "");
      file->CreateSubNode("Path", "{APP}\\bin\\module" + std::to_string(f) + "_" + std::to_string(i) + ".dll");
      file->CreateSubNode("Size", std::to_string(1000 + i * 31 + f));
    }
  }
}

std::unique_ptr<TxmlDocument> BuildDocument(std::uintmax_t targetBytes) {
  auto probe = std::make_unique<TxmlDocument>();
  probe->Root()->SetName("Catalogue");
  AddRecords(probe->Root(), 0, 1000);
  zephron::TxmlMemoryStream stream;
  probe->Save(stream);
  const double perRecord = static_cast<double>(stream.Size()) / 1000.0;
  auto doc = std::make_unique<TxmlDocument>();
  doc->Root()->SetName("Catalogue");
  AddRecords(doc->Root(), 0, static_cast<int>(static_cast<double>(targetBytes) / perRecord));
  return doc;
}

// UTF-16LE file to UTF-8 file, in pieces (no surrogate pair is split since
// pairs are handled across the pieces).
void ConvertToUtf8(const fs::path& from, const fs::path& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  std::u16string carry;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    std::u16string units = carry;
    carry.clear();
    for (std::size_t i = 0; i + 1 < n; i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                            (static_cast<unsigned char>(buffer[i + 1]) << 8)));
    }
    if (!units.empty() && units.back() >= 0xD800 && units.back() <= 0xDBFF) {
      carry.push_back(units.back());
      units.pop_back();
    }
    // Through the library's own conversion of UTF-16 text to a UTF-8 string.
    zephron::TxmlMemoryStream bytes;
    bytes.Write(units.data(), units.size() * 2);
    const std::string utf8 = TxmlDocument::BytesToString(bytes.Bytes());
    out.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
  }
}

struct ExpatCounts {
  long elements = 0;
  long characters = 0;
};

double ExpatParse(const fs::path& file, ExpatCounts& counts) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &counts);
  XML_SetElementHandler(
      parser, [](void* data, const XML_Char*, const XML_Char**) { ++static_cast<ExpatCounts*>(data)->elements; },
      [](void*, const XML_Char*) {});
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char*, int len) {
    static_cast<ExpatCounts*>(data)->characters += len;
  });
  std::FILE* f = std::fopen(file.c_str(), "rb");
  const auto start = Clock::now();
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  while (ok) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
    ok = XML_Parse(parser, buffer.data(), static_cast<int>(n), n == 0) != XML_STATUS_ERROR;
    if (n == 0) break;
  }
  const double seconds = Seconds(start);
  if (!ok) std::printf("expat error: %s\n", XML_ErrorString(XML_GetErrorCode(parser)));
  std::fclose(f);
  XML_ParserFree(parser);
  return seconds;
}

template <typename F>
double Best(int runs, F&& run) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, run());
  return best;
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Starts the count of the peak resident memory (VmHWM) anew; false where
// the system does not let it.
bool ResetPeak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return false;
  const bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}
// The peak resident memory since the last ResetPeak, or -1 where the system
// does not tell it.
long PeakSinceResetKiB() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(f);
  return kib;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uintmax_t target = (argc > 1 ? std::stoull(argv[1]) : 64) << 20;
  const int runs = 3;
  const fs::path dir = fs::temp_directory_path() / ("zephron-xml-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path textFile = dir / "doc.xml";
  const fs::path compactFile = dir / "doc.bin";
  const fs::path utf8File = dir / "doc-utf8.xml";

  auto doc = BuildDocument(target);
  const long nodes = doc->NodeCount;
  const double saveText = Best(runs, [&] {
    const auto start = Clock::now();
    doc->Save(textFile.string());
    return Seconds(start);
  });
  const double saveCompact = Best(runs, [&] {
    const auto start = Clock::now();
    doc->Save(compactFile.string(), true);
    return Seconds(start);
  });
  doc.reset();
  malloc_trim(0);
  ConvertToUtf8(textFile, utf8File);
  const auto textSize = fs::file_size(textFile);
  const auto compactSize = fs::file_size(compactFile);
  const auto utf8Size = fs::file_size(utf8File);

  auto timedLoad = [&](const fs::path& file, bool compressed) {
    return Best(runs, [&] {
      double seconds;
      {
        TxmlDocument loaded;
        const auto start = Clock::now();
        loaded.Load(file.string(), compressed);
        seconds = Seconds(start);
        if (loaded.NodeCount != nodes) std::printf("warning: %d nodes loaded, %ld saved\n", loaded.NodeCount, nodes);
      }
      // The allocator's deferred work for the freed tree belongs to the free,
      // not to the next load.
      malloc_trim(0);
      return seconds;
    });
  };
  // The text loads' own peak: what the process holds before them (the
  // saved document is gone) and the tree they build.
  const bool peakReset = ResetPeak();
  const double loadText = timedLoad(textFile, false);
  const long loadPeak = peakReset ? PeakSinceResetKiB() : -1;
  const double loadCompact = timedLoad(compactFile, true);
  const double loadUtf8 = timedLoad(utf8File, false);  // the same bytes expat reads, as 8-bit text
  ExpatCounts counts;
  const double expat = Best(runs, [&] {
    counts = ExpatCounts{};
    return ExpatParse(utf8File, counts);
  });
  fs::remove_all(dir);

  std::printf("document: %ld elements; text (UTF-16) %.1f MB, compact %.1f MB, UTF-8 %.1f MB; expat saw %ld elements\n",
              nodes, MB(textSize), MB(compactSize), MB(utf8Size), counts.elements);
  std::printf("%-34s %8s %10s %14s\n", "operation", "CPU s", "MB/s", "doc MB/s (*)");
  auto row = [&](const char* name, double seconds, std::uintmax_t bytes) {
    std::printf("%-34s %8.3f %10.1f %14.1f\n", name, seconds, MB(bytes) / seconds, MB(textSize) / seconds);
  };
  row("save text (UTF-16)", saveText, textSize);
  row("save compact", saveCompact, compactSize);
  row("load text (UTF-16)", loadText, textSize);
  row("load compact", loadCompact, compactSize);
  row("load text (UTF-8 bytes as 8-bit)", loadUtf8, utf8Size);
  row("libexpat parse (UTF-8)", expat, utf8Size);
  std::printf("(*) the document's UTF-16 text size divided by the time: the same document for every row\n");
  std::printf("ratio load text / expat, same document (time):  %.2f\n", expat / loadText);
  std::printf("ratio load 8-bit / expat, same bytes (MB/s):    %.2f\n", expat / loadUtf8);
  std::printf("ratio load compact / expat, same document:      %.2f\n", expat / loadCompact);
  // The process's peak also covers building and saving the document.
  const long peak = PeakRssKiB();
  const double textMiB = static_cast<double>(textSize) / (1 << 20);
  std::printf("peak RSS of the process: %.1f MiB = %.2f x the document's %.1f MiB text\n", peak / 1024.0,
              peak / 1024.0 / textMiB, textMiB);
  if (loadPeak >= 0) {
    std::printf("peak RSS of the text loads: %.1f MiB = %.2f x the document's text\n", loadPeak / 1024.0,
                loadPeak / 1024.0 / textMiB);
  }
  // Throughputs of the same document (its UTF-16 text size over the CPU
  // time), so the ratio is expat's time over ours.
  const double docMiB = static_cast<double>(target >> 20);
  std::printf("RESULT|XML text load %.0f MiB|%.1f|%.1f|MB/s|>=1.0\n", docMiB, MB(textSize) / loadText,
              MB(textSize) / expat);
  std::printf("RESULT|XML text load %.0f MiB, the UTF-8 bytes expat reads|%.1f|%.1f|MB/s|>=1.0\n", docMiB,
              MB(utf8Size) / loadUtf8, MB(utf8Size) / expat);
  std::printf("RESULT|XML load peak memory, vs the 1.95x measured before|%.2f|1.95|x document|<=1.0\n",
              (loadPeak >= 0 ? loadPeak : peak) / 1024.0 / textMiB);
  return 0;
}
