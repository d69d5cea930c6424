// The what's-new and agreement decisions: the host's handlers and their
// opposite conditions, the dialogs as the control file describes them, and
// the answers that count as not accepted.
#include "tests/fileupdate/update_fixture.h"
#include "transfer/messages.h"

namespace zephron::test {
namespace {

constexpr const char* kRich = "{\\rtf1\\ansi {\\b New}\\par}";

class TextDialogs : public UpdateFixture {
 protected:
  void SetUp() override {
    UpdateFixture::SetUp();
    UseControlFile({{"whatsnew", {"caption=", "okbtn=Install", "cancelbtn=Later"}},
                    {"eula", {"caption=Terms", "okbtn=Close", "accept=Yes, I do", "notaccept=No"}}});
  }
  // A handler that answers res and counts its calls.
  TZephronTextDownloaded Handler(int res, int& calls, std::vector<std::string>* lines = nullptr) {
    return [res, &calls, lines](TZephron&, std::vector<std::string>& text, int& r) {
      ++calls;
      if (lines) *lines = text;
      if (res != 1) r = res;
    };
  }
};

TEST_F(TextDialogs, PlainWhatsNewGoesToTheHandlerAndRichToTheDialog) {
  int calls = 0;
  std::vector<std::string> lines;
  engine.OnDownloadedWhatsNew = Handler(1, calls, &lines);
  EXPECT_EQ(engine.ShowWhatsNewDialog("New\r\nthings\r\n"), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"New", "things"}));
  engine.OnDownloadedWhatsNew = Handler(0, calls);
  EXPECT_EQ(engine.ShowWhatsNewDialog("plain"), -1);
  EXPECT_TRUE(engine.dialogs.whatsNewShown().empty());

  engine.dialogs.AnswerWhatsNew(true);
  EXPECT_EQ(engine.ShowWhatsNewDialog(kRich), 0);
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(engine.dialogs.whatsNewShown().size(), 1u);
  const ui::WhatsNewDialogSpec& spec = engine.dialogs.whatsNewShown()[0];
  EXPECT_EQ(spec.caption, "What's new");
  EXPECT_EQ(spec.okButton, "Install");
  EXPECT_EQ(spec.cancelButton, "Later");
  EXPECT_TRUE(spec.text.rich);
  EXPECT_EQ(spec.text.bytes, kRich);
}

TEST_F(TextDialogs, RefusedOrClosedWhatsNewReportsNotAccepted) {
  engine.dialogs.AnswerWhatsNew(false);
  EXPECT_EQ(engine.ShowWhatsNewDialog("plain"), -1);
  const auto* report = engine.Find(msgWhatsNewNotAccepted);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->status, 14);
  EXPECT_FALSE(engine.dialogs.whatsNewShown()[0].text.rich);
}

TEST_F(TextDialogs, RichAgreementGoesToTheHandlerAndPlainOneToTheDialog) {
  int calls = 0;
  engine.OnDownloadedEULA = Handler(1, calls);
  EXPECT_EQ(engine.ShowEULADialog(kRich), 0) << "a handler that leaves Res accepts";
  engine.OnDownloadedEULA = Handler(7, calls);
  EXPECT_EQ(engine.ShowEULADialog(kRich), -1);
  EXPECT_EQ(calls, 2);

  EXPECT_EQ(engine.ShowEULADialog("Terms of use"), -1) << "the refusing choice is preselected";
  engine.dialogs.AnswerAgreement(true);
  EXPECT_EQ(engine.ShowEULADialog("Terms of use"), 0);
  ASSERT_EQ(engine.dialogs.agreementsShown().size(), 2u);
  const ui::AgreementDialogSpec& spec = engine.dialogs.agreementsShown()[0];
  EXPECT_EQ(spec.caption, "Terms");
  EXPECT_EQ(spec.closeButton, "Close");
  EXPECT_EQ(spec.accept, "Yes, I do");
  EXPECT_EQ(spec.notAccept, "No");
  EXPECT_EQ(engine.Count(msgWhatsNewNotAccepted) + engine.Count(msgLicenseNotAccepted), 0);
}

TEST_F(TextDialogs, AgreementWithoutCaptionsUsesTheDefaults) {
  UseControlFile({});
  engine.ShowEULADialog("x");
  engine.ShowWhatsNewDialog("x");
  const ui::AgreementDialogSpec& eula = engine.dialogs.agreementsShown().at(0);
  EXPECT_EQ(eula.caption, "");
  EXPECT_EQ(eula.closeButton, "Ok");
  EXPECT_EQ(eula.accept, "I accept");
  EXPECT_EQ(eula.notAccept, "I do not accept");
  const ui::WhatsNewDialogSpec& news = engine.dialogs.whatsNewShown().at(0);
  EXPECT_EQ(news.okButton, "Ok");
  EXPECT_EQ(news.cancelButton, "Cancel");
}

}  // namespace
}  // namespace zephron::test
