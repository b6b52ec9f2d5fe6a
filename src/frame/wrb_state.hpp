// wrb_state.hpp - all process-wide state of the web request interface, in
// one place. The host part (application file, directories, context pointer)
// is set once by main; the request part (environment, credentials, URL,
// client I/O) can be reset between requests by a persistent host.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame/request_ctx.hpp"
#include "frame/response.hpp"

namespace kestrel {

// The client connection: the request body in, the response out.
class client_io {
  public:
    virtual ~client_io() = default;
    // Up to length bytes; fewer only at the end of the input.
    virtual std::size_t read(void* buffer, std::size_t length) = 0;
    // The number of bytes written; fewer means the client is gone.
    virtual std::size_t write(const void* buffer, std::size_t length) = 0;
    virtual void flush() = 0;
};

// Buffered standard input and output: the CGI connection.
class stdio_client_io final : public client_io {
  public:
    std::size_t read(void* buffer, std::size_t length) override;
    std::size_t write(const void* buffer, std::size_t length) override;
    void flush() override;
};

// One key = value entry of the [DBAUTH] section.
struct config_entry {
    std::string key;
    std::string value;
};

inline constexpr std::size_t config_entry_max = 100;
inline constexpr std::size_t credentials_max = 49;     // decoded user:password
inline constexpr std::size_t authorization_max = 127;  // HTTP_AUTHORIZATION read
inline constexpr std::size_t url_max = 254;

// The request part: begin_request replaces it whole, so that nothing of one
// request reaches the next.
struct wrb_request {
    char** environment = nullptr;         // null: the process environment
    std::vector<std::string> owned_env;   // set_environment's copy
    std::vector<char*> owned_env_ptrs;    // its entries, null-terminated
    std::string credentials;              // useridPassword
    std::optional<std::string> user;      // uidPtr
    std::optional<std::string> password;  // pwPtr
    std::optional<std::string> realm;     // of this request's challenge, if any
    std::string url;
    std::unique_ptr<client_io> io = std::make_unique<stdio_client_io>();
    response answer;  // every client write passes through it
};

struct wrb_state : wrb_request {
    // Host part, set by main before the first callback.
    std::string ows_appfile;
    std::string oracle_home;
    std::string ows_logfile;
    // The separator main finds in the application file's path (0 until
    // then); init makes the configuration's dir_separator of it.
    char dir_sep = 0;
    request_ctx* clientcxp = nullptr;

    // The [DBAUTH] table, read by the first WRBGetConfigVal of the process.
    bool config_read = false;
    std::vector<config_entry> config;

    // Starts a new request: its environment and client, no credentials, no
    // realm. Configuration and host values stay.
    void begin_request(char** env, std::unique_ptr<client_io> client);

    // Installs an owned copy of name=value strings as the environment.
    void set_environment(const std::vector<std::string>& entries);

    // Forgets the [DBAUTH] table so that the next lookup reads the file again.
    void forget_config();
};

// The one state of the process.
wrb_state& wrb();

}  // namespace kestrel
