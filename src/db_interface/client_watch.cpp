// client_watch.cpp - one request at a time per process: one watched
// connection.
#include "db_interface/client_watch.hpp"

namespace kestrel::db {
namespace {

int client_fd = -1;

}  // namespace

void watch_client(int fd) {
    client_fd = fd;
}

int watched_client() {
    return client_fd;
}

}  // namespace kestrel::db
