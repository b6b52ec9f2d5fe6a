// pending.cpp - TEMPORARY definitions until the database session lands.
#include <stdexcept>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"

namespace kestrel {
bool Logon(request_ctx&, const char*, const char*) { throw std::logic_error("pending"); }
void Logoff(request_ctx&, bool) { throw std::logic_error("pending"); }
int nbind(request_ctx&, std::string_view, std::int32_t*) { throw std::logic_error("pending"); }
int sbind(request_ctx&, std::string_view, char*) { throw std::logic_error("pending"); }
int rbind(request_ctx&, std::string_view, std::byte*) { throw std::logic_error("pending"); }
int abind(request_ctx&, std::string_view, std::span<const std::string_view>) {
    throw std::logic_error("pending");
}
std::string oerr_cda(request_ctx&) { throw std::logic_error("pending"); }
std::string oerr_lda(request_ctx&) { throw std::logic_error("pending"); }
int select_into(request_ctx&, std::string_view, std::span<char>) {
    throw std::logic_error("pending");
}
int execute_immediate(request_ctx&, std::string_view) { throw std::logic_error("pending"); }
}  // namespace kestrel
