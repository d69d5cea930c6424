// Shared pieces of the engine's transfer tests: an engine that records every
// status report with its ident, and suite fixtures that start the real
// servers once per suite and fail every test when a server cannot start.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/zephron.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"
#include "ui/scripted_dialogs.h"

namespace zephron::test {

class RecordingEngine : public TZephron {
 public:
  struct Report {
    int ident;
    std::string arg;
    int status;
    int error;
  };

  RecordingEngine() { SetDialogs(&dialogs); }

  void DoStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override {
    reports.push_back({Ident, Arg, StatusCode, ErrCode});
    TZephron::DoStatus(Ident, Arg, StatusCode, ErrCode);
  }

  std::vector<int> Idents() const {
    std::vector<int> idents;
    for (const auto& report : reports) idents.push_back(report.ident);
    return idents;
  }
  int Count(int ident) const {
    return static_cast<int>(std::count_if(reports.begin(), reports.end(), [&](const Report& r) { return r.ident == ident; }));
  }
  const Report* Find(int ident) const {
    for (const auto& report : reports) {
      if (report.ident == ident) return &report;
    }
    return nullptr;
  }

  // The progress window a download pass would have created.
  ui::ScriptedProgressWindow& UseProgressWindow() {
    FProgressForm = std::make_unique<ui::ScriptedProgressWindow>();
    return static_cast<ui::ScriptedProgressWindow&>(*FProgressForm);
  }

  bool FtpDirectorySet() const { return FFTPDirSet; }
  void SetControlFileName(const std::string& name) { FControlFileName = name; }
  bool Dialed() const { return FDialed; }
  void ClearCancelled() { FCancelled = false; }

  ui::ScriptedDialogs dialogs;
  std::vector<Report> reports;
};

// The temporary download files left in a folder.
inline std::vector<std::string> TempFilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ZEP", 0) == 0 && entry.path().extension() == ".tmp") names.push_back(name);
  }
  return names;
}

// Starts a server type once per suite; a server that cannot start fails
// every test of the suite with the reason.
template <class Server>
class SharedServer {
 public:
  static void Start() {
    try {
      server_ = std::make_unique<Server>();
    } catch (const std::exception& e) {
      error_ = e.what();
    }
  }
  static void Stop() { server_.reset(); }
  static Server* Get() { return server_.get(); }
  static const std::string& Error() { return error_; }

 private:
  static inline std::unique_ptr<Server> server_;
  static inline std::string error_;
};

#define ZEPHRON_REQUIRE_SERVER(Type)                                                  \
  do {                                                                                \
    if (!::zephron::test::SharedServer<Type>::Get()) {                                \
      FAIL() << #Type " is not running: " << ::zephron::test::SharedServer<Type>::Error(); \
    }                                                                                 \
  } while (false)

}  // namespace zephron::test
