// wrb_state.cpp - the process-wide state of the web request interface and
// its default client connection over standard input and output.
#include "frame/wrb_state.hpp"

#include <cstdio>

namespace kestrel {

std::size_t stdio_client_io::read(void* buffer, std::size_t length) {
    return std::fread(buffer, 1, length, stdin);
}

std::size_t stdio_client_io::write(const void* buffer, std::size_t length) {
    return std::fwrite(buffer, 1, length, stdout);
}

void stdio_client_io::flush() {
    std::fflush(stdout);
}

void wrb_state::begin_request(char** env, std::unique_ptr<client_io> client) {
    if (io) {
        io->flush();
    }
    static_cast<wrb_request&>(*this) = wrb_request{};
    environment = env;
    if (client) {
        io = std::move(client);
    }
}

void wrb_state::set_environment(const std::vector<std::string>& entries) {
    owned_env = entries;
    owned_env_ptrs.clear();
    for (std::string& e : owned_env) {
        owned_env_ptrs.push_back(e.data());
    }
    owned_env_ptrs.push_back(nullptr);
    environment = owned_env_ptrs.data();
}

void wrb_state::forget_config() {
    config_read = false;
    config.clear();
}

wrb_state& wrb() {
    static wrb_state state;
    return state;
}

}  // namespace kestrel
