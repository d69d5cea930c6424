// The engine's dialogs on Qt: message boxes, the login form, the download
// progress window, the text, HTML and animation windows (ui/qt/text_dialogs.h)
// and event processing during long transfers, so the main window keeps
// repainting while a pass runs.
#pragma once

#include <QWidget>
#include <QPointer>

#include "ui/dialogs.h"
#include "ui/qt/progress_form.h"

namespace zephron::ui::qt {

// A TProgressForm behind the engine's progress window interface.
class QtProgressWindow : public ProgressWindow {
 public:
  // Without a parent: the engine owns the window, not the widget tree.
  QtProgressWindow() = default;

  void Show() override;
  void Hide() override;
  void SetRange(int min, int max) override;
  void SetPosition(int pos) override;
  void SetLabel(const std::string& text) override;

  TProgressForm& Form() { return form_; }

 private:
  TProgressForm form_;
};

class QtDialogs : public Dialogs {
 public:
  // parent: the window that owns the dialogs (may be null).
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                          const std::string& caption = {}) override;
  bool LoginDialog(const std::string& caption, std::string& user, std::string& password) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow() override;
  std::unique_ptr<AnimationWindow> ShowAnimation(const std::string& caption, const std::string& message) override;
  bool WhatsNewDialog(const WhatsNewDialogSpec& spec) override;
  bool AgreementDialog(const AgreementDialogSpec& spec) override;
  void HtmlDialog(const std::string& page) override;
  void ProcessMessages() override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace zephron::ui::qt
