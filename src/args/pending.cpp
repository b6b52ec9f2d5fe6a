// pending.cpp - TEMPORARY definitions until the argument list lands.
#include <stdexcept>

#include "args/arglist.hpp"
#include "args/document_store.hpp"
#include "args/form_text.hpp"
#include "args/generic_args.hpp"
#include "args/multipart.hpp"

namespace kestrel {
void build_arglist(request_ctx&) { throw std::logic_error("pending"); }
void unbuild_arglist(request_ctx&) { throw std::logic_error("pending"); }
int get_unique_names_cnt(request_ctx&) { throw std::logic_error("pending"); }
std::vector<std::string_view> get_unique_names(request_ctx&) { throw std::logic_error("pending"); }
void get_maxlen_occurrences(request_ctx&, std::string_view, std::size_t&, std::size_t&) {
    throw std::logic_error("pending");
}
char* get_values(request_ctx&, std::string_view, std::size_t&, std::size_t&) {
    throw std::logic_error("pending");
}
std::vector<std::string_view> get_array_of_values(request_ctx&, std::string_view) {
    throw std::logic_error("pending");
}
bool same_name(std::string_view, std::string_view) { throw std::logic_error("pending"); }
char* mystrtok(request_ctx&, char*, const char*) { throw std::logic_error("pending"); }
std::size_t url_decode(char*) { throw std::logic_error("pending"); }
int hextoint(char) { throw std::logic_error("pending"); }
void maybe_generic(request_ctx&) { throw std::logic_error("pending"); }
std::string_view parse_content_type(request_ctx&) { throw std::logic_error("pending"); }
char* getl(request_ctx&, char*) { throw std::logic_error("pending"); }
void process_chunk(request_ctx&, char*, std::ptrdiff_t, std::ptrdiff_t) {
    throw std::logic_error("pending");
}
const char* ldimage(request_ctx&, std::span<const char>, std::string_view, std::string_view) {
    throw std::logic_error("pending");
}
}  // namespace kestrel
