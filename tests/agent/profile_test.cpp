#include "agent_fixture.hpp"

#include <string>
#include <vector>

using strings = std::vector<std::string>;

TEST_F(kestrun_profile, profile_and_table_list_convert_both_lists_in_either_order)
{
    pg.exec("CREATE TABLE p1 (id int); CREATE TABLE t1 (id int); CREATE TABLE other (id int)");
    const std::string p = "--profile=" + profile("p.qlx", generic(), "p1");
    const std::string list = "--tab_file=" + dir.write("a.txt", "t1\n");
    struct order_case {
        std::vector<std::string> args;
        int tables;
    };
    const order_case cases[] = {{{list, p}, 2}, {{p, list}, 1}};
    for (const order_case& c : cases) {
        const kestrun_result r = run_default_port(c.args);
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_EQ(r.out, database_line(c.tables) + table_line("p1", 0) + table_line("t1", 0));
        EXPECT_EQ(oracle_tables(), (strings{"p1", "t1"}));
    }
}

TEST_F(kestrun_profile, name_selected_as_a_table_and_with_a_query_is_refused)
{
    pg.exec("CREATE TABLE orders (id int); INSERT INTO orders VALUES (1), (2)");
    const std::string query = "--profile="
                              + profile("q.qlx", generic(), "orders=SELECT id FROM orders WHERE id = 1");
    const std::string other_query
        = "--profile=" + profile("o.qlx", generic(), "orders=SELECT id FROM orders");
    const std::string bare = "--profile=" + profile("b.qlx", generic(), "orders");
    const std::string list = "--tab_file=" + dir.write("a.txt", "orders\n");
    const std::string both_ways = "Table 'orders' is selected both as a whole table and with a "
                                  "query: only one of them would be converted. Please give the "
                                  "query a name of its own.";
    const std::string two_queries = "Table 'orders' is selected with two different queries: only "
                                    "one of them would be converted. Please give each query a "
                                    "name of its own.";
    // the name as the run keys it: the same with and without the schema option
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{list, query}, both_ways},
        {{query, list}, both_ways},
        {{bare, query}, both_ways},
        {{query, bare}, both_ways},
        {{"--no_schema", query, list}, both_ways},
        {{query, other_query}, two_queries},
    };
    for (const auto& c : cases) {
        const kestrun_result r = run_default_port(c.args);
        EXPECT_EQ(r.exit_code, 255) << c.args[0];
        EXPECT_EQ(r.out, "Error:\n" + c.message + "\n") << c.args[0];
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(oracle_tables(), strings{});
    }

    // one query asked for twice is still one table
    const kestrun_result r = run_default_port({query, query});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"orders\";"), strings{"1"});
    ora.sql("DROP TABLE \"orders\";\n");

    // other names, the schema-qualified one included, are other tables
    struct distinct_case {
        std::string list;
        std::string query_name;
        std::string table;
    };
    const distinct_case distinct[] = {{"orders", "first", "orders"},
                                      {"public.orders", "orders", "public_orders"}};
    for (const distinct_case& c : distinct) {
        const std::string p = "--profile="
                              + profile("d.qlx", generic(),
                                        c.query_name + "=SELECT id FROM orders WHERE id = 1");
        const kestrun_result r = run_default_port({p, "--tab_file=" + dir.write("d.txt", c.list)});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"" + c.query_name + "\";"), strings{"1"});
        EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"" + c.table + "\";"), strings{"2"});
    }
}

TEST_F(kestrun_profile, later_options_override_the_profile_and_server_options_are_ignored)
{
    test_pg_database other{"ks_other"};
    pg.exec("CREATE TABLE from_profile (id int)");
    other.exec("CREATE TABLE from_option (id int)");
    const std::string p = "--profile=" + profile("p.qlx", generic() + "\r\nno schema=1", "");

    // the profile's servers stand: a wrong password after it has no effect
    kestrun_result r = run_default_port({p, "--src=" + other.name(), "--oraclp=wrong", "--posgsp=wrong"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), strings{"from_option"});

    r = run_default_port({"--src=" + other.name(), p, "--mode=2"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), (strings{"from_option", "from_profile"}));
}

TEST_F(kestrun_profile, query_entry_is_converted_outside_the_table_total)
{
    pg.exec("CREATE TABLE t (id int, v text); INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    const std::string p =
        "--profile=" + profile("q.qlx", generic(), "big=SELECT id, v FROM t WHERE id > 1\r\nt");
    const kestrun_result r = run_default_port({p});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("big", 2) + table_line("t", 3));
    EXPECT_EQ(oracle("SELECT \"id\", \"v\" FROM \"big\" ORDER BY 1;"), (strings{"2\tb", "3\tc"}));
}

TEST_F(kestrun_profile, empty_postgresql_port_leaves_the_port_to_the_client_library)
{
    pg.exec("CREATE TABLE t (id int)");
    std::vector<std::string> args = ora_args();
    for (const std::string& a : pg_args())
        args.push_back(a.rfind("--pgport=", 0) == 0 ? std::string("--pgport=") : a);
    args.push_back("--no_schema");
    const kestrun_result r = run_default_port(args);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle_tables(), strings{"t"});
}

TEST_F(kestrun_profile, a_query_whose_column_names_repeat_is_written_to_each_column)
{
    // a join's two id columns: the second gets a generated name, at the first run and in a
    // merge into the table it made
    pg.exec("CREATE TABLE a (id int, v int); INSERT INTO a VALUES (1, 10);"
            "CREATE TABLE b (id int, w int); INSERT INTO b VALUES (1, 20)");
    const std::string p = "--profile="
                          + profile("p.qlx", generic(),
                                    "j=SELECT a.id, b.id + 1 AS id, a.v FROM a JOIN b USING (id)");
    EXPECT_EQ(run_default_port({p, "--mode=0"}).exit_code, 0);
    // the table has no key: the merge adds the row again and says so
    const kestrun_result r = run_default_port({p, "--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_NE(r.out.find("Error:\nj: 1 records were added to the 1 rows the Oracle table held, "
                         "not merged"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(oracle("SELECT * FROM \"j\";"), (strings{"1\t2\t10", "1\t2\t10"}));
}

TEST_F(kestrun_profile, the_databases_search_path_steers_only_the_users_own_query)
{
    // lookalikes of the built-ins the reader and the catalogue queries use, found before the
    // catalogue on the database's path; label exists only there, for the user's query
    pg.exec("CREATE SCHEMA app;"
            "CREATE FUNCTION app.encode(bytea, text) RETURNS text LANGUAGE sql"
            " AS $$SELECT 'AAAA'::text$$;"
            "CREATE FUNCTION app.to_char(timestamp, text) RETURNS text LANGUAGE sql"
            " AS $$SELECT '01-01-2000 00:00:00 000'::text$$;"
            "CREATE FUNCTION app.isfinite(date) RETURNS bool LANGUAGE sql AS $$SELECT false$$;"
            "CREATE FUNCTION app.never(oid, oid) RETURNS bool LANGUAGE sql AS $$SELECT false$$;"
            "CREATE OPERATOR app.= (LEFTARG = oid, RIGHTARG = oid, FUNCTION = app.never);"
            "CREATE FUNCTION app.has_column_privilege(oid, smallint, text) RETURNS bool"
            " LANGUAGE sql AS $$SELECT false$$;"
            "CREATE FUNCTION app.label(int) RETURNS text LANGUAGE sql"
            " AS $$SELECT 'label ' || $1$$;"
            "CREATE TABLE public.t (id int PRIMARY KEY, b bytea, ts timestamp, d date);"
            "INSERT INTO public.t VALUES (1, '\\xdeadbeef', '2024-05-06 07:08:09', '1999-12-31');"
            "ALTER DATABASE \"" + pg.name() + "\" SET search_path = app, pg_catalog, public");
    const std::string p = "--profile=" + profile("s.qlx", generic() + "\r\nno schema=1",
                                                 "q=SELECT label(id) AS l, b, ts, d FROM t\r\nt");
    const kestrun_result r = run_default_port({p});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("q", 1) + table_line("t", 1));
    const std::string values = "\"b\", TO_CHAR(\"ts\", 'YYYY-MM-DD HH24:MI:SS'), "
                               "TO_CHAR(\"d\", 'YYYY-MM-DD')";
    EXPECT_EQ(oracle("SELECT \"id\", " + values + " FROM \"t\";"),
              strings{"1\tDEADBEEF\t2024-05-06 07:08:09\t1999-12-31"});
    EXPECT_EQ(oracle("SELECT \"l\", " + values + " FROM \"q\";"),
              strings{"label 1\tDEADBEEF\t2024-05-06 07:08:09\t1999-12-31"});
    // the key came from the catalogue too
    EXPECT_EQ(oracle("SELECT constraint_type FROM user_constraints WHERE table_name = 't';"),
              strings{"P"});
}

TEST_F(kestrun_profile, profile_that_gives_one_key_two_values_is_refused_before_anything_runs)
{
    pg.exec("CREATE TABLE orders (id int); INSERT INTO orders VALUES (1), (2)");
    const std::string query = "orders=SELECT id FROM orders WHERE id = 1";
    const std::string refused = "'. Please verify the profile.";
    const struct {
        std::string generic;
        std::string selected;
        std::string message;
    } cases[] = {
        {generic(), "orders\r\n" + query,
         "The profile gives the key 'orders' of the section [Selected Tables] two values: '' and "
         "'SELECT id FROM orders WHERE id = 1" + refused},
        {generic(), query + "\r\norders",
         "The profile gives the key 'orders' of the section [Selected Tables] two values: "
         "'SELECT id FROM orders WHERE id = 1' and '" + refused},
        {generic(), query + "\r\norders=SELECT id FROM orders",
         "The profile gives the key 'orders' of the section [Selected Tables] two values: "
         "'SELECT id FROM orders WHERE id = 1' and 'SELECT id FROM orders" + refused},
        {generic() + "\r\nmode=2\r\nmode=0", "orders",
         "The profile gives the key 'mode' of the section [Generic settings] two values: '2' and "
         "'0" + refused},
        // blanks around a digit are not part of it, so only the digit tells
        {generic() + "\r\nmode=2\r\nmode = 2\r\nmode = 0", "orders",
         "The profile gives the key 'mode' of the section [Generic settings] two values: '2' and "
         "' 0" + refused},
        // a name's blanks are its own
        {generic() + "\r\nsrc= " + pg.name(), "orders",
         "The profile gives the key 'src' of the section [Generic settings] two values: '"
             + pg.name() + "' and ' " + pg.name() + refused},
    };
    for (const auto& c : cases) {
        const std::string p = profile("two.qlx", c.generic, c.selected);
        const kestrun_result r = run_default_port({"--profile=" + p});
        EXPECT_EQ(r.exit_code, 255) << c.message;
        EXPECT_EQ(r.out, "Error:\n" + c.message + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(oracle_tables(), strings{});
    }

    // the same line twice says one thing
    const std::string p = profile("same.qlx", generic() + "\r\nmode=0\r\nmode=0", query + "\r\n" + query);
    const kestrun_result r = run_default_port({"--profile=" + p});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"orders\";"), strings{"1"});

    // and so does a value of 0/1 or a digit with other blanks around it: skip keeps the table
    const std::string spaced
        = profile("spaced.qlx",
                  generic() + "\r\nmode=2\r\nmode = 2\r\nskip indexes=0\r\nskip indexes= 0 ",
                  "orders");
    const kestrun_result s = run_default_port({"--profile=" + spaced});
    EXPECT_EQ(s.exit_code, 0) << s.out << s.err;
    EXPECT_EQ(oracle("SELECT \"id\" FROM \"orders\";"), strings{"1"});
}

TEST_F(kestrun_profile, profile_key_or_section_that_differs_from_a_known_one_in_case_is_refused)
{
    pg.exec("CREATE TABLE orders (id int); INSERT INTO orders VALUES (1), (2);"
            "CREATE TABLE \"Mode\" (id int); CREATE TABLE \"generic settings\" (id int)");
    ora.sql("CREATE TABLE \"orders\" (\"id\" NUMBER);\n"
            "INSERT INTO \"orders\" VALUES (7);\nINSERT INTO \"orders\" VALUES (8);\n");
    // the profile of the fixture with one text replaced
    int written = 0;
    const auto changed = [&](const std::string& generic, const std::string& from,
                             const std::string& to) {
        const std::string path
            = profile("case" + std::to_string(++written) + ".qlx", generic, "orders");
        std::string text = test_read_file(path);
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        return dir.write("case" + std::to_string(written) + ".qlx", text);
    };
    const std::string exactly
        = ": keys and section names are read exactly as written. Please verify the profile.";
    const std::string mode_key = "', which is not the key 'mode' of the section [Generic settings]";
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        // meant: skip; read as an unknown key, mode 0 would drop and refill the table
        {changed(generic() + "\r\nMode=2", "", ""),
         "Line 4 of the profile gives the key 'Mode" + mode_key + exactly},
        {changed(generic() + "\r\n  MODE = 2", "", ""),
         "Line 4 of the profile gives the key 'MODE" + mode_key + exactly},
        {changed(generic(), "[Oracle settings]\r\nuser=", "[Oracle settings]\r\nUser="),
         "Line 5 of the profile gives the key 'User', which is not the key 'user' of the section "
         "[Oracle settings]" + exactly},
        // read as an unknown section, every table of the database would be converted
        {changed(generic(), "[Selected Tables]", "[selected tables]"),
         "Line 8 of the profile names the section [selected tables], which is not the section "
         "[Selected Tables]" + exactly},
        {changed(generic(), "[Selected Tables]", "[ Selected Tables ]"),
         "Line 8 of the profile names the section [ Selected Tables ], which is not the section "
         "[Selected Tables]" + exactly},
        {changed(generic() + "\r\nmode=2", "[Generic settings]", "[generic settings]"),
         "Line 1 of the profile names the section [generic settings], which is not the section "
         "[Generic settings]" + exactly},
        // a no-break space pasted from a page is as near a miss
        {changed(generic() + "\r\nmode\xC2\xA0=2", "", ""),
         "Line 4 of the profile gives the key 'mode\xC2\xA0" + mode_key + exactly},
        // a header with more on its line is a key of the section above
        {changed(generic(), "[Selected Tables]", "[Selected Tables] ; the tables"),
         "Line 8 of the profile gives '[Selected Tables] ; the tables', which is not the section "
         "header [Selected Tables]: a section header is a line of its own. Please verify the "
         "profile."},
        {changed(generic(), "[Selected Tables]", "[Selected Tables]]"),
         "Line 8 of the profile names the section [Selected Tables]], which is not the section "
         "[Selected Tables]" + exactly},
        // the first such line of the file
        {changed(generic() + "\r\nMode=2", "[pgs settings]", "[PGS settings]"),
         "Line 4 of the profile gives the key 'Mode" + mode_key + exactly},
    };
    for (const auto& c : cases) {
        const kestrun_result r = run_default_port({"--profile=" + c.path});
        EXPECT_EQ(r.exit_code, 255) << c.message;
        EXPECT_EQ(r.out, "Error:\n" + c.message + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(oracle_tables(), strings{"orders"});
        EXPECT_EQ(oracle("SELECT \"id\" FROM \"orders\" ORDER BY 1;"), (strings{"7", "8"}));
    }

    // table and query names are names, and sections that resemble none are still ignored
    const std::string names = dir.write(
        "names.qlx", test_read_file(profile("names.qlx", generic() + "\r\nno schema=1",
                                            "Mode\r\ngeneric settings"))
                         + "[Notes]\r\nmode=2\r\n[Available Queries]\r\nMode=SELECT 1\r\n");
    const kestrun_result r = run_default_port({"--profile=" + names});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(2) + table_line("Mode", 0) + table_line("generic settings", 0));
    EXPECT_EQ(oracle_tables(), (strings{"Mode", "generic_settings", "orders"}));
}

TEST_F(kestrun_profile, a_tab_is_a_blank_and_a_key_in_another_section_is_refused)
{
    pg.exec("CREATE TABLE orders (id int); INSERT INTO orders VALUES (1), (2);"
            "CREATE TABLE other (id int)");
    ora.sql("CREATE TABLE \"orders\" (\"id\" NUMBER);\n"
            "INSERT INTO \"orders\" VALUES (7);\nINSERT INTO \"orders\" VALUES (8);\n");
    // the user's table as it was: every case below either skips it or is refused
    const auto expect_untouched = [&](const std::string& what) {
        EXPECT_EQ(oracle_tables(), strings{"orders"}) << what;
        EXPECT_EQ(oracle("SELECT \"id\" FROM \"orders\" ORDER BY 1;"), (strings{"7", "8"})) << what;
    };
    const std::string schema = generic() + "\r\nno schema=1\r\n";
    // mode 2 skips the existing table; read as the default 0 it would be refilled, and an
    // unknown selection section would convert other as well
    const struct {
        std::string generic;
        std::string from;
        std::string to;
    } read[] = {
        {schema + "mode\t=\t2", "", ""},
        {schema + "\tmode=2\t", "", ""},
        {schema + "mode=2", "[Selected Tables]", "[Selected Tables]\t"},
        {schema + "mode=2", "[Selected Tables]\r\norders", "\t[Selected Tables]\r\n\torders\t"},
    };
    int written = 0;
    for (const auto& c : read) {
        const std::string name = "tab" + std::to_string(++written) + ".qlx";
        std::string text = test_read_file(profile(name, c.generic, "orders"));
        const std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        const kestrun_result r = run_default_port({"--profile=" + dir.write(name, text)});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        expect_untouched(c.generic + c.to);
    }

    const std::string own = ": a key is read only in its own section. Please verify the profile.";
    const struct {
        std::string generic;
        std::string message;
    } refused[] = {
        {schema + "[Oracle settings]\r\nmode=2",
         "Line 6 of the profile gives the key 'mode' in the section [Oracle settings], but it is a "
         "key of the section [Generic settings]" + own},
        {schema + "[Oracle settings]\r\n\tMode\t=2",
         "Line 6 of the profile gives the key 'Mode' in the section [Oracle settings], but it is a "
         "key of the section [Generic settings]" + own},
        // the postgresql port has no key: the oracle one would not be read for it
        {schema + "mode=2\r\n[pgs settings]\r\nport=5433",
         "Line 7 of the profile gives the key 'port' in the section [pgs settings], but it is a "
         "key of the section [Oracle settings]" + own},
        {schema + "mode=2\r\nhost=localhost",
         "Line 6 of the profile gives the key 'host' in the section [Generic settings], but it is "
         "a key of the sections [Oracle settings] and [pgs settings]" + own},
        // appended below the last section of a profile; no query is a lone digit
        {schema + "[Available Queries]\r\nmode=2",
         "Line 6 of the profile gives the key 'mode' in the section [Available Queries], but it is "
         "a key of the section [Generic settings]" + own},
        {schema + "[Selected Tables]\r\nmode = 2",
         "Line 6 of the profile gives the key 'mode' in the section [Selected Tables], but it is "
         "a key of the section [Generic settings]" + own},
        // a tab or a second blank inside a name is a near miss as well
        {schema + "mode=2\r\n[Selected\tTables]\r\nother",
         "Line 6 of the profile names the section [Selected\\x09Tables], which is not the section "
         "[Selected Tables]: keys and section names are read exactly as written. Please verify "
         "the profile."},
        {schema + "mode=2\r\nonly  definitions=1",
         "Line 6 of the profile gives the key 'only  definitions', which is not the key 'only "
         "definitions' of the section [Generic settings]: keys and section names are read exactly "
         "as written. Please verify the profile."},
    };
    for (const auto& c : refused) {
        const kestrun_result r = run_default_port({"--profile=" + profile("in.qlx", c.generic, "orders")});
        EXPECT_EQ(r.exit_code, 255) << c.message;
        EXPECT_EQ(r.out, "Error:\n" + c.message + "\n");
        EXPECT_EQ(r.err, "");
        expect_untouched(c.message);
    }
}

TEST_F(kestrun_profile, a_profile_that_is_not_utf8_is_refused_naming_its_line)
{
    pg.exec("CREATE TABLE t (id int, v text); INSERT INTO t VALUES (1, 'caf\xC3\xA9'), (2, 'x')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER);\nINSERT INTO \"t\" VALUES (7);\n");
    const struct {
        std::string generic;
        std::string selected;
        std::string line;
    } cases[] = {
        // a query saved by a latin-1 editor would select other rows than written
        {generic(), "t\r\nq=SELECT id FROM t WHERE v <> 'caf\xE9'", "10"},
        // a name would turn into another table
        {generic(), "q\xE9=SELECT 1 AS id\r\nt", "9"},
        {generic() + "\r\nmode=2\xA0", "t", "4"},
        // a NUL would end the line early
        {generic(), "t\r\nq=SELECT id FROM t WHERE v <> " + std::string("'\0'", 3), "10"},
    };
    for (const auto& c : cases) {
        const kestrun_result r
            = run_default_port({"--profile=" + profile("latin.qlx", c.generic, c.selected)});
        EXPECT_EQ(r.exit_code, 255) << c.line;
        EXPECT_EQ(r.out, "Error:\nLine " + c.line
                             + " of the profile is not UTF-8 text: a profile is read as UTF-8, "
                               "and other bytes would change what it says. Please save the "
                               "profile as UTF-8.\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(oracle_tables(), strings{"t"});
        EXPECT_EQ(oracle("SELECT \"id\" FROM \"t\";"), strings{"7"});
    }
}

TEST_F(kestrun_profile, a_password_given_twice_is_refused_without_showing_either)
{
    pg.exec("CREATE TABLE t (id int)");
    // the profile's own password comes second, after the case's
    const struct {
        std::string generic;
        std::string section;
        std::string first;
    } cases[] = {
        {generic() + "\r\n[Oracle settings]\r\npassword=OraSecret2", "Oracle settings",
         "OraSecret2"},
        {generic() + "\r\n[pgs settings]\r\npassword=PgSecret2", "pgs settings", "PgSecret2"},
    };
    for (const auto& c : cases) {
        const kestrun_result r = run_default_port({"--profile=" + profile("pw.qlx", c.generic, "t")});
        EXPECT_EQ(r.exit_code, 255) << c.section;
        EXPECT_EQ(r.out, "Error:\nThe profile gives the key 'password' of the section [" + c.section
                             + "] two different values, which are not shown: it holds a "
                               "password. Please verify the profile.\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ((r.out + r.err).find(c.first), std::string::npos);
        EXPECT_EQ(oracle_tables(), strings{});
    }
}
