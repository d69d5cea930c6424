#include "tests/windows/win32_ui_support.h"

#include <deque>

#include "ui/win32/win32_form.h"

namespace zephron::test {
namespace {

struct Pending {
  std::wstring caption;
  std::function<void(HWND)> action;
};
std::deque<Pending> gPending;
UINT_PTR gTimer = 0;

struct Search {
  const std::wstring* caption;
  HWND found = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (*search->caption != text) return TRUE;
  search->found = window;
  return FALSE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (gPending.empty()) {
    KillTimer(nullptr, gTimer);
    gTimer = 0;
    return;
  }
  Search search{&gPending.front().caption};
  EnumThreadWindows(GetCurrentThreadId(), &Match, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return;
  auto action = std::move(gPending.front().action);
  gPending.pop_front();
  action(search.found);
}

}  // namespace

void WhenShown(const std::string& caption, std::function<void(HWND)> action) {
  gPending.push_back({ui::win32::WideText(caption), std::move(action)});
  if (!gTimer) gTimer = SetTimer(nullptr, 0, 20, &Tick);
}

void ClickWhenShown(const std::string& caption, int buttonId) {
  WhenShown(caption, [buttonId](HWND window) { PostMessageW(GetDlgItem(window, buttonId), BM_CLICK, 0, 0); });
}

int PendingActions() { return static_cast<int>(gPending.size()); }

}  // namespace zephron::test
