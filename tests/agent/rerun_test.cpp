// running one conversion again and again, as a DBA refreshes a target: each case is a source of
// several tables and a sequence of runs with changes between them; after each run its exit
// code, its report and the whole destination, compared with the source
//
// to add cases: a TEST_F of kestrun_rerun that gives run_cases() its cases, each a source setup
// and its steps. A step changes the source, runs kestrun in a mode (stopped at a held statement
// of the stand-in, if asked) and lists every Oracle table the schema must hold afterwards; a
// table compared with its source table holds that table's rows and keys unless the step gives
// others. Each case starts from an empty source and an empty Oracle schema.

#include "agent_fixture.hpp"
#include "test_wait.hpp"

#include <algorithm>
#include <csignal>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using strings = std::vector<std::string>;

namespace {

// one Oracle table as a run must leave it
struct dest_table {
    std::string oracle;   // its name in Oracle
    // the source table (as SQL names it) whose rows and keys it holds; "" for a table the
    // runs do not make (the user's own): then rows and keys must be given
    std::string source;
    // its rows instead of the source's, each tab-separated with NULL as "~", in any order
    // (rows an earlier run left that a merge keeps, rows of a stopped run)
    std::optional<strings> rows = std::nullopt;
    // its keys and indexes instead of the source's (see keys_of), in any order
    std::optional<strings> keys = std::nullopt;
    // the Oracle columns compared with the source's columns in order; "*" all of them
    std::string columns = "*";
};

struct rerun_step {
    std::string what;
    std::string change;   // SQL on the source before the run; "" for none
    int mode;             // 0, 1, 2 as --mode=; 3 and 4 (merge with update) by a profile
    int exit_code;
    strings report;       // the run's standard output, line by line
    std::vector<dest_table> destination;   // every table of the Oracle schema afterwards
    // "N:PATTERN" (OCISIM_HOLD): the run is stopped by stop_signal once it is held at the
    // Nth statement that matches; exit_code and report are then those of the stopped run
    std::string stop_at = "";
    int stop_signal = SIGKILL;
    std::string faults = "";   // OCISIM_FAULTS for the run: statements Oracle refuses
    strings options = {};      // further options (modes 0 to 2)
    std::string oracle_change = "";   // statements of orasql on the Oracle schema before the run
};

struct rerun_case {
    std::string name;
    std::string source;   // the source's tables and rows
    std::vector<rerun_step> steps;
};

std::string table(const std::string& name, int records)
{
    return "Converting table " + name + "(" + std::to_string(records) + " records)";
}

// rows and keys as the tests compare them: sorted
strings sorted(strings lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

strings split_rows(const std::string& text)
{
    return text.empty() ? strings{} : lines_of(text);
}

} // namespace

class kestrun_rerun : public kestrun_conversion {
protected:
    void run_cases(const std::vector<rerun_case>& cases)
    {
        for (const rerun_case& c : cases) {
            for (const std::string& t : oracle_tables())
                ora.sql("DROP TABLE \"" + t + "\" CASCADE CONSTRAINTS;\n");
            pg.exec("DROP SCHEMA public CASCADE; CREATE SCHEMA public");
            run_case(c);
        }
    }

    // the report of a run over a source of that many tables: the database line, then the rest
    strings report(int tables, const strings& rest) const
    {
        strings lines{"Converting database " + pg.name() + "(" + std::to_string(tables)
                      + " tables)"};
        lines.insert(lines.end(), rest.begin(), rest.end());
        return lines;
    }

private:
    void run_case(const rerun_case& c)
    {
        pg.exec(c.source);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const rerun_step& s = c.steps[i];
            SCOPED_TRACE(c.name + ", run " + std::to_string(i + 1) + " (" + s.what + ")");
            if (!s.change.empty())
                pg.exec(s.change);
            if (!s.oracle_change.empty())
                ora.sql(s.oracle_change);
            const kestrun_result r = s.stop_at.empty() ? run_step(s) : stopped_run(s);
            EXPECT_EQ(r.exit_code, s.exit_code) << r.out << r.err;
            EXPECT_EQ(lines_of(r.out), s.report) << r.err;
            compare_destination(s.destination);
        }
    }

    std::vector<std::string> step_args(const rerun_step& s) const
    {
        if (s.mode > 2) {
            const test_pg_server& srv = test_pg_server::get();
            const std::string path = dir.write(
                "rerun.qlx", "[Generic settings]\r\n" + generic() + "\r\nmode="
                                 + std::to_string(s.mode) + "\r\nno schema=1\r\n[pgs settings]\r\n"
                                 + "host=" + srv.host + "\r\nuser=" + srv.user + "\r\npassword="
                                 + srv.password + "\r\n[Oracle settings]\r\nuser=" + ora.user()
                                 + "\r\npassword=" + ora.password() + "\r\n");
            return {"--profile=" + path};
        }
        std::vector<std::string> args = ora_args();
        const strings source = pg_args();
        args.insert(args.end(), source.begin(), source.end());
        args.push_back("--no_schema");
        args.push_back("--mode=" + std::to_string(s.mode));
        args.insert(args.end(), s.options.begin(), s.options.end());
        return args;
    }

    std::vector<std::string> step_env(const rerun_step& s) const
    {
        std::vector<std::string> env = profile_environment();
        if (!s.faults.empty())
            env.push_back("OCISIM_FAULTS=" + s.faults);
        return env;
    }

    kestrun_result run_step(const rerun_step& s) const
    {
        return run_kestrun(step_args(s), step_env(s));
    }

    kestrun_result stopped_run(const rerun_step& s) const
    {
        const std::string held = dir.file("held");
        const std::string output = dir.file("stopped.out");
        std::vector<std::string> env = step_env(s);
        env.push_back("OCISIM_HOLD=" + s.stop_at);
        env.push_back("OCISIM_HOLD_FILE=" + held);
        kestrun_result r;
        {
            kestrun_process process(step_args(s), env, output);
            test_wait_until([&] { return access(held.c_str(), F_OK) == 0 || !process.running(); },
                            "the run held at " + s.stop_at);
            if (!process.running()) {
                ADD_FAILURE() << "the run ended before it was held at " << s.stop_at << "\n"
                              << test_read_file(output);
                return r;
            }
            r.exit_code = process.stop(s.stop_signal);
        }
        unlink(held.c_str());
        r.out = test_read_file(output);
        return r;
    }

    // the source table's rows as the destination shows them: text with NULL (and the empty
    // text Oracle keeps as NULL) as "~", bytea in hexadecimal digits, a boolean as 1 or 0
    strings source_rows(const std::string& table) const
    {
        const std::string columns = pg.query_value(
            "SELECT string_agg(CASE atttypid WHEN 'bytea'::regtype THEN "
            "format('coalesce(upper(encode(%I, ''hex'')), ''~'')', attname) "
            "WHEN 'boolean'::regtype THEN format('coalesce(%I::int::text, ''~'')', attname) "
            "ELSE format('coalesce(nullif(%I::text, ''''), ''~'')', attname) END, ', ' "
            "ORDER BY attnum) FROM pg_attribute WHERE attrelid = '" + table + "'::regclass "
            "AND attnum > 0 AND NOT attisdropped");
        return sorted(split_rows(pg.query_value("SELECT string_agg(concat_ws(E'\\t', " + columns
                                                + "), E'\\n') FROM " + table)));
    }

    // primary and unique keys as "name\tP" and "name\tU", indexes as "name\tUNIQUE" and
    // "name\tNONUNIQUE" (a key's own index included)
    strings source_keys(const std::string& table) const
    {
        return sorted(split_rows(pg.query_value(
            "SELECT string_agg(k, E'\\n') FROM (SELECT conname || E'\\t' || upper(contype::text) "
            "AS k FROM pg_constraint WHERE conrelid = '" + table + "'::regclass AND contype IN "
            "('p', 'u') UNION ALL SELECT c.relname || E'\\t' || CASE WHEN i.indisunique THEN "
            "'UNIQUE' ELSE 'NONUNIQUE' END FROM pg_index i JOIN pg_class c ON c.oid = "
            "i.indexrelid WHERE i.indrelid = '" + table + "'::regclass) s")));
    }

    strings oracle_keys(const std::string& table) const
    {
        return sorted(oracle("SELECT constraint_name, constraint_type FROM user_constraints "
                             "WHERE table_name = '" + table + "' AND constraint_type IN "
                             "('P', 'U');\nSELECT index_name, uniqueness FROM user_indexes "
                             "WHERE table_name = '" + table + "';"));
    }

    void compare_destination(const std::vector<dest_table>& expected) const
    {
        strings names;
        for (const dest_table& t : expected)
            names.push_back(t.oracle);
        const strings tables = sorted(oracle_tables());
        EXPECT_EQ(tables, sorted(names)) << "the tables of the schema";
        for (const dest_table& t : expected) {
            if (!std::binary_search(tables.begin(), tables.end(), t.oracle))
                continue;
            const strings rows = sorted(oracle("SELECT " + t.columns + " FROM \"" + t.oracle
                                               + "\";"));
            EXPECT_EQ(rows, t.rows ? sorted(*t.rows) : source_rows(t.source))
                << "rows of " << t.oracle;
            EXPECT_EQ(oracle_keys(t.oracle), t.keys ? sorted(*t.keys) : source_keys(t.source))
                << "keys of " << t.oracle;
        }
    }
};

// the source of the plain re-runs: a key and a text, a large object and a unique key, a
// keyless table with bytes and one with an index, both with names that need generated names
// ("x y" becomes x_y and "x-y" x_y00000)
static const std::string several_tables
    = "CREATE TABLE a (id int PRIMARY KEY, v varchar(20));"
      "INSERT INTO a VALUES (1, 'one'), (2, 'two');"
      "CREATE TABLE b (id int CONSTRAINT b_key PRIMARY KEY, c text, u varchar(10) "
      "CONSTRAINT b_u UNIQUE);"
      "INSERT INTO b VALUES (1, 'lob one', 'u1'), (2, NULL, 'u2');"
      "CREATE TABLE \"x y\" (n int, w bytea, f boolean);"
      "INSERT INTO \"x y\" VALUES (1, '\\x0102', true), (2, NULL, false);"
      "CREATE TABLE \"x-y\" (n int CONSTRAINT xy_key PRIMARY KEY, m int);"
      "CREATE INDEX xy_m ON \"x-y\" (m);"
      "INSERT INTO \"x-y\" VALUES (1, 10), (2, NULL)";

TEST_F(kestrun_rerun, plain_re_runs_of_several_tables_in_every_mode)
{
    // every table as its source has it
    const std::vector<dest_table> as_source{
        {"a", "a"}, {"b", "b"}, {"x_y", "\"x y\""}, {"x_y00000", "\"x-y\""}};
    const strings lines_of_first_run{table("a", 2), table("b", 2), table("x y", 2),
                                     table("x-y", 2)};
    // a merge into the keyless table adds its rows again
    const auto added_to = [](int held) {
        return "x y: 2 records were added to the " + std::to_string(held)
               + " rows the Oracle table held, not merged: it has no primary or unique key to "
                 "find their rows by";
    };

    run_cases({
        {"plain re-runs in every mode",
         several_tables,
         {
             {"the first run", "", 0, 0, report(4, lines_of_first_run), as_source},
             {"overwrite again", "", 0, 0, report(4, lines_of_first_run), as_source},
             {"a merge keeps the old values and the rows the source lost, adds new rows; a "
              "keyless table doubles",
              "UPDATE a SET v = 'ONE' WHERE id = 1; INSERT INTO b VALUES (3, 'lob three', 'u3');"
              "DELETE FROM \"x-y\" WHERE n = 2",
              1,
              255,
              report(4, {table("a", 2), table("b", 3), table("x y", 2), "Error:", added_to(2),
                        table("x-y", 1)}),
              {{"a", "a", strings{"1\tone", "2\ttwo"}},
               {"b", "b"},
               {"x_y", "\"x y\"", strings{"1\t0102\t1", "2\t~\t0", "1\t0102\t1", "2\t~\t0"}},
               {"x_y00000", "\"x-y\"", strings{"1\t10", "2\t~"}}}},
             {"skip leaves every table as it is", "UPDATE a SET v = 'TWO' WHERE id = 2", 2, 0,
              report(4, {}),
              {{"a", "a", strings{"1\tone", "2\ttwo"}},
               {"b", "b"},
               {"x_y", "\"x y\"", strings{"1\t0102\t1", "2\t~\t0", "1\t0102\t1", "2\t~\t0"}},
               {"x_y00000", "\"x-y\"", strings{"1\t10", "2\t~"}}}},
             {"overwrite makes every table the source's again", "", 0, 0,
              report(4, {table("a", 2), table("b", 3), table("x y", 2), table("x-y", 1)}),
              as_source},
             {"merge with update writes the changes of every table",
              "UPDATE a SET v = v || '+'; UPDATE b SET c = c || '+', u = 'v1' WHERE id = 1;"
              "UPDATE \"x-y\" SET m = 11 WHERE n = 1; INSERT INTO \"x-y\" VALUES (3, 30)", 4,
              255,
              report(4, {table("a", 2), table("b", 3), table("x y", 2), "Error:", added_to(2),
                         table("x-y", 2)}),
              {{"a", "a"},
               {"b", "b"},
               {"x_y", "\"x y\"", strings{"1\t0102\t1", "2\t~\t0", "1\t0102\t1", "2\t~\t0"}},
               {"x_y00000", "\"x-y\""}}},
         }},
        {"an overwrite stopped in a table, then run again",
         several_tables,
         {
             {"stopped at the second row of b", "", 0, 128 + SIGKILL,
              report(4, {table("a", 2), table("b", 2)}),
              {{"a", "a"}, {"b", "b", strings{"1\tlob one\tu1"}}},
              "2:INSERT INTO \"b\"*"},
             {"overwrite again", "", 0, 0, report(4, lines_of_first_run), as_source},
         }},
    });
}

TEST_F(kestrun_rerun, a_stopped_overwrite_has_named_the_foreign_keys_its_drop_took)
{
    const strings dropped{"Error:", "customers: Foreign key fk_orders_cust of table app_orders "
                                    "was dropped with the table it refers to and is not created "
                                    "again: restore it after the run"};
    strings stopped_report = dropped;
    stopped_report.push_back(table("customers", 3));
    // the user's own table, which refers to the converted one
    const dest_table app_orders{"app_orders", "", strings{}, strings{}};
    run_cases({
        {"the user's foreign key, then an overwrite stopped by SIGTERM at row 2",
         "CREATE TABLE customers (id int PRIMARY KEY, name varchar(20));"
         "INSERT INTO customers VALUES (1, 'ann'), (2, 'bob'), (3, 'cy')",
         {
             {"the first run", "", 0, 0, report(1, {table("customers", 3)}),
              {{"customers", "customers"}}},
             {"stopped at its second row",
              "",
              0,
              128 + SIGTERM,
              report(1, stopped_report),
              {{"customers", "customers", strings{"1\tann"}}, app_orders},
              "2:INSERT*INTO \"customers\"*",
              SIGTERM,
              "",
              {},
              "CREATE TABLE \"app_orders\" (\"id\" NUMBER, \"cust\" NUMBER CONSTRAINT "
              "\"fk_orders_cust\" REFERENCES \"customers\"(\"id\"));\n"},
             {"overwrite again: nothing refers to it any more", "", 0, 0,
              report(1, {table("customers", 3)}), {{"customers", "customers"}, app_orders}},
         }},
    });
}

TEST_F(kestrun_rerun, a_table_left_without_its_keys_is_reported_by_every_merge)
{
    const std::string source = "CREATE TABLE t (id int PRIMARY KEY, u varchar(20) UNIQUE, n int, "
                               "c text);"
                               "CREATE INDEX t_n ON t (n);"
                               "INSERT INTO t VALUES (1, 'a', 10, 'x'), (2, 'b', 20, NULL), "
                               "(3, NULL, NULL, 'z')";
    const std::string pkey_missing = "t: Primary key t_pkey (id) of the source table is missing "
                                     "in the Oracle table: the merge cannot find the rows of an "
                                     "earlier run by it";
    const std::string unique_missing = "t: Unique key t_u_key (u) of the source table is missing "
                                       "in the Oracle table: the merge cannot find the rows of an "
                                       "earlier run by it";
    const strings rows{"1\ta\t10\tx", "2\tb\t20\t~", "3\t~\t~\tz"};
    strings twice = rows;
    twice.insert(twice.end(), rows.begin(), rows.end());
    strings thrice = twice;
    thrice.insert(thrice.end(), rows.begin(), rows.end());
    const strings pkey_only{"t_pkey\tP", "t_pkey\tUNIQUE"};
    const strings without_index{"t_pkey\tP", "t_pkey\tUNIQUE", "t_u_key\tU", "t_u_key\tUNIQUE"};
    const std::string refused
        = ": ORA-01653: unable to extend table SCOTT.t by 128 in tablespace USERS";
    run_cases({
        {"a run stopped between CREATE TABLE and its keys",
         source,
         {
             {"stopped at the primary key", "", 0, 128 + SIGKILL, report(1, {}),
              {{"t", "t", strings{}, strings{}}}, "1:ALTER TABLE*PRIMARY KEY*"},
             {"a merge fills the table and names both keys", "", 1, 255,
              report(1, {table("t", 3), "Error:", pkey_missing, "Error:", unique_missing}),
              {{"t", "t", std::nullopt, strings{}}}},
             {"so does merge with update, which adds the rows again", "", 4, 255,
              report(1, {table("t", 3), "Error:", pkey_missing, "Error:", unique_missing,
                         "Error:", "t: 3 records were added to the 3 rows the Oracle table "
                                   "held, not merged: it has no primary or unique key to find "
                                   "their rows by"}),
              {{"t", "t", twice, strings{}}}},
             {"so does a run that keeps the table and reports failing records", "", 3, 255,
              report(1, {table("t", 3), "Error:", pkey_missing, "Error:", unique_missing}),
              {{"t", "t", thrice, strings{}}}},
             {"an overwrite makes the table whole", "", 0, 0, report(1, {table("t", 3)}),
              {{"t", "t"}}},
         }},
        {"Oracle refuses the unique key",
         source,
         {
             {"the key's name is said", "", 0, 255,
              report(1, {"Error:", "t: Index t_u_key was not created" + refused,
                         "Error:", "t: 3 of 3 records were not written"}),
              {{"t", "t", strings{}, pkey_only}}, "", SIGKILL, "1653:ALTER TABLE*UNIQUE*"},
             {"a merge names the key the table lacks", "", 1, 255,
              report(1, {table("t", 3), "Error:", unique_missing}),
              {{"t", "t", std::nullopt, pkey_only}}},
         }},
        {"Oracle refuses a plain index",
         source,
         {
             {"the index's name is said", "", 0, 255,
              report(1, {"Error:", "t: Index t_n was not created" + refused,
                         "Error:", "t: 3 of 3 records were not written"}),
              {{"t", "t", strings{}, without_index}}, "", SIGKILL, "1653:CREATE INDEX*"},
             {"a merge needs no word about a plain index", "", 1, 0, report(1, {table("t", 3)}),
              {{"t", "t", std::nullopt, without_index}}},
         }},
    });
}

TEST_F(kestrun_rerun, merge_with_update_commits_each_record_with_its_large_objects)
{
    // b has a large object: its first record meets the row of the first run as a's do, and
    // the failure of one of its records undoes nothing of a's or of its other records
    const std::vector<dest_table> as_source{{"a", "a"}, {"b", "b"}};
    // longer than a literal holds: the update writes it through its locator
    std::string long_value;
    for (int i = 0; i < 1000; ++i)
        long_value += "lob1-changed";
    run_cases({
        {"merge with update over a table with a large object",
         "CREATE TABLE a (id int PRIMARY KEY, v varchar(20));"
         "INSERT INTO a VALUES (1, 'one'), (2, 'two');"
         "CREATE TABLE b (id int PRIMARY KEY, c text);"
         "INSERT INTO b VALUES (1, 'lob1'), (2, 'lob2'), (3, 'lob3')",
         {
             {"the first run", "", 0, 0, report(2, {table("a", 2), table("b", 3)}), as_source},
             {"the updates of a arrive", "UPDATE a SET v = v || '-changed'", 4, 0,
              report(2, {table("a", 2), table("b", 3)}), as_source},
             {"the commit of b's record 2 fails: that record alone is named and keeps its row",
              "UPDATE a SET v = v || '+'; UPDATE b SET c = c || '-changed'", 4, 255,
              report(2, {table("a", 2), table("b", 3), "Error:",
                         "b, record #2: ORA-02091: message 2091 not found", "Error:",
                         "b: 1 of 3 records were not written"}),
              {{"a", "a"},
               {"b", "b", strings{"1\tlob1-changed", "2\tlob2", "3\tlob3-changed"}}},
              "", SIGKILL, "2091:COMMIT*UPDATE \"b\" *WHERE \"id\"=2*"},
             {"run again", "", 4, 0, report(2, {table("a", 2), table("b", 3)}), as_source},
             {"killed while b's record 2 is written: the records before it keep their update",
              "UPDATE a SET v = v || '#'; UPDATE b SET c = repeat(c, 1000)", 4, 128 + SIGKILL,
              report(2, {table("a", 2), table("b", 3)}),
              {{"a", "a"},
               {"b", "b", strings{"1\t" + long_value, "2\tlob2-changed",
                                  "3\tlob3-changed"}}},
              "2:SELECT*FROM \"b\"*FOR UPDATE*"},
             {"run again after the stop", "", 4, 0, report(2, {table("a", 2), table("b", 3)}),
              as_source},
         }},
    });
}

// tables whose generated names depend on each other ("x y" is x_y, "x-y" x_y00000): a table
// added or dropped between two runs moves the names the rules give, but every source table
// keeps the Oracle table an earlier run made for it, in every mode
static const std::string names_that_meet
    = "CREATE TABLE \"x y\" (n int CONSTRAINT k1 PRIMARY KEY, v text);"
      "INSERT INTO \"x y\" VALUES (1, 'x y one'), (2, 'x y two');"
      "CREATE TABLE \"x-y\" (n int CONSTRAINT k2 PRIMARY KEY, v text);"
      "INSERT INTO \"x-y\" VALUES (11, 'x-y one'), (12, 'x-y two')";

TEST_F(kestrun_rerun, a_table_added_or_dropped_leaves_every_other_table_its_oracle_table)
{
    const std::vector<dest_table> first{{"x_y", "\"x y\""}, {"x_y00000", "\"x-y\""}};
    const rerun_step first_run{"the first run", "", 0, 0,
                               report(2, {table("x y", 2), table("x-y", 2)}), first};
    // "x!y" sorts between the two and would take x_y00000 by the rules alone
    const std::string add = "CREATE TABLE \"x!y\" (n int CONSTRAINT k3 PRIMARY KEY, v text);"
                            "INSERT INTO \"x!y\" VALUES (21, 'x!y one');"
                            "UPDATE \"x-y\" SET v = 'x-y ONE' WHERE n = 11;"
                            "INSERT INTO \"x-y\" VALUES (13, 'x-y three')";
    // without "x y" the rules would give "x-y" the name x_y
    const std::string drop = "DROP TABLE \"x y\"; UPDATE \"x-y\" SET v = 'x-y ONE' WHERE n = 11;"
                             "INSERT INTO \"x-y\" VALUES (13, 'x-y three')";
    const dest_table old_x_y{"x_y", "", strings{"1\tx y one", "2\tx y two"},
                             strings{"k1\tP", "k1\tUNIQUE"}};
    // the rows of "x-y" the merge keeps: the old value of row 11
    const strings merged{"11\tx-y one", "12\tx-y two", "13\tx-y three"};
    const dest_table old_x_dash_y{"x_y00000", "\"x-y\"", strings{"11\tx-y one", "12\tx-y two"}};

    std::vector<rerun_case> cases;
    for (const int mode : {0, 1, 2, 4}) {
        const std::string in_mode = " in mode " + std::to_string(mode);
        // the table added is always new: every mode creates it
        dest_table x_dash_y = mode == 0 || mode == 4 ? dest_table{"x_y00000", "\"x-y\""}
                              : mode == 1 ? dest_table{"x_y00000", "\"x-y\"", merged}
                                          : old_x_dash_y;
        // the skip mode converts only the table it does not find
        const strings changed_x_dash_y = mode == 2 ? strings{} : strings{table("x-y", 3)};
        const strings added_report
            = mode == 2 ? strings{table("x!y", 1)}
                        : strings{table("x y", 2), table("x!y", 1), table("x-y", 3)};
        cases.push_back({"x!y added" + in_mode,
                         names_that_meet,
                         {first_run,
                          {"x!y added, run" + in_mode, add, mode, 0, report(3, added_report),
                           {{"x_y", "\"x y\""}, x_dash_y, {"x_y00001", "\"x!y\""}}},
                          {"the same run again" + in_mode, "", mode, 0,
                           report(3, mode == 2 ? strings{} : added_report),
                           {{"x_y", "\"x y\""}, x_dash_y, {"x_y00001", "\"x!y\""}}}}});
        cases.push_back({"x y dropped" + in_mode,
                         names_that_meet,
                         {first_run,
                          {"x y dropped, run" + in_mode, drop, mode, 0,
                           report(1, changed_x_dash_y), {old_x_y, x_dash_y}}}});
    }
    run_cases(cases);
}

// a column dropped or added whose generated name met another one's: a and A of one table are
// a and A00000 in Oracle; every merge writes A's values into A00000, whichever columns the
// source has now, and a column that now has the name A00000 gets no column of another's
TEST_F(kestrun_rerun, a_column_added_or_dropped_keeps_every_other_column_its_oracle_column)
{
    const std::string source = "CREATE TABLE t (id int CONSTRAINT t_k PRIMARY KEY, a int, "
                               "\"A\" int); INSERT INTO t VALUES (1, 10, 100), (2, 20, 200)";
    const strings keys{"t_k\tP", "t_k\tUNIQUE"};
    const dest_table first{"t", "t", strings{"1\t10\t100", "2\t20\t200"}, keys};
    const rerun_step first_run{"the first run", "", 0, 0, report(1, {table("t", 2)}), {first}};
    const std::string drop
        = "ALTER TABLE t DROP COLUMN a; UPDATE t SET \"A\" = 101 WHERE id = 1;"
          "INSERT INTO t VALUES (3, 300)";
    const std::string add = "ALTER TABLE t ADD COLUMN \"A00000\" int; UPDATE t SET \"A\" = 101,"
                            " \"A00000\" = 7 WHERE id = 1; INSERT INTO t VALUES (3, 30, 300, 8)";
    const strings not_written{"Error:",
                              "t: Column A00000 has no column in the Oracle table: its values "
                              "were not written"};
    const auto after = [&](const strings& rows) {
        return std::vector<dest_table>{{"t", "t", rows, keys}};
    };
    strings added_report{table("t", 3)};
    added_report.insert(added_report.end(), not_written.begin(), not_written.end());
    run_cases({
        {"a dropped, merge",
         source,
         {first_run,
          {"a dropped, merge", drop, 1, 0, report(1, {table("t", 3)}),
           after({"1\t10\t100", "2\t20\t200", "3\t~\t300"})}}},
        {"a dropped, merge with update",
         source,
         {first_run,
          {"a dropped, merge with update", drop, 4, 0, report(1, {table("t", 3)}),
           after({"1\t10\t101", "2\t20\t200", "3\t~\t300"})}}},
        {"A00000 added, merge",
         source,
         {first_run,
          {"A00000 added, merge", add, 1, 255, report(1, added_report),
           after({"1\t10\t100", "2\t20\t200", "3\t30\t300"})}}},
        {"A00000 added, merge with update",
         source,
         {first_run,
          {"A00000 added, merge with update", add, 4, 255, report(1, added_report),
           after({"1\t10\t101", "2\t20\t200", "3\t30\t300"})}}},
    });
}
