// The library's error numbers for failed libcurl transfers.
#include <cstring>

#include "transfer/internet_internal.h"

namespace zephron::transfer::detail {

void SetErrorFromCurl(CURLcode code, CURL* easy, const char* errorBuffer, bool serverReplied) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return Fail(ERROR_INTERNET_TIMEOUT);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return Fail(ERROR_INTERNET_NAME_NOT_RESOLVED);
    case CURLE_COULDNT_CONNECT:
      return Fail(ERROR_INTERNET_CANNOT_CONNECT);
    case CURLE_URL_MALFORMAT:
      return Fail(12005);
    case CURLE_UNSUPPORTED_PROTOCOL: {
      // Only an https request refuses to be redirected to plain http (libcurl
      // calls that an unsupported protocol, at the refused address).
      char* at = nullptr;
      long redirects = 0;
      curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &at);
      curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
      if (redirects > 0 && at && platform::StartsWithAsciiNoCase(at, "http:")) {
        return Fail(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
                    "The application is moving from an SSL to a non-SSL connection because of a redirect.");
      }
      return Fail(12006);
    }
    case CURLE_LOGIN_DENIED:
      return Fail(ERROR_INTERNET_LOGIN_FAILURE);
    case CURLE_OUT_OF_MEMORY:
      return Fail(8);
    case CURLE_TOO_MANY_REDIRECTS:
      return Fail(12156, "The HTTP redirect request failed");
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
      return Fail(12152);
    case CURLE_SSL_CONNECT_ERROR:
      return Fail(12157);
    case CURLE_PEER_FAILED_VERIFICATION: {
      long verify = 0;
      curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      // OpenSSL's X509_V_ERR_CERT_NOT_YET_VALID and X509_V_ERR_CERT_HAS_EXPIRED.
      if (verify == 9 || verify == 10) return Fail(ERROR_INTERNET_SEC_CERT_DATE_INVALID);
      if (verify == 0 && errorBuffer && std::strstr(errorBuffer, "name")) {
        return Fail(ERROR_INTERNET_SEC_CERT_CN_INVALID);
      }
      return Fail(ERROR_INTERNET_INVALID_CA);
    }
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
      if (serverReplied) return Fail(ERROR_INTERNET_EXTENDED_ERROR);
      break;
    default:
      break;
  }
  const char* text = errorBuffer && *errorBuffer ? errorBuffer : curl_easy_strerror(code);
  Fail(ERROR_INTERNET_INTERNAL_ERROR, text);
}


}  // namespace zephron::transfer::detail
