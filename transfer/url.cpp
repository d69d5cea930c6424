#include "transfer/url.h"

#include "platform/ascii_case.h"

namespace zephron::url {
namespace {

std::string_view AfterLast(std::string_view text, char c) {
  const auto pos = text.rfind(c);
  return pos == std::string_view::npos ? text : text.substr(pos + 1);
}

std::string_view BeforeFirst(std::string_view text, char c) {
  const auto pos = text.find(c);
  return pos == std::string_view::npos ? text : text.substr(0, pos);
}

}  // namespace

std::string URLtoFile(std::string_view location) {
  // The order matters: a "/" inside a query is cut before the query is looked at.
  return std::string(AfterLast(AfterLast(AfterLast(location, '/'), '\\'), '?'));
}

std::string URLToDomain(std::string_view location) {
  if (const auto pos = location.find("://"); pos != std::string_view::npos) location.remove_prefix(pos + 3);
  return std::string(BeforeFirst(BeforeFirst(location, '/'), '\\'));
}

std::string MakeProxyUrl(std::string_view location, std::string_view proxyuser, std::string_view proxypwd) {
  constexpr std::string_view kScheme = "http://";
  if (proxyuser.empty() || !platform::StartsWithAsciiNoCase(location, kScheme)) return std::string(location);
  std::string result(kScheme);
  result.append(proxyuser).append(":").append(proxypwd).append("@").append(location.substr(kScheme.size()));
  return result;
}

}  // namespace zephron::url
