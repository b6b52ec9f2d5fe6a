// config_files.hpp - the service blocks of owa.cfg and the web server's
// svXXXX.cfg (MIME table, directory maps), read once at init.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Reads the service blocks, then svXXXX.cfg when the server.cfg key is set
// (otherwise the default MIME type is "application/octet-stream").
// Fails through xdie.
void ReadConfigFiles(request_ctx& ctx);
void read_owa_cfg(request_ctx& ctx);
void read_server_cfg(request_ctx& ctx);

// Replaces line feeds, carriage returns and tabs by blanks and drops
// trailing blanks (never the first character).
char* remove_nl(char* line);

}  // namespace kestrel
