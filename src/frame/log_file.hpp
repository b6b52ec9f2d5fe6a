// log_file.hpp - appending one line to a log file (trace, fallback and
// error logs). Logs carry request details, so they are created readable by
// their owner only, or by a configured group too.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Appends text and a newline in one open-append-close cycle. A file it
// creates gets mode 0600, or 0640 and the group named by the [DBAUTH] key
// log_group when that group exists; an existing file loses any access for
// others. False when the file cannot be opened.
bool append_log_line(const std::string& path, std::string_view text);

}  // namespace kestrel
