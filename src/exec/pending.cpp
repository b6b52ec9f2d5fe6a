// pending.cpp - TEMPORARY definitions until procedure execution lands.
#include <stdexcept>

#include "exec/dispatch.hpp"
#include "exec/page.hpp"

namespace kestrel {
bool set_cgi_env(request_ctx&) { throw std::logic_error("pending"); }
void do_block(request_ctx&) { throw std::logic_error("pending"); }
void do_post_action(request_ctx&) { throw std::logic_error("pending"); }
void dump_page(request_ctx&) { throw std::logic_error("pending"); }
}  // namespace kestrel
