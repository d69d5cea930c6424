// The updater's own HTTP client (the window's IdHTTP): a GET that returns the
// body as text and does not follow redirections, reporting the target of each
// one. Any answer of 300 or more ends the request as an error, whatever its body.
#pragma once

#include <functional>
#include <string>

namespace zephron {

struct THttpGetResult {
  bool ok = false;      // a 2xx answer was received whole
  int status = 0;       // the HTTP status, 0 when no answer came
  std::string body;     // the body of a successful answer
  std::string error;    // why the request failed
};

class TIdHTTP {
 public:
  // Receives the Location of a redirection answer (the client does not follow it).
  std::function<void(std::string& dest)> OnRedirect;

  THttpGetResult Get(const std::string& url) const;
};

}  // namespace zephron
