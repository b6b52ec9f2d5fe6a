// pg_client.cpp - PLACEHOLDER until the PostgreSQL backend lands: refuses
// every logon.
#include "db/client.hpp"

namespace kestrel::db {
namespace {

class refusing_client final : public client {
public:
    int olog(logon_area& lda, const logon_request&) override { return lda.rc = invalid_logon; }
    int oopen(cursor_area& cda, logon_area&) override { return cda.rc = 3114; }
    int oparse(cursor_area& cda, std::string_view) override { return cda.rc = 3114; }
    int obndrv(cursor_area& cda, const scalar_bind&) override { return cda.rc = 3114; }
    int obndra(cursor_area& cda, const array_bind&) override { return cda.rc = 3114; }
    int odefin(cursor_area& cda, const column_define&) override { return cda.rc = 3114; }
    int oexec(cursor_area& cda) override { return cda.rc = 3114; }
    int oexfet(cursor_area& cda) override { return cda.rc = 3114; }
    int oflng(cursor_area& cda, int, std::span<std::byte>, std::size_t, std::size_t&) override {
        return cda.rc = 3114;
    }
    int ocom(logon_area&) override { return 0; }
    int orol(logon_area&) override { return 0; }
    int oclose(cursor_area&) override { return 0; }
    int ologof(logon_area&) override { return 0; }
    std::string oerhms(logon_area&, int) override { return "not connected"; }
};

}  // namespace

std::unique_ptr<client> make_client() { return std::make_unique<refusing_client>(); }

}  // namespace kestrel::db
