// Answers the Win32 windows of a test the way a user does: a thread timer
// waits for a window of this thread with the given caption to show, then
// acts on it (types into it, presses a button). The modal loops of the
// dialogs and message boxes dispatch the timer, so a test opens a dialog
// and gets its result as a user's click made it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace zephron::test {

// Queues an action for the next shown window captioned so; actions run in order.
void WhenShown(const std::string& caption, std::function<void(HWND)> action);
// The action most tests need: press the button with this id.
void ClickWhenShown(const std::string& caption, int buttonId);
// Actions still waiting for their window.
int PendingActions();

}  // namespace zephron::test
