// client_watch.hpp - the web server's connection for the request being
// served, watched while a statement runs: when the web server hangs it up
// because its client has gone, the running statement is cancelled rather
// than left to hold the process. Only a persistent host knows that
// connection; a CGI process is simply ended by its web server.
#pragma once

namespace kestrel::db {

// Watch fd (the FastCGI connection) from now on; -1: watch nothing.
void watch_client(int fd);

// The connection to watch, -1 when none.
int watched_client();

}  // namespace kestrel::db
