// The RTF reader of the text dialogs: a document as a word processor writes
// it, read into HTML and plain text, and hostile input that must neither
// crash nor hang it nor let its output grow without bound.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/sandbox.h"
#include "ui/rtf.h"

namespace zephron::ui {
namespace {

const std::string kEuro = "\xE2\x82\xAC";

bool IsValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80 ? 1 : byte >= 0xC2 && byte < 0xE0 ? 2 : byte >= 0xE0 && byte < 0xF0 ? 3
                                       : byte >= 0xF0 && byte < 0xF5   ? 4
                                                                       : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t c = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
    i += length;
  }
  return true;
}

TEST(RtfReader, WordProcessorDocumentKeepsTextFormattingAndCharacters) {
  const std::string rtf = test::ReadFile(std::string(ZEPHRON_RTF_FIXTURES) + "/release_notes.rtf");
  EXPECT_EQ(RtfToPlainText(rtf),
            "Release notes\n"
            "Version 2.1 fixes three faults and adds one feature for Tessel & Olvane <Server>.\n"
            "Caf\xC3\xA9 prices now show " + kEuro + " and " + kEuro + ".\n"
            "Second line\tafter a tab.\n"
            "our site\n");
  EXPECT_EQ(RtfToHtml(rtf),
            "<p><span style=\"font-size:14pt;\"><b>Release notes</b></span></p>\n"
            "<p><span style=\"font-size:11pt;\">Version 2.1 fixes </span><span style=\"font-size:11pt;\"><i>three</i>"
            "</span><span style=\"font-size:11pt;\"> faults and adds </span><span style=\"font-size:11pt;\"><u>one</u>"
            "</span><span style=\"font-size:11pt;\"> feature for Tessel &amp; Olvane &lt;Server&gt;.</span></p>\n"
            "<p><span style=\"font-size:11pt;color:#ff0000;\">Caf\xC3\xA9 prices now show " + kEuro + " and " + kEuro +
            ".</span><br><span style=\"font-size:11pt;\">Second line</span>&nbsp;&nbsp;&nbsp;&nbsp;"
            "<span style=\"font-size:11pt;\">after a tab.</span></p>\n"
            "<p><span style=\"font-size:11pt;color:#008000;\"><u>our site</u></span></p>\n");
}

TEST(RtfReader, CharactersAndGroupsAtTheEdges) {
  // \u in the whole 16-bit range, negative as writers store the upper half,
  // a surrogate pair, and broken pairs that must not make up a character.
  EXPECT_EQ(RtfToPlainText("{\\rtf1 \\u-255?\\u55357?\\u56832?|\\u55357?b\\u56832?c\\u56832?\\u55357?d\\u0?e}"),
            "\xEF\xBC\x81\xF0\x9F\x98\x80|bcde");
  EXPECT_EQ(RtfToPlainText("{\\rtf1 \\u8364\\u8211?}"), kEuro + "\xE2\x80\x93") << "a \\u is never a fallback";
  // The fallback ends with its group, also for a huge \uc.
  EXPECT_EQ(RtfToPlainText("{\\rtf1 {\\uc99999999999999\\u8364 abc}shown}"), kEuro + "shown");
  // A field's instruction is hidden, its result (a link's text) is not.
  EXPECT_EQ(RtfToPlainText("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt here}}.}"), "see here.");
  // \bin data is skipped whole, braces in it included.
  EXPECT_EQ(RtfToPlainText("{\\rtf1 a{\\*\\pict\\bin4 }}{\\}b}"), "ab");
  EXPECT_EQ(RtfToPlainText("{\\rtf1 a\\line-b\\fs-20 c}"), "a\n-bc") << "a minus sign without digits is text";
  // Deep groups never leak their state into the groups around them.
  const std::string deep(63, '{');
  const std::string html = RtfToHtml("{\\rtf1 " + deep + "{\\b bold}{{\\*\\x hidden}shown}plain" + std::string(63, '}') + "}");
  EXPECT_NE(html.find("<b>bold</b>shownplain"), std::string::npos) << html;
}

TEST(RtfReader, HostileInputNeitherCrashesNorHangsNorGrows) {
  std::mt19937 random(20261209);
  std::string garbage(1 << 20, '\0');
  for (char& byte : garbage) byte = static_cast<char>(random());
  std::string colors = "{\\rtf1{\\colortbl ;";
  for (int i = 0; i < 1000000; ++i) colors += "\\red1\\green2\\blue3;";
  colors += "}\\cf999999 x\\cf2 y}";
  std::string hugeParagraphs = "{\\rtf1 ";
  while (hugeParagraphs.size() < (100u << 20)) hugeParagraphs += "\\par\\par\\par\\par\\par\\par\\par\\par";
  const struct {
    const char* what;
    std::string rtf;
    std::string text;  // the plain text, when it is known
    std::string html;  // the HTML, when it is known
  } cases[] = {
      {"a million nested groups", std::string(1000000, '{') + "deep" + std::string(1000000, '}') + "after", "deep", ""},
      {"unbalanced closing braces", "{\\rtf1 a}}}}b", "a", ""},
      {"unbalanced opening braces", "{\\rtf1 {{{{a", "a", ""},
      {"lone backslash at the end", "{\\rtf1 abc\\", "abc", ""},
      {"huge parameters", "{\\rtf1 \\fs99999999999999\\cf-99999999999999\\b99999999999999 x\\u99999999999999 y}", "", ""},
      {"bad hex", "{\\rtf1 \\'zz\\'4\\'", "", ""},
      {"binary garbage", std::move(garbage), "", ""},
      {"a colour table of a million entries", std::move(colors), "xy", "<p>x<span style=\"color:#010203;\">y</span></p>\n"},
      {"\\bin longer than the input", "{\\rtf1 a\\bin99999999999 }}}", "a", ""},
      {"100 MB of text", "{\\rtf1 " + std::string(100 << 20, 'a') + "}", std::string(4 << 20, 'a'), ""},
      {"100 MB of paragraphs", std::move(hugeParagraphs), "", ""},
  };
  for (const auto& c : cases) {
    const std::string text = RtfToPlainText(c.rtf);
    const std::string html = RtfToHtml(c.rtf);
    if (!c.text.empty()) {
      EXPECT_TRUE(text == c.text) << c.what << ": " << text.substr(0, 100);
    }
    if (!c.html.empty()) {
      EXPECT_EQ(html, c.html) << c.what;
    }
    EXPECT_TRUE(IsValidUtf8(text) && IsValidUtf8(html)) << c.what;
    EXPECT_EQ(text.find('\0'), std::string::npos) << c.what;
    EXPECT_LE(text.size(), 4u << 20) << c.what;
    EXPECT_LE(html.size(), (4u << 20) + 4096) << c.what;
  }
}

}  // namespace
}  // namespace zephron::ui
