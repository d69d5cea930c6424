// Folders that only the current user can enter: signed downloads wait there,
// where no other user of the machine can swap a file under the updater.
#pragma once

#include <string>

namespace zephron::platform {

// True when path is a folder (not a link to one) that the current user owns
// and nobody else may enter.
bool IsPrivateFolder(const std::string& path);

// The folder "<parent>/<name>-<user>" (user: what tells this user from
// others), made private to the current user when it is missing. When that
// name is someone else's, or not private, a fresh private folder beside it
// instead. Its path without a trailing '/'; the first name when neither
// could be made.
std::string MakePrivateFolder(const std::string& parent, const std::string& name);

}  // namespace zephron::platform
