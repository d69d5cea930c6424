// The what's-new and agreement dialogs (or the host's handlers that take
// their place) and the HTML page dialog of the control file's actions.
#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "transfer/messages.h"

namespace zephron {

int TZephron::ShowWhatsNewDialog(const std::string& Stream) {
  const bool rich = IsRTFStream(Stream);
  if (OnDownloadedWhatsNew && !rich) {
    std::vector<std::string> lines = TextToLines(Stream);
    int res = 1;
    OnDownloadedWhatsNew(*this, lines, res);
    return res == 1 ? 0 : -1;
  }
  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  const TWhatsNewSection section = ReadWhatsNewSection(file, LanguageID);
  ui::WhatsNewDialogSpec spec;
  spec.caption = section.caption.empty() ? "What's new" : section.caption;
  spec.text = {Stream, rich};
  spec.okButton = section.okbtn;
  spec.cancelButton = section.cancelbtn;
  if (Dialogs().WhatsNewDialog(spec)) return 0;
  DoStatus(msgWhatsNewNotAccepted, "", 14, 0);
  return -1;
}

int TZephron::ShowEULADialog(const std::string& Stream) {
  const bool rich = IsRTFStream(Stream);
  // The opposite condition to the what's-new text: a handler takes the
  // place of the dialog for a rich agreement only.
  if (OnDownloadedEULA && rich) {
    std::vector<std::string> lines = TextToLines(Stream);
    int res = 1;
    OnDownloadedEULA(*this, lines, res);
    return res == 1 ? 0 : -1;
  }
  const platform::ProfileFile file(platform::ToSlashes(FControlFileName));
  const TEulaSection section = ReadEulaSection(file, LanguageID);
  ui::AgreementDialogSpec spec;
  spec.caption = section.caption;
  spec.text = {Stream, rich};
  spec.closeButton = section.okbtn;
  spec.accept = section.accept;
  spec.notAccept = section.notaccept;
  return Dialogs().AgreementDialog(spec) ? 0 : -1;
}

void TZephron::ShowHTMLDialog(const std::string& page) {
  // A missing page is not reported.
  if (!platform::FileExists(platform::ToSlashes(page))) return;
  Dialogs().HtmlDialog(platform::ToSlashes(page));
}

}  // namespace zephron
