// merges into tables the user made in Oracle, with column types this tool never creates,
// and Oracle's messages about them as the client gives them

#include "agent_fixture.hpp"

#include <string>
#include <vector>

using strings = std::vector<std::string>;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// a text longer than one piece of the large-object writer, of one-, two- and four-byte
// characters and a surrogate pair
std::string long_text()
{
    std::string text;
    while (text.size() < 700000)
        text += "Grüße, Ελλάδα 😀 ";
    return text;
}

} // namespace

TEST_F(kestrun_conversion, merge_into_users_nclob_and_binary_number_columns_arrives_exact)
{
    const std::string text = long_text();
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, note text, f float8, d float8);"
            "INSERT INTO t VALUES (1, '" + text + "', 0.1, 0.1),"
            "(2, 'ä', 1e-300, 1e-300), (3, NULL, -2.5, -2.5e-320), (4, '', 1e39, NULL),"
            "(5, 'x', NULL, 1.7976931348623157e308), (6, 'y', 16777217, -5e-324),"
            "(7, 'z', 'NaN', 'Infinity')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"note\" NCLOB, "
            "\"f\" BINARY_FLOAT, \"d\" BINARY_DOUBLE);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    // the replaced values are told as for NUMBER; nothing else
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 7)
                         + "Error:\nt: 1 value(s) of column d were beyond the Oracle number range "
                           "and were written as the column default or NULL\n"
                           "Error:\nt: 2 value(s) of column f were beyond the Oracle number range "
                           "and were written as the column default or NULL\n"
                           "Error:\nt: 1 value(s) of column f were too small for an Oracle number "
                           "and were written as 0\n")
        << r.err;
    // doubles exact, rounded to single precision in BINARY_FLOAT; NULL stays NULL
    EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"f\"), TO_CHAR(\"d\") FROM \"t\" ORDER BY 1;"),
              (strings{"1\t1.0E-001\t1.0E-001", "2\t0\t1.0E-300", "3\t-2.5E+000\t-2.5E-320",
                       "4\t~\t~", "5\t~\t1.7976931348623157E+308", "6\t1.6777216E+007\t-5.0E-324",
                       "7\t~\t~"}));
    EXPECT_EQ(oracle("SELECT \"note\" FROM \"t\" WHERE \"id\" = 1;"), strings{text});
    EXPECT_EQ(oracle("SELECT \"id\", LENGTH(\"note\") FROM \"t\" WHERE \"id\" > 1 ORDER BY 1;"),
              (strings{"2\t1", "3\t~", "4\t0", "5\t1", "6\t1", "7\t1"}));
    // the user's definition stays as it was
    EXPECT_EQ(oracle("SELECT column_name, data_type, nullable FROM user_tab_columns WHERE "
                     "table_name = 't' ORDER BY column_id;"),
              (strings{"id\tNUMBER\tN", "note\tNCLOB\tY", "f\tBINARY_FLOAT\tY",
                       "d\tBINARY_DOUBLE\tY"}));
}

TEST_F(kestrun_conversion, merge_with_update_rewrites_users_nclob_and_binary_number_columns)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, note text, f float8, d float8);"
            "INSERT INTO t VALUES (1, 'a', 1, 1), (2, 'b', 2, 2)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"note\" NCLOB, "
            "\"f\" BINARY_FLOAT, \"d\" BINARY_DOUBLE);\n");
    ASSERT_EQ(run({"--mode=1"}).exit_code, 0);
    // longer than a text literal holds, so that the update writes it in pieces
    std::string text;
    while (text.size() < 9000)
        text += "Ελλάδα 😀 ";
    pg.exec("UPDATE t SET note = '" + text + "', f = 0.1, d = 2.5e-310 WHERE id = 1;"
            "UPDATE t SET f = 'Infinity', d = -0.0 WHERE id = 2");
    const test_pg_server& s = test_pg_server::get();
    const std::string profile = dir.write(
        "update.qlx", "[Generic settings]\r\nsrc=" + pg.name() + "\r\ndest=" + ora.service()
                          + "\r\nmode=4\r\nno schema=1\r\n[Oracle settings]\r\nuser=" + ora.user()
                          + "\r\npassword=" + ora.password() + "\r\n[pgs settings]\r\nhost="
                          + s.host + "\r\nuser=" + s.user + "\r\npassword=" + s.password + "\r\n");
    std::vector<std::string> env = ora.environment();
    env.push_back("PGPORT=" + s.port);
    const kestrun_result r = run_kestrun({"--profile=" + profile}, env);
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2)
                         + "Error:\nt: 1 value(s) of column f were beyond the Oracle number range "
                           "and were written as the column default or NULL\n");
    EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"f\"), TO_CHAR(\"d\") FROM \"t\" ORDER BY 1;"),
              (strings{"1\t1.0E-001\t2.5E-310", "2\t~\t0"}));
    EXPECT_EQ(oracle("SELECT \"note\" FROM \"t\" ORDER BY \"id\";"), (strings{text, "b"}));
}

TEST_F(kestrun_conversion, binary_number_columns_keep_their_not_null_and_refuse_a_null)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, d float8);"
            "INSERT INTO t VALUES (1, 1.5), (2, NULL)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"d\" BINARY_DOUBLE NOT NULL);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Error:\nt, record #2: ORA-01400")) << r.out;
    EXPECT_FALSE(contains(r.out, "NOT NULL constraint")) << r.out;
    EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"d\") FROM \"t\";"), strings{"1\t1.5E+000"});
    EXPECT_EQ(oracle("SELECT nullable FROM user_tab_columns WHERE table_name = 't' AND "
                     "column_name = 'd';"),
              strings{"N"});
}

TEST_F(kestrun_conversion, oracle_messages_reach_the_user_whole)
{
    // a user name of 128 characters makes ORA-12899 longer than 255 characters
    const std::string user(128, 'U');
    const std::string table(30, 't');
    const std::string column(30, 'c');
    test_ora_schema own(user, "secret");
    own.sql("CREATE TABLE \"" + table + "\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"" + column
            + "\" VARCHAR2(1));\n");
    pg.exec("CREATE TABLE " + table + " (id int PRIMARY KEY, " + column + " text);"
            "INSERT INTO " + table + " VALUES (1, 'abcde')");
    std::vector<std::string> args{"--no_schema", "--mode=1", "--dest=" + own.service(),
                                  "--oraclu=" + user, "--oraclp=secret"};
    for (const std::string& a : pg_args())
        args.push_back(a);
    const kestrun_result r = run_kestrun(args, own.environment());
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    const std::string message = "ORA-12899: value too large for column \"" + user + "\".\"" + table
                                + "\".\"" + column + "\" (actual: 5, maximum: 1)";
    ASSERT_GT(message.size(), 255u);
    EXPECT_TRUE(contains(r.out, "Error:\n" + table + ", record #1: " + message + "\n")) << r.out;
}

TEST_F(kestrun_conversion, merges_into_users_timestamp_columns_keep_the_fraction_of_their_scale)
{
    // the key is a TIMESTAMP too: merge with update finds its rows by it
    struct {
        const char* source;
        const char* t0;
        const char* t3;
        const char* t6;
        const char* t9;
    } cases[] = {
        // in the order of the key
        {"2024-02-28 23:59:59.4999", "2024-02-28 23:59:59.000000000",
         "2024-02-28 23:59:59.500000000", "2024-02-28 23:59:59.499900000",
         "2024-02-28 23:59:59.499900000"},
        {"2024-05-06 10:00:00.123456", "2024-05-06 10:00:00.000000000",
         "2024-05-06 10:00:00.123000000", "2024-05-06 10:00:00.123456000",
         "2024-05-06 10:00:00.123456000"},
        {"2024-05-06 10:00:00.75", "2024-05-06 10:00:01.000000000",
         "2024-05-06 10:00:00.750000000", "2024-05-06 10:00:00.750000000",
         "2024-05-06 10:00:00.750000000"},
        // half a unit rounds up, here into the next year
        {"2024-12-31 23:59:59.9995", "2025-01-01 00:00:00.000000000",
         "2025-01-01 00:00:00.000000000", "2024-12-31 23:59:59.999500000",
         "2024-12-31 23:59:59.999500000"},
    };
    pg.exec("CREATE TABLE t (k timestamp PRIMARY KEY, t0 timestamp, t3 timestamp, t6 timestamp,"
            " t9 timestamp, day date, z timestamptz)");
    for (const auto& c : cases)
        pg.exec("INSERT INTO t VALUES ('" + std::string(c.source) + "', NULL, NULL, NULL, NULL, '"
                + c.source + "', '" + c.source + "')");
    ora.sql("CREATE TABLE \"t\" (\"k\" TIMESTAMP(6) PRIMARY KEY, \"t0\" TIMESTAMP(0), "
            "\"t3\" TIMESTAMP(3), \"t6\" TIMESTAMP, \"t9\" TIMESTAMP(9), \"day\" TIMESTAMP(3), "
            "\"z\" TIMESTAMP);\n");
    const std::string ff9 = "'YYYY-MM-DD HH24:MI:SS.FF9'";
    const std::string select = "SELECT TO_CHAR(\"t0\", " + ff9 + "), TO_CHAR(\"t3\", " + ff9
                               + "), TO_CHAR(\"t6\", " + ff9 + "), TO_CHAR(\"t9\", " + ff9
                               + "), TO_CHAR(\"day\", " + ff9 + "), TO_CHAR(\"z\", " + ff9
                               + ") FROM \"t\" ORDER BY \"k\";";
    strings nulls;
    for (const auto& c : cases)
        nulls.push_back(std::string("~\t~\t~\t~\t") + std::string(c.source, 10)
                        + " 00:00:00.000000000\t" + c.t6);

    kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 4)) << r.err;
    EXPECT_EQ(oracle(select), nulls);

    // the update writes as the insert does, into the row of that key
    pg.exec("UPDATE t SET t0 = k, t3 = k, t6 = k, t9 = k");
    r = run_kestrun({"--profile=" + profile("u.qlx", generic() + "\r\nmode=4\r\nno schema=1", "t")},
                    profile_environment());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 4)) << r.err;
    strings updated;
    for (const auto& c : cases)
        updated.push_back(std::string(c.t0) + "\t" + c.t3 + "\t" + c.t6 + "\t" + c.t9 + "\t"
                          + std::string(c.source, 10) + " 00:00:00.000000000\t" + c.t6);
    EXPECT_EQ(oracle(select), updated);
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM \"t\";"), strings{"4"});
    // the user's definition stays as it was
    EXPECT_EQ(oracle("SELECT data_type FROM user_tab_columns WHERE table_name = 't' ORDER BY "
                     "column_id;"),
              (strings{"TIMESTAMP(6)", "TIMESTAMP(0)", "TIMESTAMP(3)", "TIMESTAMP(6)",
                       "TIMESTAMP(9)", "TIMESTAMP(3)", "TIMESTAMP(6)"}));
}

TEST_F(kestrun_conversion, a_timestamp_its_scale_would_round_past_the_year_9999_is_refused)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, ts timestamp);"
            "INSERT INTO t VALUES (1, '9999-12-31 23:59:59.4'), (2, '9999-12-31 23:59:59.5')");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"ts\" TIMESTAMP(0));\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Error:\nt, record #2: Column ts cannot hold 9999-12-31 "
                                "23:59:59.500000: rounded to 0 fractional digits it would be past "
                                "the year 9999\n"))
        << r.out;
    EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"ts\", 'YYYY-MM-DD HH24:MI:SS.FF3') FROM \"t\";"),
              strings{"1\t9999-12-31 23:59:59.000"});
}

TEST_F(kestrun_conversion, dates_written_into_users_columns_with_a_time_zone_are_reported)
{
    // the source's local times carry no offset: Oracle's session decides it
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, z timestamptz, l timestamp, d timestamp);"
            "INSERT INTO t VALUES (1, '2024-05-06 10:00:00.75', '2024-05-06 10:00:00.5', "
            "'2024-05-06 10:00:00.25'), (2, NULL, '2024-05-06 11:00:00', NULL)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"z\" TIMESTAMP(3) WITH TIME "
            "ZONE, \"l\" TIMESTAMP WITH LOCAL TIME ZONE, \"d\" DATE);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out, database_line(1) + table_line("t", 2)
                         + "Error:\nt: 2 value(s) of column l were written as local times without "
                           "their offset: Oracle gave them the time zone of its session\n"
                           "Error:\nt: 1 value(s) of column z were written as local times without "
                           "their offset: Oracle gave them the time zone of its session\n")
        << r.err;
    // the fraction arrives; a DATE column drops it as before
    EXPECT_EQ(oracle("SELECT \"id\", TO_CHAR(\"z\", 'HH24:MI:SS.FF6'), TO_CHAR(\"l\", "
                     "'HH24:MI:SS.FF6'), TO_CHAR(\"d\", 'HH24:MI:SS') FROM \"t\" ORDER BY 1;"),
              (strings{"1\t10:00:00.750000\t10:00:00.500000\t10:00:00", "2\t~\t11:00:00.000000\t~"}));
}

TEST_F(kestrun_conversion, an_empty_value_for_the_users_not_null_large_object_is_written_empty)
{
    // an empty large object is no NULL: the row is written; a NULL is refused with its record
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, body text, pic bytea);"
            "INSERT INTO t VALUES (1, '', '\\x'), (2, NULL, '\\x01'), (3, 'b', NULL)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER(11,0) PRIMARY KEY, \"body\" CLOB NOT NULL, "
            "\"pic\" BLOB NOT NULL);\n");
    const kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "Error:\nt, record #2: ORA-01400")) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nt, record #3: ORA-01400")) << r.out;
    EXPECT_TRUE(contains(r.out, "Error:\nt: 2 of 3 records were not written\n")) << r.out;
    EXPECT_EQ(oracle("SELECT \"id\", DBMS_LOB.GETLENGTH(\"body\"), DBMS_LOB.GETLENGTH(\"pic\") "
                     "FROM \"t\";"),
              strings{"1\t0\t0"});
}

TEST_F(kestrun_conversion, dates_merged_into_users_text_columns_keep_their_time_and_century)
{
    // oracle would print a DATE in its session's format (02-JAN-20): the text is the one a
    // CLOB gets, with the fraction of a second, by merge and by merge with update alike
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, n timestamp, v timestamp, c timestamp, d date);"
            "INSERT INTO t VALUES (1, '2020-01-02 03:04:05', '1999-12-31 23:59:58.25', "
            "'2020-01-02 03:04:05.123456', '1999-12-31'), (2, NULL, NULL, NULL, NULL)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER PRIMARY KEY, \"n\" NVARCHAR2(40), "
            "\"v\" VARCHAR2(40), \"c\" CLOB, \"d\" NVARCHAR2(40));\n"
            "INSERT INTO \"t\" VALUES (2, 'old', 'old', 'old', 'old');\n");
    const std::string select = "SELECT \"id\", \"n\", \"v\", \"c\", \"d\" FROM \"t\" ORDER BY 1;";
    kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle(select), (strings{"1\t2020-01-02 03:04:05\t1999-12-31 23:59:58.25\t"
                                       "2020-01-02 03:04:05.123456\t1999-12-31",
                                       "2\told\told\told\told"}));

    pg.exec("UPDATE t SET n = '1987-06-05 04:03:02.5', v = n, c = '2001-02-03 00:00:00.000001',"
            " d = '2087-06-05' WHERE id = 2");
    r = run_kestrun({"--profile=" + profile("u.qlx", generic() + "\r\nmode=4\r\nno schema=1", "t")},
                    profile_environment());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle(select), (strings{"1\t2020-01-02 03:04:05\t1999-12-31 23:59:58.25\t"
                                       "2020-01-02 03:04:05.123456\t1999-12-31",
                                       "2\t1987-06-05 04:03:02.5\t~\t2001-02-03 00:00:00.000001\t"
                                       "2087-06-05"}));
}

TEST_F(kestrun_conversion, numbers_merged_into_users_text_columns_keep_the_sources_text)
{
    // oracle would print a NUMBER its own way (.1 for 0.1) and a double arrived in a fixed
    // width (7.000000000000000e-002): a text column gets the text the source shows
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, n numeric, v float8, c float8, r real);"
            "INSERT INTO t VALUES (1, 0.1, 0.07, 0.07, 0.1), (2, NULL, NULL, NULL, NULL)");
    ora.sql("CREATE TABLE \"t\" (\"id\" NUMBER PRIMARY KEY, \"n\" NVARCHAR2(40), "
            "\"v\" VARCHAR2(40), \"c\" CLOB, \"r\" NVARCHAR2(40));\n"
            "INSERT INTO \"t\" VALUES (2, 'old', 'old', 'old', 'old');\n");
    const std::string select = "SELECT \"id\", \"n\", \"v\", \"c\", \"r\" FROM \"t\" ORDER BY 1;";
    kestrun_result r = run({"--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle(select), (strings{"1\t0.1\t0.07\t0.07\t0.1", "2\told\told\told\told"}));

    pg.exec("UPDATE t SET n = -0.5, v = 1e-300, c = 1e+126, r = 3.25 WHERE id = 2");
    r = run_kestrun({"--profile=" + profile("u.qlx", generic() + "\r\nmode=4\r\nno schema=1", "t")},
                    profile_environment());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(oracle(select), (strings{"1\t0.1\t0.07\t0.07\t0.1",
                                       "2\t-0.5\t1e-300\t1e+126\t3.25"}));
}
