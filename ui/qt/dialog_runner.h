// How every modal window of the Qt front end is run: the exclamation sound
// where the updater wants one, a count of the dialogs open right now, and a
// hook that sees each dialog once it is on screen, so tests answer dialogs
// through the same path a user does instead of waiting for them.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

namespace zephron::ui::qt {

// Called once the dialog's own event loop runs; may accept, reject or click a button.
std::function<void(QDialog&)>& OnDialogShown();
// Modal dialogs shown at this moment.
int OpenDialogs();
// Dialogs shown since the start of the program.
int DialogsShown();

// exec() with the count and the hook around it.
int RunDialog(QDialog& dialog);

// The caption of the updater's message boxes; "Corvexis Zephron" until the program sets its title.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

QString FromUtf8(const std::string& text);

}  // namespace zephron::ui::qt
