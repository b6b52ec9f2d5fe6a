// host.hpp - the steps every host of the cartridge takes, whether it serves
// one request per process (CGI) or many (FastCGI): naming the application
// file and its directories, and serving one request through the callbacks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/response.hpp"
#include "host/cartridge.hpp"

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

// Takes OWS_APPFILE (else OWA_CGI_APPFILE) from the current environment of
// wrb() and derives the Oracle home and the log directory from it. False,
// with nothing changed, when neither is set.
bool name_application_file();

// Writes the help page to the client.
void send_help_page();

// True when the request got a whole response: something was sent and
// nothing cut it short.
bool was_answered(const response& answer);

// Serves the request whose environment and client wrb() holds: decodes its
// credentials, authorizes services listed in dbauth_services (tessel_auth),
// runs exec unless that refused, and forgets the request's state so that
// the next request of a persistent host starts clean. The context comes
// from a completed init. Nothing escapes: an exception outside the
// callbacks' own recovery is logged and answered with a bare 500.
void serve_request(const callback_table& table, void* handle);

}  // namespace kestrel
