// errors.hpp - database error texts, ready to be handed to die.
#pragma once

#include <string>

#include "frame/request_ctx.hpp"

namespace kestrel {

// The message of the cursor's return code; after a call that does not
// compile (6550) with a described procedure, followed by the report of form
// fields and procedure arguments that do not match.
std::string oerr_cda(request_ctx& ctx);

// The report of form fields the described procedure does not take and of
// its arguments without default that the form lacks (part of oerr_cda's text
// after error 6550).
std::string mismatch_report(request_ctx& ctx);

// Ends the request with the text of oerr_cda, which is finished text and
// never read as a format.
[[noreturn]] void die_with_cursor_error(request_ctx& ctx);

// The message of the logon's return code.
std::string oerr_lda(request_ctx& ctx);

}  // namespace kestrel
