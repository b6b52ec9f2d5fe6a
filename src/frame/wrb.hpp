// wrb.hpp - the web request interface: the only way the cartridge reaches
// the CGI environment, the request body, the response and the [DBAUTH]
// section of the application file. Every function takes the host handle
// first and ignores it.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "frame/request_ctx.hpp"

namespace kestrel {

inline constexpr int WRB_ERROR = 1;

// Reads and splits the query string (GET) or the posted form; pairs live in
// the request pool. Returns 0 or WRB_ERROR.
int WRBGetParsedContent(void* handle, request_ctx& ctx, std::vector<arg_pair>& pairs);
// Value of a [DBAUTH] key (case-sensitive), or null.
const char* WRBGetConfigVal(void* handle, std::string_view key);
std::size_t WRBClientWrite(void* handle, const void* buffer, std::size_t length);
std::size_t WRBClientRead(void* handle, void* buffer, std::size_t length);
const char* WRBGetEnvironmentVariable(void* handle, const char* name);
char** WRBGetEnvironment(void* handle);
const char* WRBGetORACLE_HOME(void* handle);
// SCRIPT_NAME followed by PATH_INFO, at most 254 characters.
const char* WRBGetURL(void* handle);
const char* WRBGetUserID(void* handle);
const char* WRBGetPassword(void* handle);
int WRBSetAuthorization(void* handle, int scheme, const char* realm, int unused);
int WRBReturnHTTPError(void* handle, int code, const char* reason, int end_of_header);
void WRBLogMessage(void* handle, std::string_view text, int level);

// Decodes HTTP_AUTHORIZATION (Basic) into the user name and password.
void set_user_password();

// From here the response goes straight to the client (a document's body is
// too big to hold): what was held goes out first. A later failure cuts the
// response instead of answering with an error page.
void begin_streaming();
// True once this request's response began streaming.
bool is_streaming();

}  // namespace kestrel
