// cartridge.hpp - the lifecycle callbacks of the gateway and the table a
// host drives them through: init once, exec per request, shutdown once, and
// an authorize step that a host may call before exec.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

using init_callback = int (*)(void* handle, request_ctx** ctxp);
using exec_callback = int (*)(void* handle, request_ctx* ctx);
using shut_callback = int (*)(void* handle, request_ctx* ctx);
using auth_callback = int (*)(void* handle, request_ctx* ctx, int* flag);

// Seven slots: init, exec, shutdown, three unused, authorize.
struct callback_table {
    init_callback init = nullptr;
    exec_callback exec = nullptr;
    shut_callback shutdown = nullptr;
    void* unused[3] = {nullptr, nullptr, nullptr};
    auth_callback authorize = nullptr;
};

// Fills init, exec, shutdown and authorize; returns 0.
int tessel_entry(callback_table& table);

// Creates the context (stored through ctxp and in clientcxp), reads the
// settings and the configuration. 0 on success; 1 after "Failed
// initialization", the context is usable all the same.
int tessel_init(void* handle, request_ctx** ctxp);

// Resolves the request and logs on; flag becomes 1 when the request may go
// on. Always returns 0.
int tessel_auth(void* handle, request_ctx* ctx, int* flag);

// Serves one request; a fatal error rolls back; the request ends with it
// (request_scope). Always returns 0.
int tessel_exec(void* handle, request_ctx* ctx);

// Releases the persistent pool and frees the context. Always returns 0.
int tessel_shut(void* handle, request_ctx* ctx);

// Forgets the request: releases the request pool, replaces the request
// state with a fresh one (resolution, arguments, authorize verdict, ...)
// and reaps ended children. Configuration and session stay.
void end_request(request_ctx& ctx);

// The life of one request: end_request runs when the scope ends, however
// the request ends. Exec opens one; a host opens one for a request that
// exec does not serve (refused by authorize, unresolved).
class request_scope {
  public:
    explicit request_scope(request_ctx& ctx) : ctx_(ctx) {}
    request_scope(const request_scope&) = delete;
    request_scope& operator=(const request_scope&) = delete;
    ~request_scope();

  private:
    request_ctx& ctx_;
};

// Reads the [DBAUTH] settings that no service block carries into config.
void read_settings(request_ctx& ctx, gateway_config& config);

}  // namespace kestrel
