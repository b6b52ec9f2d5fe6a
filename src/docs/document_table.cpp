// document_table.cpp - owner and name of the document table, and the shared
// judgement of document lookups.
#include "docs/document_table.hpp"

#include "db/errors.hpp"
#include "db_interface/client.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {

std::string document_table(request_ctx& ctx, std::string_view default_table) {
    const service_entry* service = ctx.service();
    if (service == nullptr || !service->owa_user) {
        die(ctx, "No owa_user configured for service '%s'", ctx.service_name.c_str());
    }
    const char* table = WRBGetConfigVal(ctx.wrb_handle, ctx.service_name + "_image_tname");
    std::string name = *service->owa_user;
    name += '.';
    name += table != nullptr ? std::string_view(table) : default_table;
    return name;
}

bool is_document_absent(int rc) {
    return rc == db::no_such_table || rc == db::no_data_found;
}

}  // namespace kestrel
