// The message texts of the error numbers the updater meets, as Windows
// keeps them, for the systems that have no such table.
#include <array>

#include "platform/last_error.h"

namespace zephron::platform {
namespace {

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

// General codes and the Internet library's range (12001 and up) that the
// transfer layer maps its failures onto.
constexpr std::array kErrorTexts{
    ErrorText{2, "The system cannot find the file specified."},
    ErrorText{3, "The system cannot find the path specified."},
    ErrorText{5, "Access is denied."},
    ErrorText{8, "Not enough memory resources are available to process this command."},
    ErrorText{32, "The process cannot access the file because it is being used by another process."},
    ErrorText{87, "The parameter is incorrect."},
    ErrorText{112, "There is not enough space on the disk."},
    ErrorText{183, "Cannot create a file when that file already exists."},
    ErrorText{12001, "No more handles could be generated at this time."},
    ErrorText{12002, "The operation timed out"},
    ErrorText{12004, "An internal error occurred in the Microsoft Internet extensions."},
    ErrorText{12005, "The URL is invalid."},
    ErrorText{12006, "The URL does not use a recognized protocol"},
    ErrorText{12007, "The server name or address could not be resolved"},
    ErrorText{12009, "A request to InternetQueryOption or InternetSetOption specified an invalid option value."},
    ErrorText{12013, "The user name is incorrect"},
    ErrorText{12014, "The password is incorrect"},
    ErrorText{12015, "The login request was denied"},
    ErrorText{12017, "The operation was canceled, usually because the handle on which the request was operating was closed before the operation completed."},
    ErrorText{12018, "The type of handle supplied is incorrect for this operation."},
    ErrorText{12019, "The requested operation cannot be carried out because the handle supplied is not in the correct state."},
    ErrorText{12029, "A connection with the server could not be established"},
    ErrorText{12030, "The connection with the server was terminated abnormally"},
    ErrorText{12031, "The connection with the server was reset"},
    ErrorText{12037, "The date in the certificate is invalid or has expired"},
    ErrorText{12038, "The host name in the certificate is invalid or does not match"},
    ErrorText{12044, "A client certificate is needed to authenticate to the server"},
    ErrorText{12045, "The certificate authority is invalid or incorrect"},
    ErrorText{12110, "The requested operation cannot be made on the FTP session handle because an operation is already in progress."},
    ErrorText{12111, "The FTP operation was not completed because the session was aborted."},
    ErrorText{12150, "The requested header could not be located."},
    ErrorText{12152, "The server response could not be parsed."},
    ErrorText{12157, "An error occurred in the secure channel support"},
    ErrorText{12175, "A security error occurred"},
};

}  // namespace

std::string SystemErrorText(std::uint32_t code) {
  for (const auto& entry : kErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  return {};
}

}  // namespace zephron::platform
