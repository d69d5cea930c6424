// The "last system error" of the calling thread: the stand-in for GetLastError /
// SetLastError and for the message texts that FormatMessageW gives for the
// Internet library's error numbers. Every failing Internet call sets it; the
// engine's Error report reads it.
#pragma once

#include <cstdint>
#include <string>

namespace zephron::platform {

// The extended Internet error: its text is the server's last response line
// (LastResponseInfo), not a fixed message.
inline constexpr std::uint32_t kErrorInternetExtendedError = 12003;

struct SystemError {
  std::uint32_t code = 0;
  std::string text;  // the message for code; empty when the code has no text of its own
};

// Sets the thread's last error. An empty text is filled from the built-in
// message table (SystemErrorText) when the code is known there.
void SetLastSystemError(std::uint32_t code, std::string text = {});
void ClearLastSystemError();
const SystemError& LastSystemError();

// The message the platform keeps for an error number (the Internet library's
// table and the few general codes the updater meets); empty when unknown.
std::string SystemErrorText(std::uint32_t code);

// The server's last response line (FTP or HTTP) of the calling thread, as
// InternetGetLastResponseInfoW gives it.
void SetLastResponseInfo(std::string text);
const std::string& LastResponseInfo();

}  // namespace zephron::platform
