// fastcgi_host.hpp - the persistent host: one process serves the requests
// that a FastCGI web server sends it. Init runs once, each request goes
// through the steps shared with the CGI host, shutdown runs when the server
// stops the process; the database session may outlive a request
// (reuse_connection).
#pragma once

namespace kestrel {

// Serves the requests arriving on the listening socket the web server
// passed as standard input, one at a time, until SIGTERM, SIGUSR1 or SIGINT
// arrives or the socket fails; a request being served is finished first.
// Started on anything but a listening socket, it serves the one CGI request
// of the process instead (run_cgi_host). Returns the exit status.
int run_fastcgi_host(char** envp);

}  // namespace kestrel
