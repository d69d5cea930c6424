// Text operations on update locations (HTTP and FTP URLs, local and network
// paths): the file name a download is stored under, the host shown in the
// login prompt, and proxy credentials written into an HTTP URL. Plain text
// only: no parsing into parts, no percent-decoding, no validation; they never
// fail. The engine's members of the same names add its events.
#pragma once

#include <string>
#include <string_view>

namespace zephron::url {

// The text after the last "/", then after the last "\" of that, then after
// the last "?" of that. A location ending in "/" yields "", a query replaces
// the name, a plain name comes back unchanged.
std::string URLtoFile(std::string_view location);

// The authority as written ("user:pw@host:port"): the text after the first
// "://" (when there is one) up to the first "/", and of that up to the first
// "\". A network path "\\server\share" yields "".
std::string URLToDomain(std::string_view location);

// With a non-empty proxyuser, a URL whose scheme is "http://" (any case) comes
// back as "http://" + proxyuser + ":" + proxypwd + "@" + the rest; every other
// location is returned unchanged. No escaping is done.
std::string MakeProxyUrl(std::string_view location, std::string_view proxyuser, std::string_view proxypwd);

}  // namespace zephron::url
