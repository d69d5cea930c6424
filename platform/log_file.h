// Appending to a log file whose folder may not exist yet (a fresh account
// has no documents or application-data folder of ours). Logs never stop the
// work they record: an entry that cannot be written is lost, and the first
// loss of each log file in the process is reported on standard error so that
// no log is lost silently.
#pragma once

#include <string>
#include <string_view>

namespace zephron::platform {

// Appends the bytes (AppendToFile), creating the file's folder when it is
// missing (never a folder directly under the root). False when the entry is lost; `what` names the log in the
// warning ("updater log", "engine log").
bool AppendLogEntry(const std::string& path, std::string_view bytes, std::string_view what);

}  // namespace zephron::platform
