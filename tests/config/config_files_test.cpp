// config_files_test.cpp - the owa.cfg service blocks and the svXXXX.cfg
// reader: which lines count, how names and values are taken, line limits.
#include "config/config_files.hpp"

#include "config/password.hpp"
#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class ConfigFiles : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        config->services.clear();
    }
    void read_owa(const std::string& text) {
        set_env({"OWS_APPFILE=" + write_file("owa.cfg", text)});
        read_owa_cfg(ctx, *config);
    }
    void read_server(const std::string& text) {
        set_app_file("[DBAUTH]\nserver.cfg = " + write_file("sv.cfg", text) + "\n");
        read_server_cfg(ctx, *config);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const service_entry& e : config->services) {
            out.push_back(e.owa_service.value_or("(none)"));
        }
        return out;
    }
};

TEST_F(ConfigFiles, RemoveNlTurnsLineEndsIntoBlanksAndTrimsTheEnd) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\tb\r\n", "a b"}, {"x  \t ", "x"}, {" ", " "}, {"\n", " "}, {"", ""}, {" a", " a"}};
    for (const auto& [in, out] : cases) {
        std::string buffer = in;
        EXPECT_STREQ(remove_nl(buffer.data()), out.c_str()) << in;
    }
}

TEST_F(ConfigFiles, BlockLinesAndNames) {
    read_owa(
        "[DBAUTH]\n"
        "oWA_SERVICE=x\n"
        "OWA_SERVICE=capital\n"
        "  owa_service=indented\n"
        "owa_service= blank\n"
        "owa_service==doubled\n"
        "owa_services=prefix\n"
        "owa_service=Sales\n"
        "owa_service=Sales\n"
        "owa_service=" +
        std::string(300, 'n') + "\n");
    EXPECT_EQ(names(), (std::vector<std::string>{"x", " blank", "doubled", "prefix", "Sales",
                                                 "Sales", std::string(254, 'n')}));
}

TEST_F(ConfigFiles, KeysFillTheLastNamedBlock) {
    read_owa(
        "owa_user=orphan\n"
        "owa_service=shop\n"
        "owa_user=first\n"
        "OWA_USER=ignored\n"
        "owa_User=second\n"
        "owa_user = spaced\n"
        "oracle_home=/u01/app\tx  \t\n"
        "oracle_sid==ORCL\n"
        "owa_connect_string=db=shop host=h\n"
        "owa_password=plain\n"
        "owa_valid_ports=80 443\n"
        "owa_log_dir=/var/log\n"
        "owa_error_page=/www/err.html\n"
        "owa_path_alias=tasks\n"
        "owa_path_alias_procedure=tracker.rest\n"
        "owa_log_dir=\n"
        "owa_unknown=1\n"
        "(\n"
        ")\n"
        "owa_service=\n"
        "owa_user=lost in the unnamed block\n");
    ASSERT_EQ(config->services.size(), 1u);
    const service_entry& e = config->services[0];
    EXPECT_EQ(e.owa_user, "second");
    EXPECT_EQ(e.oracle_home, "/u01/app x");
    EXPECT_EQ(e.oracle_sid, "ORCL");
    EXPECT_EQ(e.owa_connect_string, "db=shop host=h");
    EXPECT_EQ(e.owa_password, "plain");
    EXPECT_EQ(e.owa_valid_ports, "80 443");
    EXPECT_EQ(e.owa_log_dir, "/var/log");
    EXPECT_EQ(e.owa_error_page, "/www/err.html");
    EXPECT_EQ(e.owa_path_alias, "tasks");
    EXPECT_EQ(e.owa_path_alias_procedure, "tracker.rest");
}

TEST_F(ConfigFiles, ManyBlocksAndLongLines) {
    std::string text;
    for (int i = 0; i < 150; ++i) {
        text += "owa_service=s" + std::to_string(i) + "\nowa_user=u" + std::to_string(i) + "\n";
    }
    // A line over 511 characters is cut and its tail dropped.
    read_owa(text + "owa_user=" + std::string(600, 'u') + "owa_service=tail\n");
    ASSERT_EQ(config->services.size(), 150u);
    EXPECT_EQ(config->services[0].owa_user, "u0");
    EXPECT_EQ(config->services[100].owa_service, "s100");
    EXPECT_EQ(config->services[149].owa_user, std::string(511 - 9, 'u'));
}

TEST_F(ConfigFiles, PasswordPassesThroughDecryption) {
    const std::string key = (dir / "key").string();
    ASSERT_TRUE(create_key_file(key));
    const auto enc = encrypt_password("s3cret", key);
    ASSERT_TRUE(enc);
    set_app_file("[DBAUTH]\npassword_key_file = " + key + "\n");
    read_owa("owa_service=a\nowa_password=" + *enc + "\n");
    EXPECT_EQ(config->services.at(0).owa_password, "s3cret");
}

TEST_F(ConfigFiles, MissingFilesFailThroughXdie) {
    set_app_file("");
    EXPECT_THROW(read_owa_cfg(ctx, *config), fatal_error);
    EXPECT_NE(logs().find("You must set owa.cfg = /path/owa.cfg in the [DBAUTH] section"),
              std::string::npos);
    const std::string missing = (dir / "nothere.cfg").string();
    set_env({"OWS_APPFILE=" + missing});
    EXPECT_THROW(read_owa_cfg(ctx, *config), fatal_error);
    EXPECT_NE(logs().find("Unable to open owa.cfg '" + missing + "'\n"), std::string::npos);
    EXPECT_THROW(read_server_cfg(ctx, *config), fatal_error);
    EXPECT_NE(logs().find("You must set server.cfg = /path/svXXXX.cfg"), std::string::npos);
}

TEST_F(ConfigFiles, ServerConfigSections) {
    read_server(
        "DefaultMimeType = before/section\n"
        "[Server]\n"
        "  DefaultMimeType =  text/plain extra\n"
        "DefaultMimeTypeX=text/x\n"
        "Default=nope\n"
        "; comment\n"
        "[mimetypes]\n"
        "text/html  html htm\n"
        "image/gif\tgif\n"
        "application/x-lone\n"
        "[Other]\n"
        "ignored/type abc\n"
        "[DirMaps]\n"
        "/u/docs x /docs\n"
        "/u/img/ x /docs/img/\n"
        "/too few\n"
        "/" +
        std::string(300, 'p') + " x /long\n");
    EXPECT_EQ(config->default_mime_type, "text/x");
    ASSERT_EQ(config->mime_table.size(), 3u);
    EXPECT_EQ(config->mime_table[0].type, "text/html");
    EXPECT_EQ(config->mime_table[0].extensions, "html htm");
    EXPECT_EQ(config->mime_table[1].extensions, "gif");
    EXPECT_EQ(config->mime_table[2].extensions, "na");
    ASSERT_EQ(config->dir_maps.size(), 2u);
    EXPECT_EQ(config->dir_maps[0].physical, "/u/docs/");
    EXPECT_EQ(config->dir_maps[0].virtual_path, "/docs/");
    EXPECT_EQ(config->dir_maps[1].physical, "/u/img/");
    EXPECT_EQ(config->dir_maps[1].virtual_path, "/docs/img/");
}

TEST_F(ConfigFiles, DefaultMimeTypeWhenNoneOrNoServerFile) {
    read_server("[SERVER]\nDefaultMimeType=\n");
    EXPECT_EQ(config->default_mime_type, "application/octet-stream");

    config->default_mime_type.reset();
    set_app_file("");
    set_env({"OWS_APPFILE=" + write_file("owa.cfg", "owa_service=a\n")});
    ReadConfigFiles(ctx, *config);
    EXPECT_EQ(config->default_mime_type, "application/octet-stream");
    EXPECT_TRUE(config->mime_table.empty());
}

}  // namespace
}  // namespace kestrel::test
