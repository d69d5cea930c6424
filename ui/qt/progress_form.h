// TProgressForm: the engine's "Downloading..." window, a label naming the
// file and a bar, shown around each file download.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>

namespace zephron::ui::qt {

class TProgressForm : public QDialog {
 public:
  static constexpr int kWidth = 300;
  static constexpr int kHeight = 110;

  explicit TProgressForm(QWidget* parent = nullptr);

  // The window frame's border width the bar's width leaves room for.
  int FrameWidth() const;

  QProgressBar* ProgressBar;
  QLabel* FileLabel;
};

}  // namespace zephron::ui::qt
