// fastcgi_records.hpp - a large response body written as FastCGI stdout
// records of up to 64 KiB straight from the caller's buffer, where libfcgi
// would copy it through its 8 KiB buffer and make a record and a system call
// of every 8 KiB.
#pragma once

#include <span>

namespace kestrel {

// Writes data to fd as stdout records of the request. False when the
// connection failed (part of it may have gone).
bool write_stdout_records(int fd, int request_id, std::span<const char> data);

}  // namespace kestrel
