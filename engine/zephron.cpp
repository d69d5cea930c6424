// The engine's object model: construction, the file list, the Utility
// reference and the download folder.
#include "engine/zephron.h"

#include <algorithm>

#include "platform/paths.h"
#include "platform/special_folders.h"
#include "ui/console_dialogs.h"

namespace zephron {

TFileDescription& TFileList::Add() { return items_.emplace_back(); }

TFileDescription& TFileList::Insert(int index) {
  const auto at = std::clamp(index, 0, Count());
  return *items_.emplace(items_.begin() + at);
}

void TFileList::Delete(int index) { items_.erase(items_.begin() + index); }

namespace {
// The sums are 32-bit signed and wrap like the original's integer arithmetic;
// unsigned addition keeps that free of undefined behaviour.
std::int32_t WrappingSum(const std::vector<TFileDescription>& items, std::size_t count) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < count && i < items.size(); ++i) sum += static_cast<std::uint32_t>(items[i].FileSize);
  return static_cast<std::int32_t>(sum);
}
}  // namespace

std::int32_t TFileList::TotalSize() const { return WrappingSum(items_, items_.size()); }

std::int32_t TFileList::CompletedSize() const {
  return WrappingSum(items_, static_cast<std::size_t>(std::max(ActiveItem, 0)));
}

TZephronUtility::~TZephronUtility() {
  // Copy first: Notification unregisters the engine from referrers_.
  const auto engines = referrers_;
  for (TZephron* engine : engines) engine->Notification(*this);
}

TZephron::TZephron() { SetLogFileName("ZEPHRON.LOG"); }

TZephron::~TZephron() {
  // A threaded run still going uses this engine to its end.
  if (FThread.joinable()) FThread.join();
  SetUtility(nullptr);
}

void TZephron::SetLogFileName(std::string name) {
  FLogFileName = name;
  SetEngineLogPath(std::move(name));
}

void TZephron::SetUtility(TZephronUtility* utility) {
  if (FUtility == utility) return;
  if (FUtility) std::erase(FUtility->referrers_, this);
  FUtility = utility;
  if (FUtility) FUtility->referrers_.push_back(this);
}

void TZephron::Notification(TZephronUtility& removed) {
  if (FUtility == &removed) SetUtility(nullptr);
}

ui::Dialogs& TZephron::Dialogs() const {
  static ui::ConsoleDialogs console;
  return FDialogs ? *FDialogs : console;
}

std::string TZephron::WinTempDir() const {
  // What a signed update downloads is checked once; in the shared temporary
  // folder another user could put something else in its place before it
  // is installed.
  if (UseWinTempDir && !PublicKey.empty()) return PrivateDownloadFolder();
  return platform::IncludeTrailingPathDelimiter(UseWinTempDir ? platform::TempFolder() : TempDirectory);
}

}  // namespace zephron
