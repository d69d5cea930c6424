// The Qt window on the update driver in a sandboxed machine, on Qt's
// offscreen platform so the tests need no display.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

#include "tests/driver/driver_fixture.h"
#include "ui/qt/dialog_runner.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialogs.h"

namespace zephron::test {

class QtWindowFixture : public DriverFixture {
 protected:
  void TearDown() override {
    ui::qt::OnDialogShown() = nullptr;
    form.reset();
    window.reset();
  }

  TformMain& MakeQtForm(const std::string& base) {
    window = std::make_unique<ui::qt::QtMainWindow>();
    form = std::make_unique<TformMain>(*window, 1, args);
    form->UpdateLocationSource = [base](const std::string&) { return TUpdateLocation{base, "", ""}; };
    form->Zephron.SetDialogs(&dialogs);
    window->onCheck = [this] { form->bCheckClick(); };
    return *form;
  }

  TformMain& MakeQtForm() { return MakeQtForm(updates.string()); }

  // The next dialogs are answered by these handlers, in order; a dialog
  // beyond them is rejected so that a test never hangs.
  void AnswerDialogs(std::vector<std::function<void(QDialog&)>> answers) {
    auto queue = std::make_shared<std::vector<std::function<void(QDialog&)>>>(std::move(answers));
    ui::qt::OnDialogShown() = [queue](QDialog& dialog) {
      if (queue->empty()) {
        dialog.reject();
        return;
      }
      auto answer = queue->front();
      queue->erase(queue->begin());
      answer(dialog);
    };
  }

  static std::function<void(QDialog&)> Press(QMessageBox::StandardButton button) {
    return [button](QDialog& dialog) {
      auto* box = qobject_cast<QMessageBox*>(&dialog);
      ASSERT_NE(box, nullptr);
      ASSERT_NE(box->button(button), nullptr);
      box->button(button)->click();
    };
  }

  const char* args[1] = {"zephron"};
  ui::qt::QtDialogs dialogs;
  std::unique_ptr<ui::qt::QtMainWindow> window;
  std::unique_ptr<TformMain> form;
};

}  // namespace zephron::test
