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
             {"a merge keeps the old values and adds new rows; a keyless table doubles",
              "UPDATE a SET v = 'ONE' WHERE id = 1; INSERT INTO b VALUES (3, 'lob three', 'u3');",
              1,
              255,
              report(4, {table("a", 2), table("b", 3), table("x y", 2), "Error:", added_to(2),
                        table("x-y", 2)}),
              {{"a", "a", strings{"1\tone", "2\ttwo"}},
               {"b", "b"},
               {"x_y", "\"x y\"", strings{"1\t0102\t1", "2\t~\t0", "1\t0102\t1", "2\t~\t0"}},
               {"x_y00000", "\"x-y\""}}},
             {"skip leaves every table as it is", "UPDATE a SET v = 'TWO' WHERE id = 2", 2, 0,
              report(4, {}),
              {{"a", "a", strings{"1\tone", "2\ttwo"}},
               {"b", "b"},
               {"x_y", "\"x y\"", strings{"1\t0102\t1", "2\t~\t0", "1\t0102\t1", "2\t~\t0"}},
               {"x_y00000", "\"x-y\""}}},
             {"overwrite makes every table the source's again", "", 0, 0,
              report(4, {table("a", 2), table("b", 3), table("x y", 2), table("x-y", 2)}),
              as_source},
             {"merge with update writes the changes of the last table",
              "UPDATE \"x-y\" SET m = 11 WHERE n = 1; INSERT INTO \"x-y\" VALUES (3, 30)", 4,
              255,
              report(4, {table("a", 2), table("b", 3), table("x y", 2), "Error:", added_to(2),
                         table("x-y", 3)}),
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

TEST_F(kestrun_rerun, merge_with_update_commits_each_record_with_its_large_objects)
{
    // b has a large object: its first record meets the row of the first run as a's do, and
    // the failure of one of its records undoes nothing of a's or of its other records
    const std::vector<dest_table> as_source{{"a", "a"}, {"b", "b"}};
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
         }},
    });
}
