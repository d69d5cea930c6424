// The updater's own HTTP client (the window's IdHTTP): a GET that does not
// follow redirections, reporting the target of each one. Any answer of 300 or
// more ends the request as an error, whatever its body.
//
// Only whether the answer has a body matters to its user (a redirector
// answers with an empty one), so the client keeps at most the first byte of a
// body and reads no more than 64 KiB of it; and the whole request is bounded
// by TimeLimitMs. Its connections go to the Internet layer's pool, so that
// the requests after a redirector's answer can use the same connection.
#pragma once

#include <functional>
#include <string>

namespace zephron {

struct THttpGetResult {
  bool ok = false;      // a 2xx answer was received (its body up to the first byte)
  int status = 0;       // the HTTP status, 0 when no answer came
  std::string body;     // empty, or the first byte of the body of a successful answer
  std::string error;    // why the request failed
};

class TIdHTTP {
 public:
  // Receives the Location of a redirection answer (the client does not follow it).
  std::function<void(std::string& dest)> OnRedirect;

  // The longest a request may take, from connecting to its answer (ms).
  long TimeLimitMs = 30000;

  THttpGetResult Get(const std::string& url) const;
};

}  // namespace zephron
