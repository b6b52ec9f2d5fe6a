// config_files.hpp - the service blocks of owa.cfg and the web server's
// svXXXX.cfg (MIME table, directory maps), read once at init.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Reads the service blocks into config, then svXXXX.cfg when the server.cfg
// key is set (otherwise the default MIME type is "application/octet-stream").
// ctx only reports: traces and failures, through xdie, which leaves in config
// what was read before.
void ReadConfigFiles(request_ctx& ctx, gateway_config& config);
void read_owa_cfg(request_ctx& ctx, gateway_config& config);
void read_server_cfg(request_ctx& ctx, gateway_config& config);

// Replaces line feeds, carriage returns and tabs by blanks and drops
// trailing blanks (never the first character).
char* remove_nl(char* line);

}  // namespace kestrel
