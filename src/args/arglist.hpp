// arglist.hpp - the request's ordered list of name/value pairs, built once
// after logon from the query string, the posted form or a multipart body.
// Names compare without regard to case everywhere.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "frame/arg_names.hpp"
#include "frame/request_ctx.hpp"

namespace kestrel {

void build_arglist(request_ctx& ctx);
void unbuild_arglist(request_ctx& ctx);

int get_unique_names_cnt(request_ctx& ctx);
// count: pairs with that name; width: longest value + 2 (2 when none).
void get_maxlen_occurrences(request_ctx& ctx, std::string_view name, std::size_t& width,
                            std::size_t& count);
// The values of that name packed in slots of width bytes (request pool).
char* get_values(request_ctx& ctx, std::string_view name, std::size_t& width, std::size_t& count);
// The values of that name, in list order.
std::vector<std::string_view> get_array_of_values(request_ctx& ctx, std::string_view name);

}  // namespace kestrel
