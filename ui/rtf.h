// A reader of rich text (RTF) for the text dialogs: what's-new and agreement
// texts may come as RTF, and the toolkits show HTML or plain text. It knows
// paragraphs and line breaks, bold, italic, underline, font sizes, the
// colour table, \uN with its fallback, \'hh in code page 1252 and tabs;
// other control words and the {\*...} destinations are skipped. Nesting
// depth and output size are bounded, so hostile input neither crashes nor
// hangs it: whatever it cannot read is left out.
#pragma once

#include <string>
#include <string_view>

namespace zephron::ui {

// The text as an HTML fragment (escaped text, <p>, <br>, <b>, <i>, <u>,
// <span style="font-size:..pt; color:#rrggbb">, tabs as spaces).
std::string RtfToHtml(std::string_view rtf);

// The text alone, UTF-8, with "\n" between paragraphs and for line breaks.
std::string RtfToPlainText(std::string_view rtf);

}  // namespace zephron::ui
