// The engine's location helpers; the text work is transfer/url.
#include "engine/zephron.h"
#include "transfer/url.h"

namespace zephron {

std::string TZephron::URLtoFile(const std::string& URL) {
  std::string name = url::URLtoFile(URL);
  if (OnFileNameFromURL) OnFileNameFromURL(*this, URL, name);
  return name;
}

std::string TZephron::URLToDomain(const std::string& URL) const { return url::URLToDomain(URL); }

std::string TZephron::MakeProxyUrl(const std::string& url, const std::string& proxyuser,
                                   const std::string& proxypwd) const {
  return url::MakeProxyUrl(url, proxyuser, proxypwd);
}

}  // namespace zephron
