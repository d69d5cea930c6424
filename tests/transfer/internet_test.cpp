// The Internet library stand-in against real servers: handle semantics,
// streamed reads, the last error and the last server response.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include <array>
#include <memory>
#include <string>

#include "platform/last_error.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"
#include "transfer/internet.h"

namespace zephron::transfer {
namespace {

using test::FtpServer;
using test::NginxServer;

class Internet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      nginx_ = std::make_unique<NginxServer>();
      ftp_ = std::make_unique<FtpServer>();
    } catch (const std::exception& e) {
      error_ = e.what();
    }
  }
  static void TearDownTestSuite() {
    nginx_.reset();
    ftp_.reset();
  }
  void SetUp() override {
    if (!nginx_ || !ftp_) FAIL() << "servers are not running: " << error_;
    session = InternetOpenW("InternetTest", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    ASSERT_TRUE(session);
  }

  std::string ReadAll(const HInternet& file, std::size_t block, std::size_t* largest = nullptr) {
    std::string all;
    std::vector<std::byte> buffer(block);
    for (;;) {
      std::uint32_t read = 0;
      EXPECT_TRUE(InternetReadFile(file, buffer, read));
      if (read == 0) break;
      if (largest) *largest = std::max<std::size_t>(*largest, read);
      all.append(reinterpret_cast<const char*>(buffer.data()), read);
    }
    return all;
  }

  static inline std::unique_ptr<NginxServer> nginx_;
  static inline std::unique_ptr<FtpServer> ftp_;
  static inline std::string error_;
  HInternet session;
};

TEST_F(Internet, StatusAndLengthAreKnownBeforeTheBodyIsRead) {
  const std::string body(3'000'000, 'b');
  test::WriteFile(nginx_->DocRoot() / "large.bin", body);
  HInternet request = InternetOpenUrlW(session, nginx_->Url("/large.bin"), "", INTERNET_FLAG_RELOAD, 0);
  ASSERT_TRUE(request);
  std::uint32_t status = 0, length = 0;
  ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status));
  ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length));
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(length, body.size());
  EXPECT_EQ(InternetGetLastResponseInfoW(), "HTTP/1.1 200 OK");
  std::size_t largest = 0;
  EXPECT_EQ(ReadAll(request, 4096, &largest), body);
  EXPECT_EQ(largest, 4096u);
  EXPECT_TRUE(InternetCloseHandle(request));
}

TEST_F(Internet, ClosingAHandleClosesItForEveryCopy) {
  HInternet copy = session;
  EXPECT_TRUE(InternetCloseHandle(session));
  EXPECT_FALSE(session);
  EXPECT_FALSE(copy);
  EXPECT_FALSE(InternetOpenUrlW(copy, nginx_->Url("/"), "", 0, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INVALID_HANDLE);
}

TEST_F(Internet, ReadsUnderATransferTimeLimitStillFillEachBuffer) {
  const std::string body(200'000, 't');
  test::WriteFile(nginx_->DocRoot() / "limited.bin", body);
  ASSERT_TRUE(InternetSetOptionW(session, ZEPHRON_OPTION_TRANSFER_TIME_LIMIT, 60000));
  HInternet request = InternetOpenUrlW(session, nginx_->Url("/limited.bin"), "", INTERNET_FLAG_RELOAD, 0);
  ASSERT_TRUE(request);
  std::size_t largest = 0;
  EXPECT_EQ(ReadAll(request, 4096, &largest), body);
  EXPECT_EQ(largest, 4096u);
}

TEST_F(Internet, RedirectsAreFollowedUpToTenTimes) {
  test::WriteFile(nginx_->DocRoot() / "hops.txt", "arrived");
  std::string path = "/hops.txt";
  for (int i = 0; i < 10; ++i) path = "/go" + path;
  HInternet request = InternetOpenUrlW(session, nginx_->Url(path), "", INTERNET_FLAG_RELOAD, 0);
  ASSERT_TRUE(request) << platform::LastSystemError().code;
  EXPECT_EQ(ReadAll(request, 4096), "arrived");
  EXPECT_FALSE(InternetOpenUrlW(session, nginx_->Url("/go" + path), "", INTERNET_FLAG_RELOAD, 0));
  EXPECT_EQ(platform::LastSystemError().code, 12156u);
}

TEST_F(Internet, RequestOutlivesItsClosedSession) {
  test::WriteFile(nginx_->DocRoot() / "outlives.txt", "still here");
  HInternet request = InternetOpenUrlW(session, nginx_->Url("/outlives.txt"), "", 0, 0);
  ASSERT_TRUE(request);
  EXPECT_TRUE(InternetCloseHandle(session));
  EXPECT_EQ(ReadAll(request, 4096), "still here");
}

TEST_F(Internet, NamesUnderInvalidFailAtOnceAsUnresolved) {
  EXPECT_FALSE(InternetOpenUrlW(session, "http://updates.example.invalid/file.bin", "", 0, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_NAME_NOT_RESOLVED);
  EXPECT_FALSE(InternetConnectW(session, "ftp.invalid", 21, "", "", INTERNET_SERVICE_FTP, 0, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_NAME_NOT_RESOLVED);
}

TEST_F(Internet, WrongKindOfHandleIsRefused) {
  std::array<std::byte, 16> buffer;
  std::uint32_t read = 7;
  EXPECT_FALSE(InternetReadFile(session, buffer, read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST_F(Internet, PreparedRequestIsSentOnceAndAnswersWithItsStatus) {
  HInternet connection = InternetConnectW(session, "127.0.0.1", static_cast<std::uint16_t>(nginx_->port()), "", "",
                                          INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_TRUE(connection);
  // nginx answers a POST to a static file with 405.
  test::WriteFile(nginx_->DocRoot() / "index.html", "<html></html>");
  HInternet request = HttpOpenRequestW(connection, "POST", "/index.html", "", "", 0, 0);
  ASSERT_TRUE(request);
  ASSERT_TRUE(HttpSendRequestA(request, "Content-Type: text/plain", "x"));
  std::uint32_t status = 0;
  ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status));
  EXPECT_EQ(status, 405u);
  EXPECT_FALSE(HttpSendRequestA(request, "", ""));
}

TEST_F(Internet, ConnectionCredentialsAnswerTheServersChallenge) {
  test::WriteFile(nginx_->DocRoot() / "private/file.txt", "guarded");
  const auto statusWith = [&](const std::string& password) {
    HInternet connection = InternetConnectW(session, "127.0.0.1", static_cast<std::uint16_t>(nginx_->port()),
                                            NginxServer::kUser, password, INTERNET_SERVICE_HTTP, 0, 0);
    HInternet request = HttpOpenRequestW(connection, "GET", "/private/file.txt", "", "", INTERNET_FLAG_RELOAD, 0);
    std::uint32_t status = 0;
    if (!HttpSendRequestA(request, "", "") ||
        !HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status)) {
      ADD_FAILURE() << "no answer: " << platform::LastSystemError().code;
    }
    return status;
  };
  EXPECT_EQ(statusWith(NginxServer::kPassword), 200u);
  EXPECT_EQ(statusWith("wrong"), 401u);
}

TEST_F(Internet, SelfSignedCertificateIsRefusedUnlessTheSessionAllowsIt) {
  test::WriteFile(nginx_->DocRoot() / "secure.txt", "sealed");
  EXPECT_FALSE(InternetOpenUrlW(session, nginx_->TlsUrl("/secure.txt"), "", INTERNET_FLAG_RELOAD, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_INVALID_CA);
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA));
  HInternet request = InternetOpenUrlW(session, nginx_->TlsUrl("/secure.txt"), "", INTERNET_FLAG_RELOAD, 0);
  ASSERT_TRUE(request) << platform::LastSystemError().code;
  EXPECT_EQ(ReadAll(request, 4096), "sealed");
}

TEST_F(Internet, ConnectTimeOutEndsAConnectThatGetsNoAnswer) {
  EXPECT_FALSE(InternetSetOptionW(session, 9999, 1));
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, 1500));
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 1500));
  test::BlackHole hole;
  const auto started = std::chrono::steady_clock::now();
  HInternet request = InternetOpenUrlW(session, "http://127.0.0.1:" + std::to_string(hole.port()) + "/x", "", 0, 0);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_FALSE(request);
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_TIMEOUT);
  // Without the option the library waits for minutes; the bound is generous.
  EXPECT_LT(waited, std::chrono::seconds(30));
}

class InternetFtp : public Internet {
 protected:
  HInternet Connect(const std::string& user, const std::string& password, bool passive = true) {
    return InternetConnectW(session, "127.0.0.1", static_cast<std::uint16_t>(ftp_->port()), user, password,
                            INTERNET_SERVICE_FTP, passive ? INTERNET_FLAG_PASSIVE : 0, 0);
  }
};

TEST_F(Internet, HttpsFollowsOnlyHttpsRedirects) {
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA));
  test::WriteFile(nginx_->DocRoot() / "redirected.txt", "landed");
  HInternet secure = InternetOpenUrlW(session, nginx_->TlsUrl("/to-secure"), "", 0, 0);
  ASSERT_TRUE(secure);
  EXPECT_EQ(ReadAll(secure, 4096), "landed");

  EXPECT_FALSE(InternetOpenUrlW(session, nginx_->TlsUrl("/redirect"), "", 0, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
}

TEST_F(InternetFtp, SizeLookupAndBinaryReadOnOneSession) {
  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 256);  // CR, LF and all
  test::WriteFile(ftp_->UserRoot() / "sub/data.bin", data);
  HInternet ftp = Connect(FtpServer::kUser, FtpServer::kPassword);
  ASSERT_TRUE(ftp);
  ASSERT_TRUE(FtpSetCurrentDirectoryW(ftp, "sub"));
  WIN32_FIND_DATAW entry;
  HInternet found = FtpFindFirstFileW(ftp, "data.bin", entry, 0, 0);
  ASSERT_TRUE(found);
  EXPECT_EQ(entry.nFileSizeLow, data.size());
  HInternet file = FtpOpenFileW(ftp, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  ASSERT_TRUE(file);
  // One transfer at a time on a session.
  EXPECT_FALSE(FtpFindFirstFileW(ftp, "data.bin", entry, 0, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_FTP_TRANSFER_IN_PROGRESS);
  EXPECT_TRUE(ReadAll(file, 4096) == data);
  InternetCloseHandle(file);
  EXPECT_TRUE(FtpFindFirstFileW(ftp, "data.bin", entry, 0, 0));
}

TEST_F(InternetFtp, FileReadUnderATransferTimeLimitIsWhole) {
  std::string data(150000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  test::WriteFile(ftp_->UserRoot() / "limited.bin", data);
  ASSERT_TRUE(InternetSetOptionW(session, ZEPHRON_OPTION_TRANSFER_TIME_LIMIT, 60000));
  HInternet ftp = Connect(FtpServer::kUser, FtpServer::kPassword);
  ASSERT_TRUE(ftp);
  HInternet file = FtpOpenFileW(ftp, "limited.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  ASSERT_TRUE(file);
  std::size_t largest = 0;
  EXPECT_TRUE(ReadAll(file, 4096, &largest) == data);
  EXPECT_EQ(largest, 4096u);
}

TEST_F(InternetFtp, MissingFileIsNotListed) {
  HInternet ftp = Connect("", "");
  ASSERT_TRUE(ftp);
  WIN32_FIND_DATAW entry;
  EXPECT_FALSE(FtpFindFirstFileW(ftp, "absent.bin", entry, 0, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_NO_MORE_FILES);
}

TEST_F(InternetFtp, RefusedDirectoryChangeIsExtendedErrorWithServerReply) {
  HInternet ftp = Connect(FtpServer::kUser, FtpServer::kPassword);
  ASSERT_TRUE(ftp);
  EXPECT_FALSE(FtpSetCurrentDirectoryW(ftp, "nowhere"));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_EQ(InternetGetLastResponseInfoW().substr(0, 4), "550 ");
}

TEST_F(InternetFtp, RefusedRetrievalIsExtendedErrorWithServerReply) {
  HInternet ftp = Connect(FtpServer::kUser, FtpServer::kPassword, false);
  ASSERT_TRUE(ftp);
  EXPECT_FALSE(FtpOpenFileW(ftp, "absent.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_EQ(InternetGetLastResponseInfoW().substr(0, 4), "550 ");
}

TEST_F(InternetFtp, LogOnToAServerThatNeverAnswersEndsAtTheTimeOut) {
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, 1000));
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 1000));
  test::BlackHole hole;
  EXPECT_FALSE(InternetConnectW(session, "127.0.0.1", static_cast<std::uint16_t>(hole.port()), "", "",
                                INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_TIMEOUT);
}

TEST_F(InternetFtp, WrongPasswordIsLoginFailure) {
  EXPECT_FALSE(Connect(FtpServer::kUser, "wrong"));
  EXPECT_EQ(platform::LastSystemError().code, ERROR_INTERNET_LOGIN_FAILURE);
}

// Bodies that break off: each read fails with the reason as its last error.
class InternetBrokenBody : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      script_ = std::make_unique<test::ScriptHttpServer>();
    } catch (const std::exception& e) {
      error_ = e.what();
    }
  }
  static void TearDownTestSuite() { script_.reset(); }
  void SetUp() override {
    if (!script_) FAIL() << "HTTP helper is not running: " << error_;
    session = InternetOpenW("InternetTest", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    ASSERT_TRUE(session);
  }
  // The last error of the read that failed; 0 when the body was read to its end.
  std::uint32_t ReadFailure(const std::string& path) {
    HInternet request = InternetOpenUrlW(session, script_->Url(path), "", INTERNET_FLAG_RELOAD, 0);
    if (!request) return platform::LastSystemError().code;
    std::array<std::byte, 4096> buffer;
    std::uint32_t read = 0;
    do {
      if (!InternetReadFile(request, buffer, read)) return platform::LastSystemError().code;
    } while (read > 0);
    return 0;
  }

  static inline std::unique_ptr<test::ScriptHttpServer> script_;
  static inline std::string error_;
  HInternet session;
};

TEST_F(InternetBrokenBody, ConnectionClosedBeforeTheAnnouncedLengthIsAborted) {
  EXPECT_EQ(ReadFailure("/cut"), ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST_F(InternetBrokenBody, StalledBodyEndsAtTheReceiveTimeOut) {
  ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 1000));
  EXPECT_EQ(ReadFailure("/stall"), ERROR_INTERNET_TIMEOUT);
}

TEST_F(InternetBrokenBody, TrickleEndsAtTheTransferTimeLimit) {
  ASSERT_TRUE(InternetSetOptionW(session, ZEPHRON_OPTION_TRANSFER_TIME_LIMIT, 600));
  EXPECT_EQ(ReadFailure("/trickle"), ERROR_INTERNET_TIMEOUT);
}

TEST(Connectivity, OfflineVariableMakesTheMachineOffline) {
  test::Sandbox sandbox;
  sandbox.SetEnv("ZEPHRON_OFFLINE", "1");
  std::uint32_t flags = 0;
  EXPECT_EQ(InternetGetConnectedState(flags, 0), 0);
  EXPECT_EQ(flags, INTERNET_CONNECTION_OFFLINE);
}

TEST(Connectivity, DialUpIsNotAvailableOnLinux) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has dial-up: the system's own calls answer there";
#else
  EXPECT_EQ(InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, 0), -1);
  EXPECT_EQ(InternetAutodialHangup(0), -1);
#endif
}

}  // namespace
}  // namespace zephron::transfer
