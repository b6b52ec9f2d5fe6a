// cgi_host.hpp - the host that drives the cartridge once per process as a
// CGI program: help page, directories derived from the application file,
// then init, one request and shutdown.
#pragma once

#include "host/host.hpp"

namespace kestrel {

// main: returns 1 after shutdown (0 after the help page). Services listed in
// dbauth_services are authorized (tessel_auth) before exec.
int run_cgi_host(char** envp);

}  // namespace kestrel
