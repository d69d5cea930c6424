// The numbered status messages with which the engine and the transfer layer
// report everything they do (the engine's string resources). Each text takes
// at most one argument through "%s".
#pragma once

#include <string>
#include <string_view>

namespace zephron {

enum StatusIdent : int {
  msgNoText = 18,  // before running the patcher; has no text
  msgDownloadUpdateFile = 909,
  msgDownloadUpdateFiles = 910,
  msgShutdownApplication = 911,
  msgEqualSourceTarget = 912,
  msgLocalFileNotFound = 913,
  msgZeroLengthSource = 914,
  msgDownload = 915,
  msgHttpStatus = 916,
  msgFileNotFound = 917,
  msgCheckingConnection = 918,
  msgPromptConnection = 919,
  msgOpeningConnection = 920,
  msgFoundConnection = 921,
  msgCannotOpenConnection = 922,
  msgConnectToHost = 923,
  msgCannotConnectFtpHost = 924,
  msgControlFileNotFound = 925,
  msgControlFileFound = 926,
  msgInvalidSignature = 927,
  msgDateBasedUpdate = 928,
  msgNewVersionFound = 929,
  msgNoNewVersion = 930,
  msgChecksumBasedUpdate = 931,
  msgSizeBasedUpdate = 932,
  msgVersionBasedUpdate = 933,
  msgFoundMessage = 934,
  msgFoundHtmlDialog = 935,
  msgFoundQuery = 936,
  msgFoundWhatsNew = 937,
  msgWhatsNewNotAccepted = 938,
  msgFoundLicense = 939,
  msgLicenseNotAccepted = 940,
  msgFoundUrlRedirection = 941,
  msgFoundUrlShow = 942,
  msgFoundFileUpdate = 943,
  msgVersionCheck = 944,
  msgDownloadUpdate = 945,
  msgCannotDownloadUpdate = 946,
  msgErrorDecompressingCab = 947,
  msgFinishedControlFile = 948,
  msgClosedConnection = 949,
  msgFailedToSpawn = 950,
  msgCannotConnectPost = 951,
  msgCannotAccessPost = 952,
  msgDialupFailed = 953,
  msgClosedFtpConnection = 954,
  msgDisconnectDialup = 955,
  msgAuthenticationCancelled = 956,
  msgAuthenticationFailed = 957,
  msgSpawn = 958,
  msgRestartInDirectory = 959,
  msgThreadedUpdateDone = 960,
  msgRestartAfterThreaded = 961,
  msgFoundAppComponent = 962,
  msgStartProcess = 963,
  msgProcessCancelled = 964,
  msgExtractCab = 965,
  msgOsVersion = 966,
  msgIeVersion = 967,
  msgStartUpdate = 968,
  msgCompiler = 969,
  msgInstalledIdes = 970,
  msgProcessingFile = 971,
  msgCannotDeleteFile = 972,
  msgCannotRenameFile = 973,
  msgChangeFtpDirectory = 974,
  msgCannotChangeFtpDirectory = 975,
  msgSystemError = 976,
  // Signed publications: why a control file was refused, and a download
  // that is not the file the control file describes.
  msgSignatureMissing = 977,
  msgSignatureInvalid = 978,
  msgControlFileReplayed = 979,
  msgControlFileExpired = 980,
  msgDigestMismatch = 981,
};

// The text of an ident, "" for an ident without text.
std::string_view MessageText(int ident);

// The text of an ident with its "%s" replaced by arg (a text without "%s" ignores arg).
std::string FormatMessage(int ident, std::string_view arg);

}  // namespace zephron
