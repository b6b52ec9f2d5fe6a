// call_block.hpp - calls the procedure the URL names with every distinct
// form field as a named argument (or, routed by call_route.hpp, as two
// arrays, or with p_path of a path alias); the page it writes is fetched
// afterwards (page.hpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "frame/request_ctx.hpp"

namespace kestrel {

// 1 when the procedure ran (its page is to be fetched next: the call may
// have brought the first piece of it), 0 when no procedure of that name exists (as
// given, or qualified with the service's owa_user). Names that are no valid
// routine name or are excluded count as no procedure and touch nothing. A
// form field whose name is no identifier, and every database failure, end
// the request through die.
int oci_do_block(request_ctx& ctx);

// The call text: "begin name(a=>:a,b=>:b); end;", or "begin name; end;"
// without fields.
std::string call_block_text(std::string_view routine, const std::vector<std::string_view>& names);

}  // namespace kestrel
