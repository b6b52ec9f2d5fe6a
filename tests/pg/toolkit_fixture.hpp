// toolkit_fixture.hpp - runs PL/pgSQL against the toolkit in the test
// cluster and returns the page it wrote (toolkit_test, toolkit_routines_test).
#pragma once

#include <string>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {

class toolkit_fixture : public pg_fixture {
  public:
    // The page a block writes in a fresh request environment; cookie, when
    // given, is the request's HTTP_COOKIE.
    std::string page_of(const std::string& body, const std::string& cookie = "") {
        const std::string env =
            cookie.empty()
                ? "perform owa.init_cgi_env(0, '{}', '{}');"
                : "perform owa.init_cgi_env(1, '{HTTP_COOKIE}', '{\"" + cookie + "\"}');";
        EXPECT_EQ(execute_immediate(
                      ctx, {db::statement_kind::written, "begin " + env + " " + body + " end;"}),
                  0)
            << body << ": " << oerr_cda(ctx);
        return selected("select coalesce(piece, '') from owa.get_page_chunk()");
    }
};

}  // namespace kestrel::test
