// errors.cpp - database error texts, ready to be handed to die. After a call
// block that does not compile, the text also lists the form fields the
// procedure does not know and the required arguments the form lacks, which is
// how a user learns that a field is misspelled.
#include "db/errors.hpp"

#include <string_view>
#include <vector>

#include "base/text_case.hpp"
#include "db/session.hpp"
#include "frame/arg_names.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

// The message buffer of the client library holds 1024 bytes with its NUL.
constexpr std::size_t message_max = 1023;

template <typename Names>
bool contains_ignoring_case(const Names& names, std::string_view name) {
    for (const auto& candidate : names) {
        if (equal_ignoring_case(candidate, name)) {
            return true;
        }
    }
    return false;
}

std::string message_of(request_ctx& ctx, int code) {
    std::string text = session_client(ctx).oerhms(ctx.lda, code);
    if (text.size() > message_max) {
        text.resize(message_max);
    }
    return text;
}

}  // namespace

// Sized to fit: a form with many long field names gets a long report rather
// than a cut one.
std::string mismatch_report(request_ctx& ctx) {
    const std::vector<std::string_view> form_names = get_unique_names(ctx);
    std::string report = "\nVARIABLES IN FORM NOT IN PROCEDURE: ";
    const char* separator = "";
    for (const auto name : form_names) {
        if (!contains_ignoring_case(ctx.proc_arg_names, name)) {
            report.append(separator).append(name);
            separator = ",";
        }
    }
    report += "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: ";
    separator = "";
    for (std::size_t i = 0; i < ctx.proc_arg_names.size(); ++i) {
        const bool has_default = i < ctx.proc_arg_has_default.size() && ctx.proc_arg_has_default[i];
        const std::string& name = ctx.proc_arg_names[i];
        if (!has_default && !contains_ignoring_case(form_names, name)) {
            report.append(separator).append(name);
            separator = ",";
        }
    }
    report += "\n";
    return report;
}

std::string oerr_cda(request_ctx& ctx) {
    std::string text = message_of(ctx, ctx.cda.rc);
    if (ctx.cda.rc == db::call_does_not_compile && ctx.proc_described) {
        text += mismatch_report(ctx);
    }
    return text;
}

std::string oerr_lda(request_ctx& ctx) {
    return message_of(ctx, ctx.lda.rc);
}

void die_with_cursor_error(request_ctx& ctx) {
    const std::string text = oerr_cda(ctx);
    die(ctx, "%s", text.c_str());
}

}  // namespace kestrel
