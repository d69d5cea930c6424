// A sandboxed machine for driver tests: registry, application data with the
// Corvexis folder, installation folders of products and an update location.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/form_main.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "tests/support/sandbox.h"
#include "ui/recording_view.h"

namespace zephron::test {

class DriverFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox.SetEnv("ZEPHRON_MUTEX_DIR", (sandbox.root() / "mutex").string());
    auto folders = platform::RegistryKey::Create(platform::Hive::CurrentUser, platform::kShellFoldersKey);
    ASSERT_TRUE(folders);
    ASSERT_TRUE(folders->WriteString("AppData", sandbox.appData().string()));
    ASSERT_TRUE(folders->WriteString("Personal", sandbox.documents().string()));
    std::filesystem::create_directories(sandbox.appData() / "Corvexis");
    updates = sandbox.root() / "updates";
    std::filesystem::create_directories(updates);
  }

  // Registers the product as installed in a folder of the sandbox holding its executable.
  std::filesystem::path Install(const std::string& product, const std::string& executable,
                                const std::string& contents = "executable bytes") {
    const auto folder = sandbox.root() / "install" / product;
    WriteFile(folder / executable, contents);
    auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, "Software\\Corvexis\\" + product);
    EXPECT_TRUE(key && key->WriteString("InstallPath", folder.string()));
    return folder;
  }

  // Publishes a control file for the update folder at the file location.
  void Publish(const std::string& folder, const std::string& controlFile) {
    WriteFile(updates / folder / (folder + ".INF"), controlFile);
  }

  std::unique_ptr<TformMain> MakeForm(bool debug = false) {
    const char* args[] = {"zephron", kDebugAccessCode};
    auto form = std::make_unique<TformMain>(view, debug ? 2 : 1, args);
    const std::string base = updates.string();
    form->UpdateLocationSource = [base](const std::string&) { return TUpdateLocation{base, "", ""}; };
    return form;
  }

  std::string UpdaterLog() const { return ReadFile(sandbox.appData() / "Corvexis/Corvexis Zephronzephron.log"); }

  Sandbox sandbox;
  ui::RecordingView view;
  std::filesystem::path updates;
};

}  // namespace zephron::test
