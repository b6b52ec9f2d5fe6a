// describe.cpp - the procedure description: one anonymous block around the
// database's describe package, one input and four output placeholders.
// Called by the call block (call_block.cpp) before the call is written.
#include "exec/describe.hpp"

#include <array>
#include <cstdlib>
#include <cstring>
#include <span>

#include "db/errors.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

constexpr const char* describe_declarations =
    "declare\n"
    "  l_overload dbms_describe.number_table;\n"
    "  l_level dbms_describe.number_table;\n"
    "  l_default_value dbms_describe.number_table;\n"
    "  l_length dbms_describe.number_table;\n"
    "  l_precision dbms_describe.number_table;\n"
    "  l_scale dbms_describe.number_table;\n"
    "  l_radix dbms_describe.number_table;\n"
    "  l_datatype dbms_describe.number_table;\n"
    "  l_in_out dbms_describe.number_table;\n"
    "  l_spare dbms_describe.number_table;\n"
    "  l_position dbms_describe.number_table;\n"
    "  l_empty_number dbms_describe.number_table;\n"
    "  l_empty_varchar dbms_describe.varchar2_table;\n"
    "  l_argument_name dbms_describe.varchar2_table;\n"
    "  l_sep varchar2(1) default NULL;\n"
    "  l_AllNames varchar2(10000) default NULL;\n"
    "  l_HasDefault varchar2(512) default NULL;\n"
    "  l_CountOfTables number default 0;\n"
    "  l_TableNames varchar2(10000) default NULL;\n"
    "  exec_cursor integer default dbms_sql.open_cursor;\n";

// Two attempts: a failed first description is followed by a parse that
// names the object in a branch never taken, then by the last attempt.
constexpr const char* describe_attempts =
    "begin\n"
    "  for i in 1 .. 2 loop\n"
    "    begin\n"
    "      dbms_describe.describe_procedure(:ObjectName, NULL, NULL, l_overload,\n"
    "        l_position, l_level, l_argument_name, l_datatype, l_default_value,\n"
    "        l_in_out, l_length, l_precision, l_scale, l_radix, l_spare);\n"
    "      exit;\n"
    "    exception\n"
    "      when others then\n"
    "        if i = 1 then\n"
    "          begin\n"
    "            dbms_sql.parse(exec_cursor,\n"
    "              'begin if (1=0) then ' || :ObjectName || ';end if; end;',\n"
    "              dbms_sql.native);\n"
    "            dbms_sql.close_cursor(exec_cursor);\n"
    "          exception\n"
    "            when others then\n"
    "              if dbms_sql.is_open(exec_cursor) then\n"
    "                dbms_sql.close_cursor(exec_cursor);\n"
    "              end if;\n"
    "          end;\n"
    "        else\n"
    "          raise;\n"
    "        end if;\n"
    "    end;\n"
    "  end loop;\n";

constexpr const char* describe_collection =
    "  for i in 1 .. 10000 loop\n"
    "    begin\n"
    "      exit when l_position(i) is null;\n"
    "    exception\n"
    "      when no_data_found then exit;\n"
    "    end;\n"
    "    l_AllNames := l_AllNames || l_sep || l_argument_name(i);\n"
    "    l_sep := '|';\n"
    "    if l_default_value(i) > 0 then\n"
    "      l_HasDefault := l_HasDefault || '1';\n"
    "    else\n"
    "      l_HasDefault := l_HasDefault || '0';\n"
    "    end if;\n"
    "    if l_datatype(i) = 251 then\n"
    "      if l_CountOfTables = 0 then\n"
    "        l_TableNames := l_argument_name(i);\n"
    "      else\n"
    "        l_TableNames := l_TableNames || '|' || l_argument_name(i);\n"
    "      end if;\n"
    "      l_CountOfTables := l_CountOfTables + 1;\n"
    "    end if;\n"
    "  end loop;\n";

constexpr const char* describe_outputs =
    "  :AllNames := l_AllNames;\n"
    "  :HasDefault := l_HasDefault;\n"
    "  :CountOfTables := l_CountOfTables;\n"
    "  :TableNames := l_TableNames;\n"
    "end;\n";

// The database codes that mean "no such object".
constexpr std::array<int, 4> missing_object_codes = {-6564, -20001, -20002, -20004};

// One output placeholder: a request-pool buffer and its indicator.
struct output_text {
    const char* name;
    std::size_t size;
    char* buffer = nullptr;
    std::int16_t* indicator = nullptr;

    std::string_view text() const {
        if (*indicator == -1) {
            return {};
        }
        return {buffer, strnlen(buffer, size)};
    }
};

bool is_missing_object(int rc) {
    for (const int code : missing_object_codes) {
        if (rc == code) {
            return true;
        }
    }
    return false;
}

int bind_text(request_ctx& ctx, const char* name, char* buffer, std::size_t size,
              std::int16_t* indicator) {
    db::scalar_bind bind;
    bind.name = name;
    bind.buffer = std::span<std::byte>(reinterpret_cast<std::byte*>(buffer), size);
    bind.type = db::data_type::string;
    bind.indicator = indicator;
    return session_client(ctx).obndrv(ctx.cda, bind);
}

void bind_description(request_ctx& ctx, const char* name, std::span<output_text> outputs) {
    const std::size_t name_size = std::strlen(name) + 2;
    char* object_name = static_cast<char*>(_xheap_alloc(ctx, name_size));
    std::memcpy(object_name, name, name_size - 2);
    if (bind_text(ctx, "ObjectName", object_name, name_size, nullptr) != 0) {
        die_with_cursor_error(ctx);
    }
    for (output_text& out : outputs) {
        out.buffer = static_cast<char*>(_xheap_alloc(ctx, out.size));
        out.indicator = static_cast<std::int16_t*>(_xheap_alloc(ctx, sizeof(std::int16_t)));
        *out.indicator = 1;
        if (bind_text(ctx, out.name, out.buffer, out.size, out.indicator) != 0) {
            die_with_cursor_error(ctx);
        }
    }
}

// Names and flags are paired by position after empty pieces are dropped.
void store_arguments(request_ctx& ctx, const char* routine, std::string_view all_names,
                     std::string_view has_default) {
    std::vector<std::string> names = split_names(all_names);
    if (names.size() > describe_names_max) {
        die(ctx, "Procedure %s has more than %zu arguments", routine, describe_names_max);
    }
    ctx.proc_arg_has_default.assign(names.size(), false);
    for (std::size_t k = 0; k < names.size() && k < has_default.size(); ++k) {
        ctx.proc_arg_has_default[k] = has_default[k] == '1';
    }
    ctx.proc_arg_names = std::move(names);
    ctx.proc_described = true;
}

}  // namespace

std::vector<std::string> split_names(std::string_view text) {
    std::vector<std::string> pieces;
    while (!text.empty()) {
        const auto bar = text.find('|');
        if (bar != 0) {
            pieces.emplace_back(text.substr(0, bar));
        }
        if (bar == std::string_view::npos) {
            break;
        }
        text.remove_prefix(bar + 1);
    }
    return pieces;
}

std::vector<std::string> oci_describe(request_ctx& ctx, const char* name, int& table_count) {
    const std::string block = std::string(describe_declarations) + describe_attempts +
                              describe_collection + describe_outputs;
    const std::uint32_t start = get_hsecs(ctx);

    if (session_client(ctx).oparse(ctx.cda, db::statement_kind::describe, block) != 0) {
        die_with_cursor_error(ctx);
    }
    std::array<output_text, 4> outputs = {{
        {"AllNames", 10000},
        {"HasDefault", 512},
        {"CountOfTables", 50},
        {"TableNames", 10000},
    }};
    bind_description(ctx, name, outputs);

    const int rc = session_client(ctx).oexec(ctx.cda);
    if (is_missing_object(rc)) {
        KESTREL_TRACE(ctx, "%s does not exist (%d)", name, rc);
        table_count = -1;
        log_timings(ctx, start, get_hsecs(ctx), "DESCRIBE");
        return {};
    }
    if (rc != 0) {
        die_with_cursor_error(ctx);
    }

    store_arguments(ctx, name, outputs[0].text(), outputs[1].text());
    const std::string count_text(outputs[2].text());
    const long declared = std::strtol(count_text.c_str(), nullptr, 10);
    std::vector<std::string> tables;
    if (declared > 0) {
        tables = split_names(outputs[3].text());
        if (tables.size() > static_cast<std::size_t>(declared)) {
            tables.resize(static_cast<std::size_t>(declared));
        }
    }
    table_count = static_cast<int>(tables.size());
    log_timings(ctx, start, get_hsecs(ctx), "DESCRIBE");
    return tables;
}

}  // namespace kestrel
