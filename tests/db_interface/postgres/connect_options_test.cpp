// connect_options_test.cpp - the connection string's connect_timeout and
// options as a logon reads them, and a logon that gives up on a server that
// never answers.
#include "db_interface/postgres/connect_options.hpp"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "db_interface/postgres/connection.hpp"

namespace kestrel::db::pg {
namespace {

using std::chrono::seconds;

TEST(ConnectOptions, ConnectTimeoutAsLibpqReadsIt) {
    const std::pair<std::string, std::optional<seconds>> cases[] = {
        {"", default_connect_timeout},
        {"dbname=x", default_connect_timeout},
        {"shop", default_connect_timeout},
        {"host=h connect_timeout=3", seconds(3)},
        {"connect_timeout=1", seconds(2)},
        {"connect_timeout=0", std::nullopt},
        {"connect_timeout=abc", default_connect_timeout},
        {"postgresql://h/db?connect_timeout=7", seconds(7)},
        {"host='unterminated", default_connect_timeout},
    };
    for (const auto& [conninfo, timeout] : cases) {
        EXPECT_EQ(connect_timeout(conninfo), timeout) << conninfo;
    }
}

TEST(ConnectOptions, StatementTimeoutJoinsTheConnectionOptions) {
    for (const char* good : {"0", "250", "250ms", "30s", "5min", "1h", "1d"}) {
        EXPECT_TRUE(is_duration(good)) << good;
    }
    for (const char* bad : {"", "s", "-1", "30 s", "30s -c x=y", "1e3", "30sec"}) {
        EXPECT_FALSE(is_duration(bad)) << bad;
    }
    EXPECT_EQ(session_options("dbname=x", ""), "");
    EXPECT_EQ(session_options("dbname=x", "30s"), "-c statement_timeout=30s");
    EXPECT_EQ(session_options("dbname=x options='-c search_path=a'", "5s"),
              "-c search_path=a -c statement_timeout=5s");
    EXPECT_EQ(session_options("dbname=x", "5s -c role=postgres"), "");
}

TEST(ConnectOptions, BadStatementTimeoutRefusesTheLogon) {
    connection conn;
    connect_failure why;
    EXPECT_FALSE(conn.open({.connect = "dbname=x", .statement_timeout = "5s -c x=1"}, why));
    EXPECT_NE(why.message.find("owa_statement_timeout is no duration"), std::string::npos);
}

// A listener that accepts connections (the kernel completes them) but never
// says a word: without a deadline the logon would wait for ever.
TEST(ConnectOptions, SilentServerEndsTheLogonAtConnectTimeout) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));

    connection conn;
    connect_failure why;
    EXPECT_FALSE(conn.open(
        {.user = "u", .connect = "host=127.0.0.1 port=" + port + " connect_timeout=2"}, why));
    EXPECT_NE(why.message.find("timeout expired"), std::string::npos) << why.message;
    close(listener);
}

}  // namespace
}  // namespace kestrel::db::pg
