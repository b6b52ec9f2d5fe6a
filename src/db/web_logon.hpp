// web_logon.hpp - who may log on with the browser's credentials: checked
// right after the logon of a database-authentication service and before
// anything of the request runs.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// True when the session's role may serve a browser: never a superuser, and a
// member of ctx.config.dbauth_role when that is set. A failing check counts as a
// refusal. Leaves the session open either way.
bool is_allowed_web_logon(request_ctx& ctx);

}  // namespace kestrel
