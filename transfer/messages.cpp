#include "transfer/messages.h"

#include <array>

namespace zephron {
namespace {

struct Message {
  int ident;
  std::string_view text;
};

constexpr std::array kMessages{
    Message{909, "Download update file : "},
    Message{910, "Download update files ?"},
    Message{911, "Shutdown application to update executable files ?"},
    Message{912, "Equal source and target files : %s"},
    Message{913, "File not found : %s"},
    Message{914, "Zero length source file : %s"},
    Message{915, "Download : %s"},
    Message{916, "Http status : %s"},
    Message{917, "File not found : %s"},
    Message{918, "Checking for Internet connection"},
    Message{919, "Prompt to open new Internet connection"},
    Message{920, "Opening Internet connection"},
    Message{921, "Found open Internet connection"},
    Message{922, "Cannot open Internet connection"},
    Message{923, "Connect to host : %s"},
    Message{924, "Cannot connect to FTP host : %s"},
    Message{925, "Update control file not found"},
    Message{926, "Update control file found"},
    Message{927, "Invalid signature in update control file"},
    Message{928, "Date based update found"},
    Message{929, "New version found : %s"},
    Message{930, "No new version found"},
    Message{931, "Checksum based update found"},
    Message{932, "File size based update found"},
    Message{933, "Version based update found"},
    Message{934, "Found message instruction"},
    Message{935, "Found HTML dialog instruction"},
    Message{936, "Found query instruction"},
    Message{937, "Found whatsnew instruction"},
    Message{938, "Whatsnew not accepted"},
    Message{939, "Found license agreement instruction"},
    Message{940, "License agreement not accepted"},
    Message{941, "Found URL redirection instruction"},
    Message{942, "Found URL show instruction"},
    Message{943, "Found file update instruction"},
    Message{944, "Version check : %s"},
    Message{945, "Download update : %s"},
    Message{946, "Cannot download update file : %s"},
    Message{947, "Error decompressing CAB file : %s"},
    Message{948, "Finished processing update control file"},
    Message{949, "Closed Internet connection"},
    Message{950, "Failed to spawn updater process : %s"},
    Message{951, "Cannot connect to server for post"},
    Message{952, "Cannot access resource for post"},
    Message{953, "Dialup failed"},
    Message{954, "Closed FTP connection"},
    Message{955, "Disconnect dialup"},
    Message{956, "Authentication cancelled"},
    Message{957, "Authentication failed"},
    Message{958, "Spawn %s"},
    Message{959, "Restart app in directory : %s"},
    Message{960, "Threaded update execution done"},
    Message{961, "Restart after threaded update"},
    Message{962, "Found application component : %s"},
    Message{963, "Start Zephron process with version : %s"},
    Message{964, "Zephron process cancelled"},
    Message{965, "Extract CAB file : %s"},
    Message{966, "OS version : %s"},
    Message{967, "IE version : %s"},
    Message{968, "Start update : %s ---------------------------"},
    Message{969, "Compiler : %s"},
    Message{970, "Installed IDEs : %s"},
    Message{971, "Processing file : %s"},
    Message{972, "Cannot delete file : %s"},
    Message{973, "Cannot rename file : %s"},
    Message{974, "Change FTP directory to : %s"},
    Message{975, "Cannot change FTP directory to : %s"},
    Message{976, "System error : %s"},
    Message{977, "Missing signature of update control file : %s"},
    Message{978, "Signature of update control file does not verify : %s"},
    Message{979, "Update control file older than the one accepted before : %s"},
    Message{980, "Update control file expired : %s"},
    Message{981, "Downloaded file does not match its digest : %s"},
};

}  // namespace

std::string_view MessageText(int ident) {
  for (const auto& message : kMessages) {
    if (message.ident == ident) return message.text;
  }
  return {};
}

std::string FormatMessage(int ident, std::string_view arg) {
  const std::string_view text = MessageText(ident);
  std::string result(text);
  if (const auto pos = result.find("%s"); pos != std::string::npos) result.replace(pos, 2, arg);
  return result;
}

}  // namespace zephron
