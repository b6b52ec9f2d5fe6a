// request_ctx.hpp - the one context record of the process.
// Created by tessel_init, passed first to every function, freed by tessel_shut.
// It joins three parts with lives of their own: the configuration read at
// init (const for the context), the database session, and the state of the
// request being served (replaced whole after every request); and the two
// memory pools.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db_interface/client.hpp"
#include "frame/pool.hpp"

namespace kestrel {

// Fixed text fields hold at most this many characters; longer values are cut.
inline constexpr std::size_t field_max = 254;

// One service block of owa.cfg; each field is named after the key that sets it.
struct service_entry {
    std::optional<std::string> owa_service;
    std::optional<std::string> oracle_home;
    std::optional<std::string> oracle_sid;
    std::optional<std::string> owa_connect_string;
    std::optional<std::string> owa_password;
    std::optional<std::string> owa_user;
    std::optional<std::string> owa_valid_ports;
    std::optional<std::string> owa_log_dir;
    std::optional<std::string> owa_error_page;
    // A path alias: URLs <prefix>/rest run this procedure with p_path => rest.
    std::optional<std::string> owa_path_alias;
    std::optional<std::string> owa_path_alias_procedure;
    // Schemas whose routines URLs may name (comma separated).
    std::optional<std::string> owa_exposed_schemas;
    // Longest a statement of the service may run (a PostgreSQL duration).
    std::optional<std::string> owa_statement_timeout;
};

// One row of the web server's MIME table: a type and the text listing its
// extensions ("na" when none was given).
struct mime_row {
    std::string type;
    std::string extensions;
};

// One directory mapping of the web server configuration.
struct dir_map {
    std::string physical;      // always ends with the directory separator
    std::string virtual_path;  // always ends with "/"
};

// One request argument. Both views point into request-pool memory and are
// NUL-terminated there, so they can be bound as text.
struct arg_pair {
    std::string_view name;
    std::string_view value;
};

// The configuration: built once by init (the [DBAUTH] settings, the service
// blocks, the web server's tables), the same for every request after. Only
// its builder holds it writable; the context reads it as const.
struct gateway_config {
    std::vector<service_entry> services;  // file order; last_service is size() - 1
    std::string dir_separator = "/";
    std::optional<std::string> default_mime_type;
    std::vector<mime_row> mime_table;
    std::vector<dir_map> dir_maps;

    // Settings of the [DBAUTH] section that no other key provides.
    std::vector<std::string> dbauth_services;
    std::optional<std::string> default_web_authent_prefix;
    std::optional<std::string> timing_table;
    std::optional<std::string> timed_services;
    std::optional<std::string> realm;
    bool reuse_connection = false;
    // Browser logons must be members of this role (superusers never pass).
    std::optional<std::string> dbauth_role;
    // The trace selector (absent = off).
    std::optional<std::string> debug;
};

// The database session: one logon and one cursor. A persistent host may
// keep it from one request to the next (reuse_connection).
struct db_session {
    std::unique_ptr<db::client> db;
    db::logon_area lda;
    db::cursor_area cda;
    std::string logon_password;  // password of the open session, for reuse checks
    std::string logon_service;   // service of the open session, for reuse checks
};

// Everything one request builds. end_request replaces it whole with a fresh
// one, so that no field of it outlives its request.
struct request_state {
    std::string start_date;  // database date at request start, at most 79 characters
    std::uint32_t start_hsecs = 0;

    // The resolved request (set_session_state).
    int service_index = -1;
    bool use_database_auth = false;
    std::string error_log_name;  // empty when the service has no error log
    std::string service_name;    // lower case
    std::string service_type;    // "/owa/", "/owai/", ... or empty
    std::string procedure_name;
    std::string_view url;  // request pool: decoded, without query, protocol and host

    // The site of the current trace call.
    std::string_view debug_file;
    int debug_line = 0;

    // Upload files written by this request: removed when it rolls back, so
    // that no file outlives the row that named it.
    std::vector<std::string> uploaded_files;
    // Document rows stored by this request, in the database or naming a file.
    std::size_t stored_documents = 0;

    // The argument list of the request.
    std::vector<arg_pair> args;
    int arg_unique_count = 0;

    // Parser positions (multipart line reader, mystrtok).
    char* line_pos = nullptr;
    char* tok_pos = nullptr;

    bool authenticated = false;

    // Description of the procedure last described in this request; empty
    // names mean no description found the procedure.
    std::vector<std::string> proc_arg_names;
    std::vector<bool> proc_arg_has_default;
    bool proc_described = false;
};

struct request_ctx : db_session, request_state {
    // The context reads configuration for its whole life, and only as const;
    // whoever built it (init) may still be filling it in meanwhile.
    explicit request_ctx(std::shared_ptr<const gateway_config> configuration)
        : config(*configuration), config_owner_(std::move(configuration)) {}
    request_ctx(const request_ctx&) = delete;
    request_ctx& operator=(const request_ctx&) = delete;

    const gateway_config& config;

    void* wrb_handle = nullptr;

    pool heap;   // request pool: its memory (args, url) dies with the request state
    pool pheap;  // persistent pool, released at shutdown

    const service_entry* service() const {
        return service_index >= 0 ? &config.services[static_cast<std::size_t>(service_index)]
                                  : nullptr;
    }

  private:
    std::shared_ptr<const gateway_config> config_owner_;
};

}  // namespace kestrel
