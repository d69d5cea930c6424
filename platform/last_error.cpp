#include "platform/last_error.h"

#include <utility>

namespace zephron::platform {
namespace {

thread_local SystemError tLastError;
thread_local std::string tLastResponse;

}  // namespace

void SetLastSystemError(std::uint32_t code, std::string text) {
  tLastError.code = code;
  tLastError.text = text.empty() ? SystemErrorText(code) : std::move(text);
}

void ClearLastSystemError() { tLastError = SystemError{}; }

const SystemError& LastSystemError() { return tLastError; }

void SetLastResponseInfo(std::string text) { tLastResponse = std::move(text); }

const std::string& LastResponseInfo() { return tLastResponse; }

}  // namespace zephron::platform
