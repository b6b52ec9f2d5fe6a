// download.hpp - serves a stored document, plain or gzip-compressed, and
// hands names that are no document to the include processor.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

void return_image(request_ctx& ctx);

}  // namespace kestrel
