#include "conv_support.hpp"

#include "ora_db.hpp"
#include "ora_engi.hpp"
#include "ora_except.hpp"
#include "ora_qres.hpp"
#include "pgs_engine.hpp"
#include "tarnova_convertor.hpp"
#include "test_ora.hpp"
#include "test_pg.hpp"
#include "test_wait.hpp"
#include "tk_log.hpp"
#include "tk_threa.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

const char duplicate_text[] =
    "Duplicate field values being used for an unique index were found. See 'Troubleshooting' "
    "article of the product documentation for solution.";

// every value of a query, NULL as "~", large objects read whole, bytes as 0x and hex digits
std::vector<std::vector<std::string>> oracle_values(const std::wstring& sql)
{
    std::vector<std::vector<std::string>> out;
    ora_query_results result(ora_engine::instance().session(), 0, sql);
    while (!result.is_eof()) {
        const udb_record* record = result.get_item();
        std::vector<std::string> row;
        for (std::size_t i = 0; i < record->fields.size(); ++i)
            row.push_back(record->fields[i]->get_type() == VT_EMPTY
                              ? std::string("~")
                              : tk_to_utf8(ora_query_results::field_text(*record, i)));
        out.push_back(row);
    }
    return out;
}

// one run against a postgresql database of its own and a fresh stand-in schema
class conversion : public testing::Test {
protected:
    void SetUp() override
    {
        task = std::make_unique<tarnova_convertor>(tarnova_convertor::program::console);
        task->set_hooks(&hooks);
        h.handler.set_before_exit(&tarnova_convertor::log_off_before_exit);
        const test_pg_server& server = test_pg_server::get();
        task->pgs().store_pgs_settings(server.host, server.user, server.password,
                                       std::stoi(server.port));
        task->pgs().connect_pgs_server();
        task->pgs().engine().set_no_schema(true);
        task->set_source_name(tk_to_unicode(pg.name()));
        task->store_oracle_settings(L"localhost", tk_to_unicode(ora.user()),
                                    tk_to_unicode(ora.password()), L"");
        reconnect();
    }

    void TearDown() override
    {
        unsetenv("OCISIM_FAULTS");
        task.reset();
    }

    // the stand-in fails every statement that matches the pattern with ORA-<number>
    static void inject_error(const std::string& pattern, int number)
    {
        setenv("OCISIM_FAULTS", (std::to_string(number) + ":" + pattern).c_str(), 1);
    }

    // a new session; the destination's table list is read again
    void reconnect() { task->connect_oracle_server(tk_to_unicode(ora.service())); }

    ora_database& dest() { return *task->get_connected_database(); }

    void oracle(const std::wstring& sql) { dest().query(sql); }

    // every row of a query, its values joined by '|', NULL as "~"
    std::vector<std::string> rows(const std::wstring& sql)
    {
        std::vector<std::string> out;
        for (const std::vector<std::string>& row : oracle_values(sql)) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i)
                line += (i ? "|" : "") + row[i];
            out.push_back(line);
        }
        return out;
    }

    // a COUNT(*) arrives as a number
    long count(const std::wstring& sql)
    {
        const std::vector<std::string> r = rows(sql);
        return r.size() == 1 ? std::lround(std::stod(r[0])) : -1;
    }

    std::vector<std::string> oracle_tables()
    {
        return rows(L"SELECT table_name FROM user_tables ORDER BY table_name");
    }

    void run(std::vector<std::wstring> tables)
    {
        task->selected = std::move(tables);
        (*task)();
    }

    recording_handler h;
    test_pg_database pg{"conv"};
    test_ora_schema ora;
    recording_hooks hooks;
    std::unique_ptr<tarnova_convertor> task;
};

} // namespace

TEST_F(conversion, copies_rows_and_keeps_progress_counters)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO t VALUES (1, 'a'), (2, NULL), (3, 'c');"
            "CREATE TABLE e (id int)");
    run({L"t", L"e"});
    EXPECT_TRUE(h.reaction.reports.empty()) << h.reaction.messages()[0];
    EXPECT_EQ(rows(L"SELECT \"id\", \"v\" FROM \"t\" ORDER BY \"id\""),
              (std::vector<std::string>{"1|a", "2|~", "3|c"}));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"e\""), 0);
    EXPECT_EQ(hooks.database_tables, 2u);
    // sorted order, whatever the selection
    EXPECT_EQ(hooks.tables, (std::vector<std::pair<std::wstring, std::uint32_t>>{{L"e", 0}, {L"t", 3}}));
    EXPECT_TRUE(task->is_finished());
    EXPECT_EQ(task->tab_done, 0u);
    EXPECT_EQ(task->tab_total, 0u);
    EXPECT_EQ(task->rec_total, 3u);
    EXPECT_EQ(task->rec_done, 3u);
    EXPECT_EQ(task->get_cur_table(), L"t");
    EXPECT_EQ(h.handler.get_context(), "");
}

TEST_F(conversion, existing_table_modes)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    struct mode_case {
        int mode;
        std::vector<std::string> rows;
        std::vector<std::string> reports;
    };
    const mode_case cases[] = {
        {0, {"1|a", "2|b", "3|c"}, {}},
        {1, {"1|old", "2|b", "3|old", "9|keep"}, {}},
        {2, {"1|old", "3|old", "9|keep"}, {}},
        {4, {"1|a", "2|b", "3|c", "9|keep"}, {}},
        {3, {"1|old", "2|b", "3|old", "9|keep"},
         {std::string("t, record #1: ") + duplicate_text,
          std::string("t, record #3: ") + duplicate_text, "t: 2 of 3 records were not written"}},
    };
    for (const mode_case& c : cases) {
        oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY, \"v\" NVARCHAR2(10))");
        oracle(L"INSERT INTO \"t\" VALUES (1, 'old')");
        oracle(L"INSERT INTO \"t\" VALUES (3, 'old')");
        oracle(L"INSERT INTO \"t\" VALUES (9, 'keep')");
        reconnect();
        h.reaction.reports.clear();
        task->mode = c.mode;
        run({L"t"});
        EXPECT_EQ(rows(L"SELECT \"id\", \"v\" FROM \"t\" ORDER BY \"id\""), c.rows) << c.mode;
        EXPECT_EQ(h.reaction.messages(), c.reports) << c.mode;
        // every record counts as done, dropped or reported ones too
        EXPECT_EQ(task->rec_done, c.mode == 2 ? 0u : 3u) << c.mode;
        oracle(L"DROP TABLE \"t\" CASCADE CONSTRAINTS");
        reconnect();
    }
}

TEST_F(conversion, generated_names_go_into_the_names_map)
{
    pg.exec("CREATE TABLE \"[order]\" (id int); INSERT INTO \"[order]\" VALUES (7);"
            "CREATE TABLE \"Abc\" (id int); CREATE TABLE abc (id int)");
    task->uppercase = true;
    run({L"abc", L"[order]", L"Abc"});
    EXPECT_TRUE(h.reaction.reports.empty());
    // ordinal order: A before [ before a
    ASSERT_EQ(hooks.tables.size(), 3u);
    EXPECT_EQ(hooks.tables[0].first, L"Abc");
    EXPECT_EQ(hooks.tables[1].first, L"[order]");
    EXPECT_EQ(hooks.tables[2].first, L"abc");

    const t_names_map& names = dest().names_map.table_names;
    EXPECT_EQ(names.count(L"Abc"), 0u);
    ASSERT_EQ(names.count(L"[order]"), 1u);
    ASSERT_EQ(names.count(L"order"), 1u);
    EXPECT_EQ(names.at(L"order"), names.at(L"[order]"));
    ASSERT_EQ(names.count(L"abc"), 1u);
    const std::string order_name = tk_to_utf8(names.at(L"[order]"));
    const std::string abc_name = tk_to_utf8(names.at(L"abc"));
    EXPECT_NE(abc_name, "ABC");
    std::vector<std::string> expected{"ABC", order_name, abc_name};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(oracle_tables(), expected);
    EXPECT_EQ(rows(L"SELECT * FROM \"" + names.at(L"order") + L"\""), std::vector<std::string>{"7"});
}

TEST_F(conversion, profile_query_is_converted_outside_the_table_total)
{
    pg.exec("CREATE TABLE t (id int, v text); INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    task->queries[L"recent"] = L"SELECT id, v FROM t WHERE id > 1";
    task->queries[L"t"] = L"SELECT id FROM t WHERE id = 3";
    run({L"t"});
    EXPECT_TRUE(h.reaction.reports.empty());
    EXPECT_EQ(hooks.database_tables, 1u);
    EXPECT_EQ(rows(L"SELECT \"id\", \"v\" FROM \"recent\" ORDER BY \"id\""),
              (std::vector<std::string>{"2|b", "3|c"}));
    // the query of a selected table stays: it is converted once, through it
    EXPECT_EQ(rows(L"SELECT * FROM \"t\""), std::vector<std::string>{"3"});
    EXPECT_EQ(task->queries.size(), 2u);
}

TEST_F(conversion, definitions_only_and_skipped_indexes)
{
    pg.exec("CREATE TABLE a (id int PRIMARY KEY, v int UNIQUE); INSERT INTO a VALUES (1, 1);"
            "CREATE TABLE b (id int PRIMARY KEY, v int UNIQUE); INSERT INTO b VALUES (1, 1)");
    task->tab_def = true;
    run({L"a"});
    // the merged entry of a stays in the map: a second run would convert it again
    task->clear_tables();
    task->tab_def = false;
    task->skip_idx = true;
    run({L"b"});
    EXPECT_TRUE(h.reaction.reports.empty());
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"a\""), 0);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"b\""), 1);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM user_indexes WHERE table_name = 'a'"), 2);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM user_indexes WHERE table_name = 'b'"), 0);
}

TEST_F(conversion, index_over_a_large_object_column_is_reported_and_the_others_are_built)
{
    pg.exec("CREATE TABLE notes (body text PRIMARY KEY, n int UNIQUE, tag varchar(10));"
            "CREATE INDEX notes_tag ON notes (tag);"
            "INSERT INTO notes VALUES ('a', 1, 'x'), ('b', 2, 'y')");
    run({L"notes"});
    ASSERT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_EQ(h.reaction.reports[0].level, 0);
    EXPECT_EQ(h.reaction.reports[0].message,
              "notes: Index notes_pkey was not created: column body is stored as a large object,"
              " which Oracle cannot index");
    EXPECT_EQ(h.handler.get_reported_errors(), 1u);
    EXPECT_EQ(rows(L"SELECT index_name FROM user_indexes WHERE table_name = 'notes'"
                   L" ORDER BY index_name"),
              (std::vector<std::string>{"notes_n_key", "notes_tag"}));
    EXPECT_EQ(rows(L"SELECT \"n\", \"body\" FROM \"notes\" ORDER BY \"n\""),
              (std::vector<std::string>{"1|a", "2|b"}));
}

TEST_F(conversion, dropped_not_null_constraint_is_reported_once_and_the_rows_arrive)
{
    pg.exec("CREATE TABLE people (id int PRIMARY KEY, name varchar(10) NOT NULL);"
            "INSERT INTO people VALUES (1, ''), (2, 'ann'), (3, '')");
    run({L"people"});
    ASSERT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_EQ(h.reaction.reports[0].level, 0);
    EXPECT_EQ(h.reaction.reports[0].message,
              "people: Column name lost its NOT NULL constraint: an empty text arrives in"
              " Oracle as NULL");
    EXPECT_EQ(h.handler.get_reported_errors(), 1u);
    EXPECT_EQ(rows(L"SELECT \"id\", NVL(\"name\", '~') FROM \"people\" ORDER BY 1"),
              (std::vector<std::string>{"1|~", "2|ann", "3|~"}));
}

TEST_F(conversion, uuid_key_is_kept_and_values_arrive_exactly)
{
    pg.exec("CREATE TABLE u (id uuid PRIMARY KEY, other uuid);"
            "INSERT INTO u VALUES ('a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', NULL),"
            " ('00000000-0000-0000-0000-000000000000', 'FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF')");
    task->queries[L"uq"] = L"SELECT id FROM u";
    run({L"u"});
    EXPECT_TRUE(h.reaction.reports.empty()) << h.reaction.messages()[0];
    EXPECT_EQ(rows(L"SELECT constraint_type FROM user_constraints WHERE table_name = 'u'"
                   L" AND constraint_type = 'P'"),
              std::vector<std::string>{"P"});
    EXPECT_EQ(rows(L"SELECT table_name, column_name, data_type FROM user_tab_columns"
                   L" WHERE table_name IN ('u', 'uq') AND char_length = 36"
                   L" ORDER BY table_name, column_name"),
              (std::vector<std::string>{"u|id|NVARCHAR2", "u|other|NVARCHAR2",
                                        "uq|id|NVARCHAR2"}));
    // the server's own text, lower case; NULL stays NULL
    EXPECT_EQ(rows(L"SELECT \"id\", \"other\" FROM \"u\" ORDER BY \"id\""),
              (std::vector<std::string>{
                  "00000000-0000-0000-0000-000000000000|ffffffff-ffff-ffff-ffff-ffffffffffff",
                  "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11|~"}));
    // the key holds: a duplicate is refused
    EXPECT_THROW(oracle(L"INSERT INTO \"u\" VALUES ('a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', NULL)"),
                 ora_exception);
}

TEST_F(conversion, table_missing_from_the_source_is_reported_and_skipped)
{
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1)");
    run({L"gone", L"t"});
    ASSERT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_EQ(h.reaction.reports[0].level, 0);
    EXPECT_EQ(h.reaction.reports[0].message.rfind("gone: ", 0), 0u);
    EXPECT_EQ(rows(L"SELECT * FROM \"t\""), std::vector<std::string>{"1"});
    EXPECT_EQ(oracle_tables(), std::vector<std::string>{"t"});
    EXPECT_TRUE(task->is_finished());
}

TEST_F(conversion, value_errors_are_reported_per_record)
{
    // a number the decimal type cannot hold, and one beyond oracle's range
    pg.exec("CREATE TABLE n (id int, d numeric, f float8);"
            "INSERT INTO n VALUES (1, 1.5, 1), (2, 123456789012345678901234567890123456789, 2),"
            " (3, 3, 1e200), (4, 4, 4)");
    run({L"n"});
    const std::vector<std::string> messages = h.reaction.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].rfind("n, record #2: ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1].rfind("n: 1 value(s) of column f ", 0), 0u) << messages[1];
    EXPECT_EQ(messages[2], "n: 1 of 4 records were not written");
    EXPECT_EQ(rows(L"SELECT \"id\" FROM \"n\" ORDER BY \"id\""),
              (std::vector<std::string>{"1", "3", "4"}));
    EXPECT_EQ(task->rec_done, 4u);
}

TEST_F(conversion, failed_update_is_reported_and_the_table_goes_on)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, v varchar(10));"
            "INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY, \"v\" NVARCHAR2(10))");
    oracle(L"INSERT INTO \"t\" VALUES (1, 'old')");
    oracle(L"INSERT INTO \"t\" VALUES (2, 'old')");
    reconnect();
    inject_error("UPDATE*", 1031);
    task->mode = 4;
    run({L"t"});
    const std::vector<std::string> messages = h.reaction.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].rfind("t, record #1: ORA-01031", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1].rfind("t, record #2: ORA-01031", 0), 0u) << messages[1];
    EXPECT_EQ(messages[2], "t: 2 of 3 records were not written");
    EXPECT_EQ(rows(L"SELECT \"id\", \"v\" FROM \"t\" ORDER BY \"id\""),
              (std::vector<std::string>{"1|old", "2|old", "3|c"}));
}

TEST_F(conversion, merge_with_update_reports_a_duplicate_of_another_unique_key)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, email varchar(20) UNIQUE, v varchar(10));"
            "INSERT INTO t VALUES (1, 'a@x', 'new'), (2, 'b@x', 'b')");
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY, \"email\" NVARCHAR2(20) UNIQUE,"
           L" \"v\" NVARCHAR2(10))");
    // the second source row collides through its email only: no row has its id
    oracle(L"INSERT INTO \"t\" VALUES (1, 'a@x', 'old')");
    oracle(L"INSERT INTO \"t\" VALUES (5, 'b@x', 'old')");
    reconnect();
    task->mode = 4;
    run({L"t"});
    EXPECT_EQ(h.reaction.messages(),
              (std::vector<std::string>{
                  "t, record #2: The record cannot be updated: no row of the table has its key",
                  "t: 1 of 2 records were not written"}));
    EXPECT_EQ(rows(L"SELECT \"id\", \"v\" FROM \"t\" ORDER BY \"id\""),
              (std::vector<std::string>{"1|new", "5|old"}));
}

TEST_F(conversion, busy_table_in_overwrite_mode_is_reported)
{
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1); CREATE TABLE u (id int)");
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10))");
    oracle(L"INSERT INTO \"t\" VALUES (5)");
    reconnect();
    inject_error("DROP TABLE*", 54);
    task->mode = 0;
    run({L"t", L"u"});
    EXPECT_EQ(h.reaction.messages(),
              (std::vector<std::string>{
                  "t: Cannot delete table because it is busy with another process",
                  "t: 1 of 1 records were not written"}));
    EXPECT_EQ(rows(L"SELECT * FROM \"t\""), std::vector<std::string>{"5"});
    EXPECT_EQ(oracle_tables(), (std::vector<std::string>{"t", "u"}));
}

TEST_F(conversion, postgresql_error_mid_table_keeps_the_rows_written)
{
    // the reader fetches rows in batches: the error comes with a later batch
    pg.exec("CREATE FUNCTION chk(i int) RETURNS int LANGUAGE plpgsql IMMUTABLE AS $$"
            " BEGIN IF i > 10000 THEN RAISE EXCEPTION 'row % is broken', i; END IF; RETURN i; END $$;"
            "CREATE TABLE big AS SELECT i FROM generate_series(1, 10003) i;"
            "CREATE TABLE z (id int); INSERT INTO z VALUES (1)");
    task->queries[L"broken"] = L"SELECT chk(i) AS id FROM big";
    run({L"z"});
    const std::vector<std::string> messages = h.reaction.messages();
    // the records after the error were not read, so not written either
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("broken: ", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find("row 10001 is broken"), std::string::npos) << messages[0];
    // the rows of the batches before it are written, the rest is counted
    const long written = count(L"SELECT COUNT(*) FROM \"broken\"");
    EXPECT_GE(written, 1000);
    EXPECT_LE(written, 10000);
    EXPECT_EQ(messages[1], "broken: " + std::to_string(10003 - written)
                               + " of 10003 records were not written");
    EXPECT_EQ(rows(L"SELECT * FROM \"z\""), std::vector<std::string>{"1"});
}

TEST_F(conversion, finished_flag_is_set_when_the_source_cannot_be_opened)
{
    task->set_source_name(L"no_such_database_here");
    run({L"t"});
    EXPECT_TRUE(task->is_finished());
    ASSERT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_NE(h.reaction.reports[0].message.find("no_such_database_here"), std::string::npos);
}

TEST_F(conversion, finished_flag_is_set_after_an_abort)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY); INSERT INTO t VALUES (1), (2);"
            "CREATE TABLE u (id int)");
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY)");
    oracle(L"INSERT INTO \"t\" VALUES (1)");
    reconnect();
    task->mode = 3;
    h.reaction.go_on = false;
    run({L"t", L"u"});
    EXPECT_TRUE(task->is_finished());
    EXPECT_EQ(h.reaction.reports.size(), 1u);
    // the abort ends the run: u is not converted
    EXPECT_EQ(oracle_tables(), std::vector<std::string>{"t"});
}

namespace {
class throwing_hooks : public recording_hooks {
public:
    void on_table(const std::wstring&, std::uint32_t) override { throw std::runtime_error("odd failure"); }
};
} // namespace

TEST_F(conversion, standard_exception_reaches_the_program_and_the_run_ends)
{
    pg.exec("CREATE TABLE t (id int)");
    throwing_hooks odd;
    task->set_hooks(&odd);
    run({L"t"});
    EXPECT_EQ(odd.std_errors, std::vector<std::string>{"odd failure"});
    EXPECT_TRUE(task->is_finished());
    EXPECT_EQ(h.handler.get_reported_errors(), 1u);
}

TEST_F(conversion, empty_selection_touches_nothing)
{
    pg.exec("CREATE TABLE t (id int)");
    run({});
    EXPECT_EQ(hooks.database_tables, 0u);
    EXPECT_TRUE(hooks.tables.empty());
    EXPECT_TRUE(oracle_tables().empty());
    EXPECT_TRUE(task->is_finished());
}

TEST_F(conversion, exit_after_an_error_logs_off_oracle_first)
{
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10), \"v\" NVARCHAR2(10))");
    oracle(L"INSERT INTO \"t\" VALUES (1, 'before')");
    reconnect();
    // the child's update is not committed by itself: only its log-off commits it
    task->log_off_oracle();
    EXPECT_EXIT(
        {
            reconnect();
            oracle(L"UPDATE \"t\" SET \"v\" = 'after'");
            h.reaction.level1 = error_reaction::level1_end::end_process;
            h.handler.handle(tk_exception("fatal", 1), false);
        },
        testing::ExitedWithCode(255), "");
    // the parent made no update: what it reads is the child's commit
    reconnect();
    EXPECT_EQ(rows(L"SELECT \"v\" FROM \"t\""), std::vector<std::string>{"after"});
}

TEST_F(conversion, run_writes_its_trace_lines_in_order)
{
    test_temp_dir logs{"conv_test"};
    tk_log log(logs.file("run.log").c_str(), true, 1, false);
    pg.exec("CREATE TABLE \"my table\" (id int); INSERT INTO \"my table\" VALUES (1), (2);"
            "CREATE TABLE t (id int); INSERT INTO t VALUES (3)");
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10))");
    reconnect();
    task->mode = 0;
    run({L"t", L"my table"});
    ASSERT_TRUE(h.reaction.reports.empty()) << h.reaction.messages()[0];

    const char* const expected[] = {
        "tarnova_convertor::operator()", "init_conversion::ctor", "Conversion started on ",
        "Converting database ", "Store generated table name 'my_table'",
        "udb_validator::add_existing_name(my_table)", "udb_names_map::add_tn_mapping(my table,my_table)",
        "Converting table my table (2 records)", "Converting 0 record", "Converting 1 record",
        "Overwrite existing table", "Converting table t (1 records)", "Converting 0 record",
        "init_conversion::dtor", "Conversion ended on ",
    };
    const std::string text = test_read_file(logs.file("run.log"));
    std::size_t at = 0;
    for (const char* line : expected) {
        const std::size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line;
        at = found;
    }
    EXPECT_EQ(rows(L"SELECT * FROM \"my_table\""), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(rows(L"SELECT * FROM \"t\""), std::vector<std::string>{"3"});
}

namespace {
// a program that ends at the first error, as the console does at level 1
class ending_reaction : public recording_reaction {
public:
    bool on_level0(const std::string&, bool) override { error_handler::end_process(-1); }
};
} // namespace

TEST_F(conversion, exit_in_the_middle_of_a_run_keeps_the_large_objects_written)
{
    pg.exec("CREATE TABLE t (id int PRIMARY KEY, c text);"
            "INSERT INTO t VALUES (1, 'large text'), (2, 'dup')");
    oracle(L"CREATE TABLE \"t\" (\"id\" NUMBER(10) PRIMARY KEY, \"c\" CLOB)");
    oracle(L"INSERT INTO \"t\" VALUES (2, 'old')");
    task->log_off_oracle();
    task->mode = 3;
    EXPECT_EXIT(
        {
            ending_reaction ending;
            h.handler.set_reaction(&ending);
            reconnect();
            run({L"t"});
        },
        testing::ExitedWithCode(255), "");
    reconnect();
    EXPECT_EQ(rows(L"SELECT \"id\", \"c\" FROM \"t\" ORDER BY \"id\""),
              (std::vector<std::string>{"1|large text", "2|old"}));
}

namespace {
// the wizard's way: the thread object hands out the task it does not own
class conversion_thread : public tk_thread {
public:
    conversion_thread() : tk_thread(false) {}
    tk_task* create_task() override { return &tarnova_convertor::instance(); }
};
} // namespace

TEST_F(conversion, runs_as_the_task_of_a_worker_thread)
{
    pg.exec("CREATE TABLE t (id int); INSERT INTO t VALUES (1), (2)");
    task->selected = {L"t"};
    conversion_thread thread;
    thread.start();
    test_wait_until([&] { return !thread.is_running(); }, "the end of the worker's run");
    thread.cleanup();
    EXPECT_TRUE(task->is_finished());
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM \"t\""), 2);
}

TEST_F(conversion, stop_request_ends_the_run_between_tables)
{
    pg.exec("CREATE TABLE a (id int); CREATE TABLE b (id int)");
    task->request_stop();
    run({L"a", L"b"});
    EXPECT_TRUE(task->is_finished());
    EXPECT_TRUE(h.reaction.reports.empty());
    EXPECT_TRUE(oracle_tables().empty());
}

TEST(conversion_setup, run_without_oracle_session_reports_and_finishes)
{
    recording_handler h;
    tarnova_convertor task(tarnova_convertor::program::console);
    task.selected = {L"t"};
    task();
    ASSERT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_EQ(h.reaction.reports[0].level, 1);
    EXPECT_EQ(h.reaction.reports[0].message, "The Oracle database is not connected");
    EXPECT_TRUE(task.is_finished());
}


TEST_F(conversion, every_source_type_arrives_exactly_or_is_reported)
{
    // the session's time zone decides how a timestamptz is written
    pg.exec("ALTER DATABASE \"" + pg.name() + "\" SET timezone = 'UTC'");
    pg.exec("CREATE TYPE mood AS ENUM ('sad', 'happy');"
            "CREATE DOMAIN positive AS integer CHECK (VALUE > 0);"
            "CREATE DOMAIN short_text AS varchar(8)");
    const std::string long_text = std::string(4500, 'x') + "zażółć 😀 末";
    std::string emoji_text;
    for (int i = 0; i < 20000; ++i)
        emoji_text += "😀";
    std::string blob_hex = "0x";
    for (int i = 0; i < 51200; ++i)
        blob_hex += "00FF";
    // how the destination column is read back: numbers and dates as oracle prints them
    const std::wstring number = L"TO_CHAR(%)";
    const std::wstring date = L"TO_CHAR(%, 'YYYY-MM-DD HH24:MI:SS')";
    const std::wstring plain = L"%";
    const std::string not_decimal = "cannot be held exactly as a decimal";
    const std::string not_date = "is not a date that can be converted";
    const std::string out_of_range = "were beyond the Oracle number range and were written as the"
                                     " column default or NULL";
    struct value_case {
        std::string type;     // the postgresql column type
        std::string value;    // the value, as sql
        std::wstring read;    // the destination column read back, % standing for it
        std::string arrives;  // what the column holds then, "~" for NULL
        // a report the value gives: after the table for a replaced number (the row is
        // written), else for its record, which is then not written; % stands for the column
        std::string report;
        bool refused = false;
    };
    const value_case cases[] = {
        {"smallint", "-32768", number, "-32768", ""},
        {"smallint", "32767", number, "32767", ""},
        {"integer", "-2147483648", number, "-2147483648", ""},
        {"integer", "2147483647", number, "2147483647", ""},
        {"bigint", "-9223372036854775808", number, "-9223372036854775808", ""},
        {"bigint", "9223372036854775807", number, "9223372036854775807", ""},
        // the shortest text of the four-byte value, as the server prints it
        {"real", "3.4028235e38", number, "3.4028235E+38", ""},
        {"real", "-1.17549435e-38", number, "-1.1754944E-38", ""},
        {"real", "0.1", number, ".1", ""},
        {"double precision", "1.2345678901234567", number, "1.2345678901234567", ""},
        {"double precision", "0.30000000000000004", number, ".30000000000000004", ""},
        {"double precision", "-1e-130", number, "-1E-130", ""},
        {"double precision", "9.999999999999999e125", number, "9.999999999999999E+125", ""},
        // the shortest digits that read back as the same double, as the server shows them
        {"double precision", "0.07", number, ".07", ""},
        {"double precision", "0.69", number, ".69", ""},
        {"double precision", "0.009", number, ".009", ""},
        {"double precision", "9e-30", number, ".000000000000000000000000000009", ""},
        {"double precision", "1e125", number, "1E+125", ""},
        {"double precision", "'-0'", number, "0", ""},
        {"double precision", "5e-324", number, "0",
         "v: 1 value(s) of column % were too small for an Oracle number and were written as 0"},
        // beyond oracle's range: replaced, and said so
        {"double precision", "1e-300", number, "0",
         "v: 1 value(s) of column % were too small for an Oracle number and were written as 0"},
        {"double precision", "1.7976931348623157e308", number, "~",
         "v: 1 value(s) of column % " + out_of_range},
        {"numeric", "12345678901234567890123456789", number, "12345678901234567890123456789", ""},
        {"numeric", "-0.0000000000000000000000000001", number, "-.0000000000000000000000000001",
         ""},
        {"numeric", "1.5e20", number, "150000000000000000000", ""},
        {"numeric(20,4)", "1234567890123456.789", number, "1234567890123456.789", ""},
        {"numeric(38,10)", "-1234567890123456.0123456789", number,
         "-1234567890123456.0123456789", ""},
        // the server pads the fraction to the scale: the padding gives way to the digits
        {"numeric(38,8)", "123456789012345678901234", number, "123456789012345678901234", ""},
        // the server rounds to the hundreds itself
        {"numeric(5,-2)", "12345", number, "12300", ""},
        // a decimal holds 96 bits: more digits are refused, though oracle could keep them
        {"numeric", "1e30", number, "",
         "1000000000000000000000000000000 of column % " + not_decimal, true},
        {"numeric(38,0)", "12345678901234567890123456789012345678", number, "",
         "12345678901234567890123456789012345678 of column % " + not_decimal, true},
        {"numeric", "'NaN'", number, "", "NaN of column % " + not_decimal, true},
        {"money", "-92233720368547758.08", number, "-92233720368547758.08", ""},
        {"money", "92233720368547758.07", number, "92233720368547758.07", ""},
        {"boolean", "true", number, "1", ""},
        {"boolean", "false", number, "0", ""},
        {"char(5)", "'ab'", plain, "ab   ", ""},
        {"char(3)", "'żź'", plain, "żź ", ""},
        // oracle counts utf-16 units: a character beyond U+FFFF takes two
        {"char(3)", "'😀'", plain, "", "ORA-12899: value too large for column", true},
        {"varchar(10)", "'héllo😀'", plain, "héllo😀", ""},
        // oracle keeps no empty text apart from NULL
        {"varchar(10)", "''", plain, "~", ""},
        {"varchar", "'zażółć'", plain, "zażółć", ""},
        // a large object keeps it: empty, not NULL
        {"text", "''", plain, "", ""},
        {"text", "'" + long_text + "'", plain, long_text, ""},
        {"text", "repeat('😀', 20000)", plain, emoji_text, ""},
        {"text", "E'tab\\tcr lf\\r\\n''q'' \\\\ \"end\"'", plain, "tab\tcr lf\r\n'q' \\ \"end\"",
         ""},
        {"bytea", "''", plain, "", ""},
        {"bytea", "'\\x00ff0041'", plain, "0x00FF0041", ""},
        {"bytea", "decode(repeat('00ff', 51200), 'hex')", plain, blob_hex, ""},
        {"date", "'0001-01-01'", date, "0001-01-01 00:00:00", ""},
        {"date", "'1899-12-30'", date, "1899-12-30 00:00:00", ""},
        // the days of the calendar switch are not in oracle's calendar
        {"date", "'1582-10-04'", date, "1582-10-04 00:00:00", ""},
        {"date", "'1582-10-10'", date, "",
         "Column % holds 1582-10-10, a day that Oracle's calendar does not have", true},
        {"timestamp", "'1582-10-14 23:59:59'", date, "",
         "Column % holds 1582-10-14, a day that Oracle's calendar does not have", true},
        {"date", "'1582-10-15'", date, "1582-10-15 00:00:00", ""},
        {"date", "'9999-12-31'", date, "9999-12-31 00:00:00", ""},
        {"date", "'0044-03-15 BC'", date, "", "0044-03-15 BC of column % " + not_date, true},
        // beyond the timestamp range: its record alone is refused
        {"date", "'5874897-12-31'", date, "", "5874897-12-31 of column % " + not_date, true},
        // an oracle DATE has no fraction of a second: it is cut off
        {"timestamp", "'2020-12-25 17:30:05.123456'", date, "2020-12-25 17:30:05", ""},
        {"timestamp", "'9999-12-31 23:59:59.999999'", date, "9999-12-31 23:59:59", ""},
        {"timestamp", "'1899-12-29 18:00:00'", date, "1899-12-29 18:00:00", ""},
        {"timestamp", "'infinity'", date, "", "infinity of column % " + not_date, true},
        // the time of the session's zone; the zone itself is not kept
        {"timestamptz", "'2020-12-25 17:30:05+02'", date, "2020-12-25 15:30:05", ""},
        // types oracle has no equivalent of arrive as the server's text
        {"time", "'13:45:30.5'", plain, "13:45:30.5", ""},
        {"timetz", "'13:45:30.25+02'", plain, "13:45:30.25+02", ""},
        {"interval", "'1 year 2 mons 3 days 04:05:06.7'", plain, "1 year 2 mons 3 days 04:05:06.7",
         ""},
        {"json", "'{\"a\": [1, 2.50, \"é\"]}'", plain, "{\"a\": [1, 2.50, \"é\"]}", ""},
        {"uuid", "'A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11'", plain,
         "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11", ""},
        {"int[]", "'{1,2,NULL}'", plain, "{1,2,NULL}", ""},
        {"inet", "'192.168.0.1/24'", plain, "192.168.0.1/24", ""},
        {"bit(3)", "B'101'", plain, "101", ""},
        {"mood", "'happy'", plain, "happy", ""},
        {"positive", "42", number, "42", ""},
        {"short_text", "'dom'", plain, "dom", ""},
    };

    // row 1 holds every value that is written, row 2 only NULLs, and each refused value
    // a row of its own
    std::string create = "CREATE TABLE v (id int";
    std::string columns = "id";
    std::string values = "1";
    std::wstring select = L"SELECT ";
    std::vector<std::string> refused_rows;
    std::vector<std::string> expected_reports;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const value_case& c = cases[i];
        const std::string column = "c" + std::to_string(i + 1);
        create += ", " + column + " " + c.type;
        std::string report = c.report;
        // the writer's own texts name the column bare, the value texts quoted
        const bool own_text = c.report.rfind("v: ", 0) == 0 || c.report.rfind("Column ", 0) == 0;
        if (report.find('%') != std::string::npos)
            report.replace(report.find('%'), 1, own_text ? column : "\"" + column + "\"");
        if (c.refused) {
            const std::string id = std::to_string(3 + refused_rows.size());
            refused_rows.push_back("INSERT INTO v (id, " + column + ") VALUES (" + id + ", "
                                   + c.value + ")");
            expected_reports.push_back(
                "v, record #" + id + ": "
                + (report.rfind("ORA-", 0) == 0 || own_text ? report : "The value " + report));
            continue;
        }
        if (!report.empty())
            expected_reports.push_back(report);
        columns += ", " + column;
        values += ", " + c.value;
        std::wstring read = c.read;
        read.replace(read.find(L'%'), 1, L"\"" + tk_to_unicode(column) + L"\"");
        select += (select.size() > 7 ? L", " : L"") + read;
    }
    expected_reports.push_back("v: " + std::to_string(refused_rows.size()) + " of "
                               + std::to_string(2 + refused_rows.size())
                               + " records were not written");
    pg.exec(create + "); INSERT INTO v (" + columns + ") VALUES (" + values + ");"
            "INSERT INTO v (id) VALUES (2)");
    for (const std::string& insert : refused_rows)
        pg.exec(insert);
    run({L"v"});

    // every report is there, each once; a refused record is not written
    std::vector<std::string> messages = h.reaction.messages();
    EXPECT_EQ(messages.size(), expected_reports.size());
    for (const std::string& expected : expected_reports) {
        const auto found = std::find_if(messages.begin(), messages.end(), [&](const std::string& m) {
            return m.rfind(expected, 0) == 0;
        });
        if (found == messages.end()) {
            ADD_FAILURE() << "not reported: " << expected;
            continue;
        }
        messages.erase(found);
    }
    for (const std::string& unexpected : messages)
        ADD_FAILURE() << "reported: " << unexpected;
    const auto arrived = oracle_values(select + L" FROM \"v\" ORDER BY \"id\"");
    ASSERT_EQ(arrived.size(), 2u);
    std::size_t at = 0;
    for (const value_case& c : cases) {
        if (c.refused)
            continue;
        EXPECT_EQ(arrived[0][at], c.arrives) << c.type << " " << c.value.substr(0, 60);
        EXPECT_EQ(arrived[1][at], "~") << c.type << " NULL";
        ++at;
    }
}
