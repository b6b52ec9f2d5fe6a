// cgi_host.hpp - the host that drives the cartridge once per process as a
// CGI program: help page, directories derived from the application file,
// credentials, then init, exec and shutdown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The Oracle home: the application file's path cut behind its third
// separator from the end. Sets dir_sep to the first separator met from the
// end when it is still 0; the first character is never examined.
std::string derive_oracle_home(std::string_view appfile, char& dir_sep);

// The log directory: the path cut behind its second dir_sep from the end,
// followed by "log" and dir_sep.
std::string derive_log_dir(std::string_view appfile, char dir_sep);

// The help page sent when no application file is named.
std::string_view help_page();

// The answer to a request whose authorize step refused it: 401 with the
// Basic challenge of the realm, or a plain page when no realm was set.
std::string unauthorized_answer(const std::optional<std::string>& realm);

// main: returns 1 after shutdown (0 after the help page). Services listed in
// dbauth_services are authorized (tessel_auth) before exec.
int run_cgi_host(char** envp);

}  // namespace kestrel
