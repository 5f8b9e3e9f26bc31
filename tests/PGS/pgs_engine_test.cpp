#include "pgs_fixture.hpp"
#include "test_silent_server.hpp"

#include <algorithm>
#include <pqxx/pqxx>

namespace {

bool contains(const std::vector<std::wstring>& list, const std::wstring& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

TEST(pgs_engine_options, option_string_quotes_every_value_and_leaves_out_empty_parts)
{
    struct {
        std::string host, user, password, database;
        int port;
        std::string expected;
    } cases[] = {
        {"db1", "u", "p", "", 0, "user='u' password='p' host='db1'"},
        {"", "u", "", "sales", 5433, "user='u' password='' dbname='sales' port='5433'"},
        {"h", "u", "pw test 'q'", "", 0, "user='u' password='pw test \\'q\\'' host='h'"},
        {"", "a\\b", "x dbname=evil", "", 0, "user='a\\\\b' password='x dbname=evil'"},
    };
    // every connection attempt ends after a fixed time
    for (const auto& c : cases)
        EXPECT_EQ(pgs_engine::make_options(c.host, c.user, c.password, c.database, c.port),
                  c.expected + " connect_timeout='10'");
}

TEST(pgs_engine_single, second_engine_is_an_internal_error_and_flags_start_false)
{
    auto holder = std::make_unique<pgs_engine>();
    pgs_engine& engine = *holder;
    EXPECT_FALSE(engine.get_no_schema());
    EXPECT_FALSE(engine.get_view_owned());
    engine.set_view_owned(true);
    EXPECT_FALSE(engine.get_no_schema());
    EXPECT_FALSE(engine.is_connected());
    try {
        pgs_engine second;
        FAIL() << "a second engine was built";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
    EXPECT_EQ(&pgs_engine::instance(), &engine);
}

using pgs_engine_test = pgs_fixture;

TEST_F(pgs_engine_test, password_with_blank_and_quotes_connects)
{
    // the test server's password holds a blank and quotes on purpose
    EXPECT_TRUE(engine.is_connected());
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST_F(pgs_engine_test, local_after_remote_keeps_no_remote_host_or_port_for_open_db)
{
    const test_pg_server& server = test_pg_server::get();
    EXPECT_EQ(engine.get_host(), server.host);
    try {
        // libpq's default host and port (a local socket) may not serve this cluster
        engine.connect("", server.user, server.password, "", 0);
    } catch (const pgs_exception&) {
    }
    // every later database open goes where the user pointed, not to the earlier server
    EXPECT_EQ(engine.get_host(), "");
    EXPECT_EQ(engine.get_port(), 0);
    connect_server();
    EXPECT_EQ(engine.get_host(), server.host);
    EXPECT_EQ(engine.get_port(), std::stoi(server.port));
    std::unique_ptr<pgs_database> database = open();
    EXPECT_EQ(engine.get_database(), db.name());
}

TEST_F(pgs_engine_test, failed_connect_raises_and_keeps_the_old_connection)
{
    const test_pg_server& server = test_pg_server::get();
    test_pg_server wrong = server;
    wrong.password = "wrong password";
    const std::string refused = wrong.refusal("postgres");
    ASSERT_FALSE(refused.empty());
    try {
        engine.connect(server.host, server.user, wrong.password, "", std::stoi(server.port));
        FAIL() << "connected with a wrong password";
    } catch (const pgs_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(e.get_code(), 0);
        // the server's refusal as the library gives it
        EXPECT_EQ(std::string(e.what()).rfind(refused, 0), 0u) << e.what();
    }
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST_F(pgs_engine_test, database_list_names_databases_but_no_templates)
{
    const std::vector<std::wstring> names = engine.get_contents();
    EXPECT_TRUE(contains(names, tk_from_utf8(db.name())));
    EXPECT_TRUE(contains(names, L"postgres"));
    EXPECT_FALSE(contains(names, L"template1"));
    EXPECT_FALSE(contains(names, L"template0"));
}

TEST_F(pgs_engine_test, database_exists_only_as_non_template)
{
    EXPECT_TRUE(engine.is_db_exist(L"postgres"));
    EXPECT_FALSE(engine.is_db_exist(L"template1"));
    EXPECT_FALSE(engine.is_db_exist(L"no such database"));
    EXPECT_FALSE(engine.is_db_exist(L"x' or '1'='1"));
}

TEST_F(pgs_engine_test, database_with_quote_in_name_is_listed_found_and_opened)
{
    const std::string name = "it's \"q\" " + db.name();
    test_pg_database quoted = test_pg_database::named(name);
    quoted.exec("CREATE TABLE t (id int)");
    EXPECT_TRUE(contains(engine.get_contents(), tk_from_utf8(name)));
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(name)));
    std::unique_ptr<pgs_database> database = engine.open_db(tk_from_utf8(name));
    EXPECT_EQ(database->tables, std::vector<std::wstring>{L"public.t"});
}

TEST_F(pgs_engine_test, session_reads_floats_with_extra_digits)
{
    std::unique_ptr<pgs_database> database = open();
    std::unique_ptr<udb_recordset> rs =
        database->get_query(L"q", L"SELECT current_setting('extra_float_digits') AS v", 1);
    EXPECT_EQ(read_all(*rs), std::vector<std::wstring>{L"3"});
}

TEST_F(pgs_engine_test, rows_hidden_by_a_security_policy_fail_the_read_instead)
{
    const test_pg_server& server = test_pg_server::get();
    const test_pg_role role(db, "r_" + db.name());
    db.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2);"
            "ALTER TABLE t ENABLE ROW LEVEL SECURITY;"
            "CREATE POLICY low ON t USING (id < 2);"
            "GRANT SELECT ON t TO \"" + role.name() + "\"");
    engine.connect(server.host, role.name(), role.password(), db.name(), std::stoi(server.port));
    std::unique_ptr<pgs_database> database = engine.open_db(tk_from_utf8(db.name()));
    try {
        database->get_table(L"t", 1);
        FAIL() << "a read that misses rows was opened";
    } catch (const pgs_exception& e) {
        EXPECT_NE(std::string(e.what()).find("row-level security"), std::string::npos) << e.what();
    }
    connect_server();
}

TEST_F(pgs_engine_test, server_that_never_answers_fails_the_connection_after_the_time_out)
{
    const test_silent_server silent;
    try {
        engine.connect("127.0.0.1", "u", "p", "", std::stoi(silent.port()));
        FAIL() << "connected to a server that never answers";
    } catch (const pgs_exception& e) {
        EXPECT_NE(std::string(e.what()).find("timeout expired"), std::string::npos) << e.what();
    }
    // the connection before stays
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST_F(pgs_engine_test, user_without_a_database_of_their_own_name_still_connects)
{
    const test_pg_role role(db, db.name() + "_nodb");
    const test_pg_server& server = test_pg_server::get();
    engine.connect(server.host, role.name(), role.password(), "", std::stoi(server.port));
    EXPECT_TRUE(contains(engine.get_contents(), tk_from_utf8(db.name())));
    std::unique_ptr<pgs_database> database = engine.open_db(tk_from_utf8(db.name()));
    EXPECT_EQ(engine.get_database(), db.name());
    // a wrong password is still refused
    EXPECT_THROW(engine.connect(server.host, role.name(), "wrong", "", std::stoi(server.port)),
                 pgs_exception);
}

TEST_F(pgs_engine_test, user_whose_own_database_refuses_them_is_not_let_in_elsewhere)
{
    const test_pg_role role(db, db.name() + "_own");
    test_pg_database own = test_pg_database::named(role.name());
    own.exec("REVOKE CONNECT ON DATABASE \"" + role.name() + "\" FROM PUBLIC");
    const test_pg_server& server = test_pg_server::get();
    try {
        engine.connect(server.host, role.name(), role.password(), "", std::stoi(server.port));
        FAIL() << "connected past the refusal of the user's own database";
    } catch (const pgs_exception& e) {
        // the server's refusal names the database it refused
        EXPECT_NE(std::string(e.what()).find(role.name()), std::string::npos) << e.what();
    }
    // the connection before stays
    EXPECT_EQ(engine.get_database(), "");
    EXPECT_TRUE(engine.is_db_exist(tk_from_utf8(db.name())));
}

TEST(pgs_engine_german_server, user_without_a_database_of_their_own_name_connects)
{
    const test_pg_cluster german("de_DE.UTF-8");
    const test_pg_server& server = german.server();
    german.exec("CREATE ROLE nodb LOGIN PASSWORD 'pw'");
    german.exec("CREATE DATABASE sales");
    // the server answers in German
    test_pg_server as_nodb = server;
    as_nodb.user = "nodb";
    as_nodb.password = "pw";
    try {
        pqxx::connection c(as_nodb.conn_string("nodb"));
        FAIL() << "a database nodb exists";
    } catch (const pqxx::broken_connection& e) {
        EXPECT_NE(std::string(e.what()).find("existiert nicht"), std::string::npos) << e.what();
    }
    auto holder = std::make_unique<pgs_engine>();
    pgs_engine& engine = *holder;
    engine.connect(server.host, "nodb", "pw", "", std::stoi(server.port));
    EXPECT_TRUE(contains(engine.get_contents(), L"sales"));
    std::unique_ptr<pgs_database> sales = engine.open_db(L"sales");
    EXPECT_EQ(engine.get_database(), "sales");
    // a wrong password is still refused, and a server that is not there
    EXPECT_THROW(engine.connect(server.host, "nodb", "wrong", "", std::stoi(server.port)),
                 pgs_exception);
    EXPECT_THROW(engine.connect(server.host, "nodb", "pw", "", 1), pgs_exception);
    EXPECT_EQ(engine.get_database(), "sales");
}
