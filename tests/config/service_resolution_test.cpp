// service_resolution_test.cpp - URL to service, request type and procedure;
// error log name; database authentication; path translation; timing tags.
#include "config/service_resolution.hpp"

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class ServiceResolution : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        config->services.clear();
        ctx.service_index = -1;
        ctx.service_name.clear();
        ctx.service_type.clear();
        add_service("Sales", "/var/log");
        add_service("owai", std::nullopt);
        add_service("shop", "/var/log/");
    }
    void add_service(const std::string& name, const std::optional<std::string>& log_dir) {
        service_entry e;
        e.owa_service = name;
        e.owa_log_dir = log_dir;
        config->services.push_back(e);
    }
    void resolve(const std::string& script, const std::string& path_info) {
        set_env({"SCRIPT_NAME=" + script, "PATH_INFO=" + path_info});
        set_session_state(ctx);
    }
};

TEST_F(ServiceResolution, UrlTable) {
    add_service("OWA_DEFAULT_SERVICE", std::nullopt);
    struct row {
        std::string script, path_info;
        std::string type, service, procedure;
    };
    const std::vector<row> rows = {
        {"/sales", "/owa/pkg.proc", "/owa/", "sales", "pkg.proc"},
        {"/x/y", "/sales/owa/pkg.proc", "/owa/", "sales", "pkg.proc"},
        {"/SALES", "/owa/p", "/owa/", "sales", "p"},
        {"", "/owa/pkg.proc", "/owa/", "owa_default_service", "pkg.proc"},
        {"/sales", "/owai/owa/doc", "/owa/", "owai", "doc"},
        {"/shop", "/owaigz/doc.gz", "/owaigz/", "shop", "doc.gz"},
        {"/owai", "/owaigz/doc.gz", "/owai/", "owa_default_service", "owaigz/doc.gz"},
        {"/sales", "/webdb/a/b/c", "/webdb/", "sales", "a/b/c"},
        // Decoded once, by the web server: never again here.
        {"/sales", "/owa/p%2Fq%3Fr", "/owa/", "sales", "p%2Fq%3Fr"},
        {"/sales", "/owa/h%2565llo", "/owa/", "sales", "h%2565llo"},
        {"/sales", "/owa/p?x=1", "/owa/", "sales", "p?x=1"},
        {"http://host:80/sales", "/owa/p", "/owa/", "sales", "p"},
        {"/shop/kestrel", "/dir/file.html", "", "shop", "file.html"},
        {"/shop", "/file", "", "shop", "file"},
        {"//shop/x", "/f", "", "owa_default_service", "f"},
        {"/shop", "", "", "shop", ""},
    };
    for (const row& r : rows) {
        resolve(r.script, r.path_info);
        const std::string label = r.script + r.path_info;
        EXPECT_EQ(ctx.service_type, r.type) << label;
        EXPECT_EQ(ctx.service_name, r.service) << label;
        EXPECT_EQ(ctx.procedure_name, r.procedure) << label;
        EXPECT_EQ(
            *config->services[static_cast<std::size_t>(ctx.service_index)].owa_service == "Sales",
            r.service == "sales")
            << label;
    }
}

// The web server decoded the path; a '+' or '?' in it is the path's own.
TEST_F(ServiceResolution, UrlIsTheServersPathWithoutHost) {
    resolve("http://h/sales", "/owa/a+b?q%41");
    EXPECT_EQ(ctx.url, "/sales/owa/a+b?q%41");
}

TEST_F(ServiceResolution, LongNamesAreCutToTheField) {
    add_service("OWA_DEFAULT_SERVICE", std::nullopt);
    // The URL is cut at 254 characters, so the prefix is lost here.
    resolve("/" + std::string(300, 's'), "/owa/p");
    EXPECT_EQ(ctx.service_type, "");
    EXPECT_EQ(ctx.procedure_name, "p");
    EXPECT_EQ(ctx.service_name, "owa_default_service");
    resolve("/shop", "/" + std::string(300, 'p'));
    EXPECT_EQ(ctx.procedure_name, std::string(254, 'p'));
    resolve("/s", "/owa/" + std::string(300, 'p'));
    EXPECT_EQ(ctx.procedure_name, std::string(254 - 7, 'p'));
}

TEST_F(ServiceResolution, NoServiceAndNoDefaultFailsThroughXdie) {
    ctx.error_log_name = "stale";
    set_env({"SCRIPT_NAME=/nobody", "PATH_INFO=/owa/p"});
    EXPECT_THROW(set_session_state(ctx), fatal_error);
    EXPECT_EQ(ctx.service_index, -1);
    EXPECT_EQ(client->written, "");
    EXPECT_NE(logs().find("No OWA.CFG Configuration Found for this agent 'nobody'"),
              std::string::npos);
}

TEST_F(ServiceResolution, ErrorLogNameJoinsDirectorySeparatorAndService) {
    resolve("/sales", "/owa/p");
    EXPECT_EQ(ctx.error_log_name, "/var/log/sales.err");
    resolve("/shop", "/owa/p");
    EXPECT_EQ(ctx.error_log_name, "/var/log//shop.err");
    resolve("/owai", "/owa/p");
    EXPECT_EQ(ctx.error_log_name, "");
    config->services[0].owa_log_dir = "/" + std::string(260, 'd');
    resolve("/sales", "/owa/p");
    EXPECT_EQ(ctx.error_log_name, "");
}

TEST_F(ServiceResolution, DatabaseAuthenticationByServiceName) {
    resolve("/sales", "/owa/p");
    EXPECT_FALSE(ctx.use_database_auth);
    config->dbauth_services = {"other", "SALES"};
    resolve("/sales", "/owa/p");
    EXPECT_TRUE(ctx.use_database_auth);
    resolve("/shop", "/owa/p");
    EXPECT_FALSE(ctx.use_database_auth);
}

TEST_F(ServiceResolution, PathTranslatedTakesLongestVirtualPrefix) {
    ctx.procedure_name = "docs/img/a.gif";
    EXPECT_EQ(path_translated(ctx), "/docs/img/a.gif");
    config->dir_maps = {{"/u/docs/", "/docs/"}, {"/u/img/", "/docs/img/"}, {"/u/other/", "/docs/"}};
    EXPECT_EQ(path_translated(ctx), "/u/img/a.gif");
    ctx.procedure_name = "docs/b.html";
    EXPECT_EQ(path_translated(ctx), "/u/docs/b.html");
    ctx.procedure_name = "docsx/b.html";
    EXPECT_EQ(path_translated(ctx), "/docsx/b.html");
    config->dir_maps.push_back({"/root/", "/"});
    EXPECT_EQ(path_translated(ctx), "/root/docsx/b.html");
    ctx.procedure_name = "docs/";
    EXPECT_EQ(path_translated(ctx), "/u/docs/");
}

TEST_F(ServiceResolution, TimedTags) {
    EXPECT_FALSE(isTimed(ctx, "TOTAL"));
    config->timed_services = "TOTAL,GET-IMAGE-FILE";
    EXPECT_TRUE(isTimed(ctx, "TOTAL"));
    EXPECT_TRUE(isTimed(ctx, "GET-IMAGE-FILE"));
    EXPECT_TRUE(isTimed(ctx, "GET-IMAGE"));  // a part of a listed tag counts
    EXPECT_FALSE(isTimed(ctx, "BUILD-ARGLIST"));
    EXPECT_FALSE(isTimed(ctx, "total"));
    config->timed_services = "ALL";
    EXPECT_TRUE(isTimed(ctx, "BUILD-ARGLIST"));
}

}  // namespace
}  // namespace kestrel::test
