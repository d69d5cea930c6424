// The engine's text dialogs on Qt widgets, built at run time as the control
// file describes them: the what's-new dialog (an accepting and a refusing
// button), the agreement dialog (a close button and two choices, the
// refusing one preselected), both 400 x 400 with a read-only, word-wrapping
// text; the HTML page dialog; and the busy window shown while the engine
// waits for a program.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>

#include "ui/dialogs.h"

namespace zephron::ui::qt {

class TWhatsNewForm : public QDialog {
 public:
  static constexpr int kClientWidth = 400;
  static constexpr int kClientHeight = 400;
  TWhatsNewForm(const WhatsNewDialogSpec& spec, QWidget* parent);
  QTextBrowser* Text;
  QPushButton* OkButton;
  QPushButton* CancelButton;
};

class TAgreementForm : public QDialog {
 public:
  TAgreementForm(const AgreementDialogSpec& spec, QWidget* parent);
  QTextBrowser* Text;
  QPushButton* CloseButton;
  QRadioButton* Accept;
  QRadioButton* NotAccept;
};

class THtmlForm : public QDialog {
 public:
  THtmlForm(const std::string& page, QWidget* parent);
  QTextBrowser* Browser;
};

// 300 x 170, centred, captioned, no border icons: a busy bar at (10, 10)
// and the message 8 pixels below it.
class TAnimationForm : public QDialog, public AnimationWindow {
 public:
  TAnimationForm(const std::string& caption, const std::string& message);
};

}  // namespace zephron::ui::qt
