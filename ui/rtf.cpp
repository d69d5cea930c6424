#include "ui/rtf.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unicode.h"

namespace zephron::ui {
namespace {

// Groups nested deeper share one state, copied from the deepest group kept
// at every brace: their control words last until the next brace and never
// reach the groups around them, and a million "{" cost no memory.
constexpr std::size_t kMaxDepth = 64;
// The text a dialog can show; the rest of a larger document is left out.
constexpr std::size_t kMaxOutput = 4 * 1024 * 1024;

// A byte of the text in code page 1252; the code page's unassigned bytes
// show as "?".
char32_t FromCp1252(unsigned char byte) {
  const char32_t c = platform::Windows1252ToCodePoint(byte);
  return c >= 0x80 && c < 0xA0 ? U'?' : c;
}

using platform::AppendUtf8;

struct Format {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  int halfPoints = 0;  // 0: the viewer's size
  int color = 0;       // index into the colour table; 0 the automatic colour
  bool operator==(const Format&) const = default;
};

struct Group {
  Format format;
  bool skip = false;      // a destination whose text is not shown
  bool colorTable = false;
  int fallback = 1;       // \ucN: characters that stand for a \uN
};

struct Color {
  int red = 0, green = 0, blue = 0;
};

// The words that open destinations whose text is not part of the document.
bool IsHiddenDestination(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "fonttbl",   "stylesheet", "info",     "pict",      "object",    "header",  "headerl",  "headerr",
      "headerf",   "footer",     "footerl",  "footerr",   "footerf",   "footnote", "filetbl", "listtable",
      "listoverridetable",       "revtbl",   "rsidtbl",   "generator", "xmlnstbl", "themedata",
      "colorschememapping",      "latentstyles",          "datastore", "fldinst",  "bkmkstart", "bkmkend"};
  for (const std::string_view known : kWords) {
    if (word == known) return true;
  }
  return false;
}

class Reader {
 public:
  explicit Reader(std::string_view rtf) : in_(rtf) {}

  // Calls the sink's Text, Paragraph, LineBreak and Tab as the document goes.
  template <typename Sink>
  void Read(Sink& sink) {
    std::vector<Group> groups(1);
    Group deep;                  // the state of the groups beyond kMaxDepth
    std::size_t depth = 0;       // groups opened, also beyond kMaxDepth
    std::size_t skipped = 0;     // characters still to drop after a \uN
    char16_t highSurrogate = 0;
    const auto current = [&]() -> Group& { return depth < kMaxDepth ? groups.back() : deep; };
    const auto emit = [&](char32_t c) {
      if (skipped > 0) {
        --skipped;
        return;
      }
      // A high surrogate pairs only with the low one right after it.
      highSurrogate = 0;
      if (current().skip) return;
      if (c == U'\t') {
        sink.Tab();
        return;
      }
      if (c < 0x20 || c == 0x7F) return;  // control characters show nothing
      sink.Text(c, current().format, colors_);
    };

    while (pos_ < in_.size() && !sink.Full()) {
      const char c = in_[pos_++];
      if (c == '{') {
        ++depth;
        skipped = 0;
        if (depth < kMaxDepth) {
          groups.push_back(groups.back());
        } else {
          deep = groups.back();
        }
        continue;
      }
      if (c == '}') {
        skipped = 0;
        if (depth == 0) break;  // the document's own group has ended
        if (depth < kMaxDepth) groups.pop_back();
        --depth;
        if (depth >= kMaxDepth) deep = groups.back();
        continue;
      }
      if (c == '\r' || c == '\n') continue;
      if (c != '\\') {
        if (current().colorTable) {
          if (c == ';') FinishColor();
          continue;
        }
        emit(FromCp1252(static_cast<unsigned char>(c)));
        continue;
      }
      if (pos_ >= in_.size()) break;
      const char next = in_[pos_];
      if (next == '\'') {
        ++pos_;
        const int value = Hex(2);
        if (value >= 0) emit(FromCp1252(static_cast<unsigned char>(value)));
        continue;
      }
      if (next == '*') {
        ++pos_;
        current().skip = true;
        continue;
      }
      if (!IsLetter(next)) {
        ++pos_;
        switch (next) {
          case '\\':
          case '{':
          case '}':
            emit(static_cast<unsigned char>(next));
            break;
          case '~':
            emit(0xA0);
            break;
          case '_':
            emit(U'-');
            break;
          case '\r':
          case '\n':
            if (!current().skip) sink.Paragraph();
            break;
          default:
            break;  // \- (optional hyphen) and unknown symbols
        }
        continue;
      }

      const std::size_t start = pos_;
      while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
      // An over-long word is unknown anyway.
      const std::string_view word = pos_ - start <= 32 ? in_.substr(start, pos_ - start) : std::string_view();
      bool hasParam = false;
      long param = 0;
      bool negative = false;
      if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
        negative = true;
        ++pos_;
      }
      int digits = 0;
      while (pos_ < in_.size() && IsDigit(in_[pos_])) {
        if (digits < 10) param = param * 10 + (in_[pos_] - '0');
        ++digits;
        ++pos_;
      }
      hasParam = digits > 0;
      if (negative) param = -param;
      if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;

      Group& group = current();
      Format& f = group.format;
      if (IsHiddenDestination(word)) {
        group.skip = true;
      } else if (word == "colortbl") {
        group.colorTable = true;
        group.skip = true;
        colors_.clear();
        pending_ = Color{};
      } else if (group.colorTable) {
        const int value = static_cast<int>(std::clamp(param, 0L, 255L));
        if (word == "red") pending_.red = value;
        if (word == "green") pending_.green = value;
        if (word == "blue") pending_.blue = value;
      } else if (word == "par") {
        if (!group.skip) sink.Paragraph();
      } else if (word == "line") {
        if (!group.skip) sink.LineBreak();
      } else if (word == "tab") {
        if (!group.skip) sink.Tab();
      } else if (word == "b") {
        f.bold = !hasParam || param != 0;
      } else if (word == "i") {
        f.italic = !hasParam || param != 0;
      } else if (word == "ul") {
        f.underline = !hasParam || param != 0;
      } else if (word == "ulnone") {
        f.underline = false;
      } else if (word == "fs") {
        f.halfPoints = hasParam ? static_cast<int>(std::clamp(param, 0L, 1000L)) : 0;
      } else if (word == "cf") {
        f.color = hasParam ? static_cast<int>(std::clamp(param, 0L, 100000L)) : 0;
      } else if (word == "plain") {
        f = Format{};
      } else if (word == "uc") {
        group.fallback = static_cast<int>(std::clamp(param, 0L, 16L));
      } else if (word == "u" && hasParam) {
        const char16_t unit = static_cast<char16_t>(param < 0 ? param + 65536 : param);
        skipped = 0;  // a \uN inside the fallback of another is a character of its own
        if (unit >= 0xD800 && unit < 0xDC00) {
          highSurrogate = unit;
        } else if (unit >= 0xDC00 && unit < 0xE000) {
          if (highSurrogate != 0) emit(0x10000 + ((char32_t(highSurrogate) - 0xD800) << 10) + (unit - 0xDC00));
        } else {
          emit(unit);
        }
        if (unit < 0xD800 || unit >= 0xDC00) highSurrogate = 0;
        skipped = static_cast<std::size_t>(group.fallback);
      } else if (word == "bin" && hasParam && param > 0) {
        // Raw bytes (of a picture, mostly) that must not be read as text or braces.
        pos_ += static_cast<std::size_t>(std::min<long>(param, static_cast<long>(in_.size() - pos_)));
      } else if (word == "emdash") {
        emit(0x2014);
      } else if (word == "endash") {
        emit(0x2013);
      } else if (word == "bullet") {
        emit(0x2022);
      } else if (word == "lquote") {
        emit(0x2018);
      } else if (word == "rquote") {
        emit(0x2019);
      } else if (word == "ldblquote") {
        emit(0x201C);
      } else if (word == "rdblquote") {
        emit(0x201D);
      }
      // Every other control word changes nothing the viewer shows.
    }
  }

 private:
  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  int Hex(int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
      if (pos_ >= in_.size()) return -1;
      const char c = in_[pos_];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return -1;
      value = value * 16 + digit;
      ++pos_;
    }
    return value;
  }

  void FinishColor() {
    if (colors_.size() < 1024) colors_.push_back(pending_);
    pending_ = Color{};
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  std::vector<Color> colors_;
  Color pending_;
};

class PlainSink {
 public:
  void Text(char32_t c, const Format&, const std::vector<Color>&) { AppendUtf8(out, c); }
  void Paragraph() { out += '\n'; }
  void LineBreak() { out += '\n'; }
  void Tab() { out += '\t'; }
  bool Full() const { return out.size() >= kMaxOutput; }
  std::string out;
};

class HtmlSink {
 public:
  void Text(char32_t c, const Format& format, const std::vector<Color>& colors) {
    if (!open_ || !(format == current_)) {
      CloseRun();
      OpenRun(format, colors);
    }
    switch (c) {
      case U'<':
        body_ += "&lt;";
        break;
      case U'>':
        body_ += "&gt;";
        break;
      case U'&':
        body_ += "&amp;";
        break;
      case U'"':
        body_ += "&quot;";
        break;
      default:
        AppendUtf8(body_, c);
    }
  }
  void Paragraph() {
    CloseRun();
    out += "<p>" + body_ + "</p>\n";
    body_.clear();
  }
  void LineBreak() {
    CloseRun();
    body_ += "<br>";
  }
  void Tab() {
    CloseRun();
    body_ += "&nbsp;&nbsp;&nbsp;&nbsp;";
  }
  bool Full() const { return out.size() + body_.size() >= kMaxOutput; }
  std::string Finish() {
    CloseRun();
    if (!body_.empty()) Paragraph();
    return out;
  }
  std::string out;

 private:
  void OpenRun(const Format& format, const std::vector<Color>& colors) {
    current_ = format;
    open_ = true;
    closing_.clear();
    std::string style;
    if (format.halfPoints > 0) {
      style += "font-size:" + std::to_string(format.halfPoints / 2) + (format.halfPoints % 2 ? ".5" : "") + "pt;";
    }
    if (format.color > 0 && static_cast<std::size_t>(format.color) < colors.size()) {
      const Color& c = colors[static_cast<std::size_t>(format.color)];
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%02x%02x%02x", c.red, c.green, c.blue);
      style += std::string("color:") + hex + ";";
    }
    if (!style.empty()) {
      body_ += "<span style=\"" + style + "\">";
      closing_ = "</span>" + closing_;
    }
    if (format.bold) {
      body_ += "<b>";
      closing_ = "</b>" + closing_;
    }
    if (format.italic) {
      body_ += "<i>";
      closing_ = "</i>" + closing_;
    }
    if (format.underline) {
      body_ += "<u>";
      closing_ = "</u>" + closing_;
    }
  }
  void CloseRun() {
    if (!open_) return;
    body_ += closing_;
    closing_.clear();
    open_ = false;
  }

  std::string body_;
  std::string closing_;
  Format current_;
  bool open_ = false;
};

// The document's own group: the text after "{\rtf..." up to its closing
// brace; text that does not start with a group is read as it is.
std::string_view Body(std::string_view rtf) {
  std::size_t start = 0;
  while (start < rtf.size() && (rtf[start] == ' ' || rtf[start] == '\r' || rtf[start] == '\n' || rtf[start] == '\t')) {
    ++start;
  }
  if (start < rtf.size() && rtf[start] == '{') ++start;
  return rtf.substr(start);
}

}  // namespace

std::string RtfToHtml(std::string_view rtf) {
  HtmlSink sink;
  Reader(Body(rtf)).Read(sink);
  return sink.Finish();
}

std::string RtfToPlainText(std::string_view rtf) {
  PlainSink sink;
  Reader(Body(rtf)).Read(sink);
  return sink.out;
}

}  // namespace zephron::ui
