// File names, host texts and proxy URLs taken from update locations.
#include "transfer/url.h"

#include <gtest/gtest.h>

namespace zephron::url {
namespace {

TEST(UrlToFile, TakesTheLastElementOfEveryKindOfLocation) {
  EXPECT_EQ(URLtoFile("http://host/dir/update.inf"), "update.inf");
  EXPECT_EQ(URLtoFile("\\\\server\\share\\dir\\update.inf"), "update.inf");
  EXPECT_EQ(URLtoFile("ftp://host/dir/"), "");
  EXPECT_EQ(URLtoFile("update.inf"), "update.inf");
  EXPECT_EQ(URLtoFile(""), "");
  EXPECT_EQ(URLtoFile("/home/user/dir\\mixed\\x.cab"), "x.cab");
}

TEST(UrlToFile, QueryReplacesTheName) {
  EXPECT_EQ(URLtoFile("http://host/get.php?file=a.inf"), "file=a.inf");
  EXPECT_EQ(URLtoFile("http://host/a?b?c"), "c");
}

TEST(UrlToFile, SlashInsideTheQueryIsCutFirst) { EXPECT_EQ(URLtoFile("http://host/x?a/b"), "b"); }

TEST(UrlToDomain, TakesTheAuthorityAsWritten) {
  EXPECT_EQ(URLToDomain("http://host/path/file"), "host");
  EXPECT_EQ(URLToDomain("ftp://host:21/a"), "host:21");
  EXPECT_EQ(URLToDomain("server\\share"), "server");
  EXPECT_EQ(URLToDomain("host"), "host");
  EXPECT_EQ(URLToDomain("http://user:pw@host:8080/a"), "user:pw@host:8080");
  EXPECT_EQ(URLToDomain("\\\\server\\share\\x"), "");
  EXPECT_EQ(URLToDomain("http://host\\x/y"), "host");
  EXPECT_EQ(URLToDomain(""), "");
}

TEST(MakeProxyUrl, PutsCredentialsIntoPlainHttpOnly) {
  EXPECT_EQ(MakeProxyUrl("HTTP://Host/a", "u", ""), "http://u:@Host/a");
  EXPECT_EQ(MakeProxyUrl("http://host/a", "u", "p"), "http://u:p@host/a");
  EXPECT_EQ(MakeProxyUrl("https://host/a", "u", "p"), "https://host/a");
  EXPECT_EQ(MakeProxyUrl("http://host/a", "", "p"), "http://host/a");
  EXPECT_EQ(MakeProxyUrl("ftp://host/a", "u", "p"), "ftp://host/a");
  EXPECT_EQ(MakeProxyUrl("\\\\server\\share", "u", "p"), "\\\\server\\share");
  EXPECT_EQ(MakeProxyUrl(" http://host/a", "u", "p"), " http://host/a");  // must match at the first character
  EXPECT_EQ(MakeProxyUrl("http:/", "u", "p"), "http:/");
  EXPECT_EQ(MakeProxyUrl("http://", "u", "p"), "http://u:p@");
}

}  // namespace
}  // namespace zephron::url
