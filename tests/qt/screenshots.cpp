// Takes the README's screenshots of the main window, before and after a
// check pass, in a sandboxed machine on the offscreen platform:
//
//   qt_screenshots <updater executable> <output folder>
//
// The updater executable (version-stamped) stands in for the products' own.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/form_main.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "tests/support/sandbox.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialogs.h"
#include "ui/qt/text_dialogs.h"

namespace fs = std::filesystem;
using namespace zephron;

namespace {

void Install(const fs::path& root, const std::string& product, const std::string& executable, const fs::path& source) {
  const fs::path folder = root / "install" / product;
  fs::create_directories(folder);
  fs::copy_file(source, folder / executable, fs::copy_options::overwrite_existing);
  auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\" + product);
  if (!key || !key->WriteString("InstallPath", folder.string())) std::fprintf(stderr, "cannot register %s\n", product.c_str());
}

bool Save(QWidget& window, const fs::path& file) {
  QCoreApplication::processEvents();
  const bool saved = window.grab().save(QString::fromStdString(file.string()), "PNG");
  if (!saved) std::fprintf(stderr, "cannot write %s\n", file.c_str());
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qt_screenshots <updater executable> <output folder>\n");
    return 1;
  }
  const fs::path sample = fs::absolute(argv[1]);
  const fs::path output = fs::absolute(argv[2]);
  fs::create_directories(output);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  test::Sandbox sandbox;
  sandbox.SetEnv("ZEPHRON_MUTEX_DIR", (sandbox.root() / "mutex").string());
  auto folders = platform::RegistryKey::Create(platform::Hive::CurrentUser, platform::kShellFoldersKey);
  if (!folders || !folders->WriteString("AppData", sandbox.appData().string()) ||
      !folders->WriteString("Personal", sandbox.documents().string())) {
    std::fprintf(stderr, "cannot prepare the sandbox\n");
    return 1;
  }
  fs::create_directories(sandbox.appData() / "Corvexis");
  const fs::path updates = sandbox.root() / "updates";
  Install(sandbox.root(), "TesselServer", "TesselServer.exe", sample);
  Install(sandbox.root(), "Vardel Quillon", "Quillon.exe", sample);
  Install(sandbox.root(), "Zephron", "Zephron.exe", sample);
  const std::string sameSize = std::to_string(fs::file_size(sample));
  test::WriteFile(updates / "tesselserver/tesselserver.INF",
                  "[update]\nlocalversion=TesselServer.exe\nnewsize=1234\nnewversion=1.1.0.0\n");
  test::WriteFile(updates / "quillon/quillon.INF", "[update]\nlocalversion=Quillon.exe\nnewsize=" + sameSize + "\n");
  test::WriteFile(updates / "zephron/zephron.INF", "[update]\nlocalversion=Zephron.exe\nnewsize=" + sameSize + "\n");

  ui::qt::QtMainWindow window;
  ui::qt::QtDialogs dialogs(&window);
  const char* args[] = {"zephron"};
  TformMain form(window, 1, args);
  form.Zephron.SetDialogs(&dialogs);
  const std::string base = updates.string();
  form.UpdateLocationSource = [base](const std::string&) { return TUpdateLocation{base, "", ""}; };
  window.onCheck = [&form] { form.bCheckClick(); };
  window.show();
  if (!Save(window, output / "window-start.png")) return 1;
  window.CheckButton()->click();
  if (!Save(window, output / "window-after-check.png")) return 1;
  form.Zephron.SetDialogs(nullptr);

  // The engine's text windows, as a control file with what's-new and
  // agreement texts brings them up.
  const std::string plain =
      "Tessel Server 1.1\r\n\r\n- Downloads resume after a lost connection.\r\n- The log names the mirror "
      "that served each file.\r\n- Faster start on large installations.\r\n";
  const std::string rich =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red0\\green64\\blue160;}"
      "\\fs32\\b\\cf1 Tessel Server 1.1\\cf0\\b0\\fs20\\par\\par "
      "\\b Downloads\\b0  resume after a lost connection.\\par "
      "\\i The log\\i0  names the mirror that served each file.\\par "
      "\\ul Faster\\ul0  start on large installations \\u8212? up to 40\\'25.\\par}";
  ui::qt::TWhatsNewForm news({"What's new", {plain, false}, "Ok", "Cancel"}, nullptr);
  news.show();
  if (!Save(news, output / "whatsnew-plain.png")) return 1;
  ui::qt::TWhatsNewForm richNews({"What's new", {rich, true}, "Install", "Later"}, nullptr);
  richNews.show();
  if (!Save(richNews, output / "whatsnew-rich.png")) return 1;
  const std::string terms =
      "Licence agreement\r\n\r\nThe software is licensed, not sold. You may install it on the computers of "
      "your organisation and make one copy for backup.\r\n";
  ui::qt::TAgreementForm agreement({"Licence agreement", {terms, false}, "Ok", "I accept", "I do not accept"}, nullptr);
  agreement.show();
  if (!Save(agreement, output / "agreement.png")) return 1;
  ui::qt::TAnimationForm animation("Patching", "Applying the update to TesselServer.exe, please wait.");
  if (!Save(animation, output / "animation.png")) return 1;
  return 0;
}
