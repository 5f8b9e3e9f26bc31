// runs kestrun as a process on generated tables into the oracle stand-in, printing rows per
// second, cpu time and peak resident memory of each run, and psql's \copy read of the same rows
// for scale. with --profile it runs kestrun under callgrind instead and counts the instructions
// of the row loop: our own functions, the stand-in (libclntsh.so and the sqlite below it) and
// libpqxx/libpq; --tables does the same for the whole run of many small tables; --memory
// gives kestrun's peak RSS for tables of large values next to the narrow table's; --perf
// splits perf's cpu-clock samples, kernel time included.
// every run's destination is checked against the source before its figures are printed.
//
// usage: kestrun_bench [--shape=narrow,lob] [--lob-bytes=N] [rows ...]
//                      (default: both shapes, 100000 and 1000000 rows, 1024-byte large objects)
//        kestrun_bench --profile [--shape=narrow,lob,cols10,cols200] [--lob-bytes=N] [rows]
//                      (default: all four, 20000 rows, 10000 lob rows, 2000 of 200 columns)
//        kestrun_bench --tables [count ...]      (default 100 1000 3000 tables of 10 rows)
//        kestrun_bench --memory [narrow rows ...]  (default 100000 1000000)
//        kestrun_bench --perf [--shape=...] [--lob-bytes=N] [rows]      (default 100000 rows)
// needs TEST_PG_HOST/PORT/USER/PASSWORD, as the tests do.

#include "test_ora.hpp"
#include "test_pg.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct shape {
    std::string name;
    std::string label;
    int columns = 0;
    std::string create;      // the source table, filled from generate_series(1, rows) g
    std::string fill;        // the select list of the INSERT
    std::string source_check;  // the same figures from both sides: they must match
    std::string dest_check;
};

// where this run keeps its profiles: a directory of its own, so that two runs side by side
// do not write over each other's; it stays after the run for callgrind_annotate
const std::string& kept_dir()
{
    static const std::string dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrun_bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        return pattern;
    }();
    return dir;
}

// an integer key and n - 1 columns of integer, varchar(40), numeric(12,2) and timestamp in turn
shape columns_shape(int n)
{
    std::string create = "CREATE UNLOGGED TABLE gen (id integer PRIMARY KEY";
    std::string fill = "g";
    static const char* types[] = {"integer", "varchar(40)", "numeric(12,2)", "timestamp"};
    for (int c = 2; c <= n; ++c) {
        const int t = (c - 2) % 4;
        create += ", c" + std::to_string(c) + " " + types[t];
        const std::string k = std::to_string(c);
        fill += t == 0   ? ", g * " + k
                : t == 1 ? ", 'value ' || g || ' of ' || " + k
                : t == 2 ? ", (g % 100000) / 100.0 + " + k
                         : ", timestamp '2020-01-01' + (g + " + k + ") * interval '1 second'";
    }
    // c3 is the first varchar
    return {"cols" + std::to_string(n), std::to_string(n) + " columns", n, create + ")", fill,
            "SELECT count(*) || ' ' || sum(id) || ' ' || sum(length(c3)) || ' ' || count(c" +
                std::to_string(n) + ") FROM gen",
            "SELECT COUNT(*) || ' ' || SUM(\"id\") || ' ' || SUM(LENGTH(\"c3\")) || ' ' || COUNT(\"c" +
                std::to_string(n) + "\") FROM \"gen\""};
}

std::vector<shape> shapes(long lob_bytes)
{
    // md5 gives 32 hex digits: the text is a multiple of 32 characters, the bytes of 16
    const long md5s = std::max(1L, lob_bytes / 32);
    const long hex = std::max(1L, lob_bytes / 16);
    return {
        {"narrow", "narrow", 6,
         "CREATE UNLOGGED TABLE gen (id integer PRIMARY KEY, name varchar(40), created timestamp,"
         " flag boolean, amount numeric(12,2), qty bigint)",
         "g, 'name number ' || g, timestamp '2020-01-01' + g * interval '1 second',"
         " CASE WHEN g % 7 = 0 THEN NULL ELSE g % 2 = 0 END, (g % 1000000) / 100.0,"
         " g::bigint * 1000003",
         "SELECT count(*) || ' ' || sum(id) || ' ' || sum(qty) || ' ' || count(flag) || ' '"
         " || sum(flag::int) || ' ' || (sum(amount) * 100)::bigint || ' ' || sum(length(name))"
         " || ' ' || count(DISTINCT created) || ' ' || to_char(min(created), 'YYYY-MM-DD HH24:MI:SS')"
         " || ' ' || to_char(max(created), 'YYYY-MM-DD HH24:MI:SS') FROM gen",
         "SELECT COUNT(*) || ' ' || SUM(\"id\") || ' ' || SUM(\"qty\") || ' ' || COUNT(\"flag\")"
         " || ' ' || SUM(\"flag\") || ' ' || SUM(\"amount\") * 100 || ' ' || SUM(LENGTH(\"name\"))"
         " || ' ' || COUNT(DISTINCT \"created\") || ' '"
         " || TO_CHAR(MIN(\"created\"), 'YYYY-MM-DD HH24:MI:SS') || ' '"
         " || TO_CHAR(MAX(\"created\"), 'YYYY-MM-DD HH24:MI:SS') FROM \"gen\""},
        {"lob",
         "lob (" + std::to_string(md5s * 32) + " + " + std::to_string(hex * 16) + " B)", 3,
         "CREATE UNLOGGED TABLE gen (id integer PRIMARY KEY, body text, data bytea)",
         "g, repeat(md5(g::text), " + std::to_string(md5s) + "), decode(repeat(md5(g::text), " +
             std::to_string(hex) + "), 'hex')",
         "SELECT count(*) || ' ' || sum(id) || ' ' || sum(length(body)) || ' '"
         " || sum(length(data)) FROM gen",
         "SELECT COUNT(*) || ' ' || SUM(\"id\") || ' ' || SUM(DBMS_LOB.GETLENGTH(\"body\"))"
         " || ' ' || SUM(DBMS_LOB.GETLENGTH(\"data\")) FROM \"gen\""},
        columns_shape(10),
        columns_shape(200),
    };
}

using run_result = test_run_figures;

// runs a program without the PG* variables (libpq would read them) and with the extra
// "NAME=value" settings, its output into a file
run_result run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& output)
{
    return test_run_measured(argv, env, output, {"PG"});
}

std::string file_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string trimmed(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

std::vector<std::string> kestrun_argv(const test_pg_server& server, const test_pg_database& db,
                                      const test_ora_schema& ora)
{
    return {std::string(TEST_BINARY_DIR) + "/bin/kestrun", "--dest=" + ora.service(),
            "--oraclu=" + ora.user(), "--oraclp=" + ora.password(),
            "--posgsh=" + server.host, "--pgport=" + server.port, "--posgsu=" + server.user,
            "--posgsp=" + server.password, "--src=" + db.name(), "--no_schema"};
}

test_pg_database make_source(const shape& s, long rows)
{
    test_pg_database db("kbench");
    db.exec(s.create + "; INSERT INTO gen SELECT " + s.fill + " FROM generate_series(1, " +
            std::to_string(rows) + ") g; ANALYZE gen");
    return db;
}

// the converted table must hold what the source holds, or the figures mean nothing
bool check_destination(const shape& s, const test_pg_database& db, const test_ora_schema& ora)
{
    const std::string want = db.query_value(s.source_check);
    const std::string got = trimmed(ora.sql(s.dest_check + ";\n"));
    if (want == got)
        return true;
    std::fprintf(stderr, "%s: destination holds \"%s\", the source \"%s\"\n", s.name.c_str(),
                 got.c_str(), want.c_str());
    return false;
}

run_result read_with_psql(const test_pg_database& db, const std::string& output)
{
    return run({"/usr/bin/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", db.conn_string(), "-c",
                "\\copy (SELECT * FROM gen) to /dev/null"},
               {}, output);
}

int timed(const std::vector<shape>& cases, const std::vector<long>& sizes)
{
    const test_pg_server& server = test_pg_server::get();
    std::printf("| table | rows | kestrun s | kestrun rows/s | kestrun CPU us/row | kestrun peak RSS"
                " | psql \\copy rows/s | psql peak RSS | kestrun / psql |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    for (const shape& s : cases) {
        for (long rows : sizes) {
            test_pg_database db = make_source(s, rows);
            test_ora_schema ora;
            const std::string log = ora.dir() + "/kestrun.out";
            const run_result k = run(kestrun_argv(server, db, ora), ora.environment(), log);
            if (k.status != 0) {
                std::fprintf(stderr, "kestrun exit code %d:\n%s\n", k.status,
                             file_text(log).c_str());
                return 1;
            }
            if (!check_destination(s, db, ora))
                return 1;
            const run_result p = read_with_psql(db, ora.dir() + "/psql.out");
            if (p.status != 0) {
                std::fprintf(stderr, "psql failed:\n%s\n", file_text(ora.dir() + "/psql.out").c_str());
                return 1;
            }
            std::printf("| %s | %ld | %.1f | %.0f | %.1f | %.1f MiB | %.0f | %.1f MiB | %.3f |\n",
                        s.label.c_str(), rows, k.seconds, rows / k.seconds,
                        k.cpu_seconds * 1e6 / rows, k.peak_kib / 1024.0, rows / p.seconds,
                        p.peak_kib / 1024.0, (rows / k.seconds) / (rows / p.seconds));
            std::fflush(stdout);
        }
    }
    return 0;
}

// sums of a callgrind profile: self cost by function, and the inclusive cost of
// calls that cross from one object into another (cob= names the callee's object for the next
// call only; without it the call stays in the caller's object)
struct profile {
    unsigned long long total = 0;
    std::vector<std::string> objects;
    std::map<std::pair<int, int>, unsigned long long> crossing;
    std::unordered_map<std::string, unsigned long long> self_by_function;  // "object\tfn"
};

// "(n) name" defines n, "(n)" refers to it, a plain name has no number
std::string compressed(const std::string& value, std::map<int, std::string>& names)
{
    if (value.size() > 1 && value[0] == '(') {
        const size_t close = value.find(')');
        const int n = std::atoi(value.c_str() + 1);
        if (close + 1 < value.size())
            names[n] = value.substr(close + 2);
        return names[n];
    }
    return value;
}

profile read_profile(const std::string& path)
{
    profile p;
    std::ifstream in(path);
    std::map<int, std::string> obs, fns, files;
    std::map<std::string, int> object_index;
    auto object_of = [&](const std::string& name) {
        auto [it, added] = object_index.emplace(name, int(p.objects.size()));
        if (added)
            p.objects.push_back(name);
        return it->second;
    };
    int ob = object_of("?");
    int cob = -1;
    std::string fn;
    bool call_cost_next = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("ob=", 0) == 0) {
            ob = object_of(compressed(line.substr(3), obs));
        } else if (line.rfind("cob=", 0) == 0) {
            cob = object_of(compressed(line.substr(4), obs));
        } else if (line.rfind("fn=", 0) == 0) {
            fn = compressed(line.substr(3), fns);
        } else if (line.rfind("cfn=", 0) == 0) {
            compressed(line.substr(4), fns);
        } else if (line.rfind("calls=", 0) == 0) {
            call_cost_next = true;
        } else if (line.rfind("totals:", 0) == 0 || line.rfind("summary:", 0) == 0) {
            p.total = std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
        } else if (std::isdigit(static_cast<unsigned char>(line[0])) || line[0] == '+' ||
                   line[0] == '-' || line[0] == '*') {
            // position, then Ir
            const char* cost = std::strchr(line.c_str(), ' ');
            const unsigned long long ir = cost ? std::strtoull(cost, nullptr, 10) : 0;
            if (call_cost_next) {
                const int callee = cob >= 0 ? cob : ob;
                if (callee != ob)
                    p.crossing[{ob, callee}] += ir;
                call_cost_next = false;
                cob = -1;
            } else {
                p.self_by_function[p.objects[size_t(ob)] + "\t" + fn] += ir;
            }
        } else if (line.find('=') != std::string::npos) {
            // fl=, fi=, fe=, cfi=, cfl=: source files, not needed here
            const std::string key = line.substr(0, line.find('='));
            if (key == "fl" || key == "fi" || key == "fe" || key == "cfi" || key == "cfl")
                compressed(line.substr(key.size() + 1), files);
        }
    }
    return p;
}

bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string base_name(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// a callgrind profile split by owner. ours: the self cost of every function in the kestrun
// binary (our libraries are linked into it statically, with the templates they instantiate);
// libc, libstdc++, ICU, libpqxx, libpq and the stand-in are not ours, whoever calls them.
// with_calls: the total less the inclusive cost of every call from kestrun into the stand-in
// or the postgresql client (the stand-in's calls back into our binds count for us again), so
// the libc, libstdc++ and ICU work our code asks for counts for us
struct split {
    unsigned long long total = 0;
    unsigned long long ours = 0;
    unsigned long long with_calls = 0;
    unsigned long long standin = 0;
    unsigned long long pq = 0;
};

bool split_profile(const profile& p, split& out)
{
    int ours = -1;
    std::vector<int> standin, pq;
    for (size_t i = 0; i < p.objects.size(); ++i) {
        const std::string& o = p.objects[i];
        if (ends_with(o, "/bin/kestrun"))
            ours = int(i);
        else if (base_name(o).rfind("libclntsh.so", 0) == 0)
            standin.push_back(int(i));
        else if (base_name(o).rfind("libpq.so", 0) == 0 || base_name(o).rfind("libpqxx", 0) == 0)
            pq.push_back(int(i));
    }
    if (ours < 0 || standin.empty() || p.total == 0)
        return false;
    auto crossing = [&](int from, int to) {
        auto it = p.crossing.find({from, to});
        return it == p.crossing.end() ? 0ULL : it->second;
    };
    unsigned long long into_standin = 0, back = 0, into_pq = 0;
    for (int t : standin) {
        into_standin += crossing(ours, t);
        back += crossing(t, ours);
    }
    for (int t : pq)
        into_pq += crossing(ours, t);
    out.total = p.total;
    out.standin = into_standin - std::min(into_standin, back);
    out.pq = into_pq;
    out.with_calls = p.total - out.standin - out.pq;
    const std::string prefix = p.objects[size_t(ours)] + "\t";
    out.ours = 0;
    for (const auto& [key, ir] : p.self_by_function)
        if (key.compare(0, prefix.size(), prefix) == 0)
            out.ours += ir;
    return true;
}

// runs kestrun under callgrind; toggle names the function whose calls are counted, empty for
// the whole run. the profile is copied to kept for callgrind_annotate
bool callgrind_run(const std::vector<std::string>& kestrun, const test_ora_schema& ora,
                   const std::string& toggle, const std::string& kept, split& out,
                   double& seconds)
{
    const std::string file = ora.dir() + "/callgrind.out";
    std::vector<std::string> argv = {"/usr/bin/valgrind", "--tool=callgrind",
                                     "--callgrind-out-file=" + file};
    if (!toggle.empty())
        argv.push_back("--toggle-collect=" + toggle);
    argv.insert(argv.end(), kestrun.begin(), kestrun.end());
    const std::string log = ora.dir() + "/kestrun.out";
    const run_result k = run(argv, ora.environment(), log);
    seconds = k.seconds;
    if (k.status != 0) {
        std::fprintf(stderr, "kestrun under callgrind exit code %d:\n%s\n", k.status,
                     file_text(log).c_str());
        return false;
    }
    const profile p = read_profile(file);
    if (!split_profile(p, out)) {
        std::fprintf(stderr, "%s: no totals, or names neither kestrun nor libclntsh.so\n",
                     file.c_str());
        return false;
    }
    std::filesystem::copy_file(file, kept, std::filesystem::copy_options::overwrite_existing);
    if (toggle.empty())
        return true;
    std::vector<std::pair<unsigned long long, std::string>> top;
    for (const auto& [key, ir] : p.self_by_function)
        top.emplace_back(ir, key);
    std::sort(top.rbegin(), top.rend());
    std::printf("  self cost by function:\n");
    for (size_t i = 0; i < top.size() && i < 25; ++i) {
        const std::string& key = top[i].second;
        const size_t tab = key.find('\t');
        std::printf("    %5.1f %%  %-22s %s\n", 100.0 * top[i].first / p.total,
                    base_name(key.substr(0, tab)).c_str(), key.substr(tab + 1, 110).c_str());
    }
    return true;
}

// rows: a count for every shape, or 0 for each shape's own (fewer rows for wider ones)
int profiled(const std::vector<shape>& cases, long rows_asked)
{
    const test_pg_server& server = test_pg_server::get();
    std::vector<std::pair<long, split>> done;
    for (const shape& s : cases) {
        const long rows = rows_asked > 0         ? rows_asked
                          : s.name == "lob"      ? 10000
                          : s.columns >= 100     ? 2000
                                                 : 20000;
        test_pg_database db = make_source(s, rows);
        test_ora_schema ora;
        const std::string kept = kept_dir() + "/" + s.name + ".callgrind";
        std::printf("%s, %ld rows, row loop (copy_rows) under callgrind\n", s.label.c_str(), rows);
        split x;
        double seconds = 0;
        if (!callgrind_run(kestrun_argv(server, db, ora), ora, "*copy_rows*", kept, x, seconds))
            return 1;
        if (!check_destination(s, db, ora))
            return 1;
        std::printf("  %.1f s under callgrind, profile kept in %s\n", seconds, kept.c_str());
        std::fflush(stdout);
        done.emplace_back(rows, x);
    }
    std::printf("\n| table | columns | rows | all a row | ours a row | ours a row and column"
                " | ours with libc/libstdc++/ICU a row | stand-in a row | libpqxx, libpq a row |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (size_t i = 0; i < done.size(); ++i) {
        const split& x = done[i].second;
        const double r = double(done[i].first);
        std::printf("| %s | %d | %ld | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f |\n",
                    cases[i].label.c_str(), cases[i].columns, done[i].first, x.total / r,
                    x.ours / r, x.ours / r / cases[i].columns, x.with_calls / r, x.standin / r,
                    x.pq / r);
    }
    std::fflush(stdout);
    return 0;
}

// the text inside a string literal of SQL
std::string quoted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += c;
    }
    return out;
}

// count tables of ten narrow rows each, named t00001...
void make_tables(const test_pg_database& db, long count)
{
    const shape narrow = shapes(1024).front();
    const std::string columns = narrow.create.substr(narrow.create.find('('));
    for (long first = 1; first <= count; first += 200) {
        // a transaction of its own every 200 tables: each takes locks until it commits
        const long last = std::min(count, first + 199);
        db.exec("DO $$ DECLARE t text; BEGIN FOR i IN " + std::to_string(first) + ".." +
                std::to_string(last) + " LOOP t := 't' || lpad(i::text, 5, '0');"
                " EXECUTE 'CREATE UNLOGGED TABLE ' || t || ' " + quoted(columns) + "';"
                " EXECUTE 'INSERT INTO ' || t || ' SELECT " + quoted(narrow.fill) +
                " FROM generate_series(1, 10) g'; END LOOP; END $$");
    }
    db.exec("ANALYZE");
}

// callgrind over the whole run of count tables of 10 rows: our instructions per table, and
// per table added from one count to the next (start-up and the end of the run cancel out)
int table_counts(const std::vector<long>& counts)
{
    const test_pg_server& server = test_pg_server::get();
    std::vector<std::pair<long, split>> done;
    for (long count : counts) {
        test_pg_database db("kbench");
        make_tables(db, count);
        test_ora_schema ora;
        const std::string kept = kept_dir() + "/tables_" + std::to_string(count) + ".callgrind";
        split x;
        double seconds = 0;
        if (!callgrind_run(kestrun_argv(server, db, ora), ora, "", kept, x, seconds))
            return 1;
        const std::string tables = trimmed(ora.sql("SELECT COUNT(*) FROM USER_TABLES;\n"));
        const std::string last = "t" + std::string(5 - std::to_string(count).size(), '0') +
                                 std::to_string(count);
        const std::string rows =
            trimmed(ora.sql("SELECT COUNT(*) FROM \"" + last + "\";\n"));
        if (tables != std::to_string(count) || rows != "10") {
            std::fprintf(stderr, "%ld tables: the destination holds %s tables, %s rows in %s\n",
                         count, tables.c_str(), rows.c_str(), last.c_str());
            return 1;
        }
        std::printf("%ld tables of 10 rows: %.1f s under callgrind, profile kept in %s\n", count,
                    seconds, kept.c_str());
        std::fflush(stdout);
        done.emplace_back(count, x);
    }
    std::printf("\n| tables | all a table | ours a table | ours a row | ours a table, added since the"
                " previous count | ours with libc/libstdc++/ICU a table | stand-in a table |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
    for (size_t i = 0; i < done.size(); ++i) {
        const auto& [count, x] = done[i];
        std::string added = "";
        if (i > 0 && count > done[i - 1].first)
            added = std::to_string((long long)((double(x.ours) - double(done[i - 1].second.ours)) /
                                               double(count - done[i - 1].first)));
        std::printf("| %ld | %.0f | %.0f | %.0f | %s | %.0f | %.0f |\n", count,
                    double(x.total) / count, double(x.ours) / count,
                    double(x.ours) / count / 10, added.c_str(), double(x.with_calls) / count,
                    double(x.standin) / count);
    }
    std::fflush(stdout);
    return 0;
}

// peak resident size of kestrun for tables of one large value a row, against the bound of
// 64 MiB and three times the row, then the narrow table at the given row counts, in one run
int memory(const std::vector<long>& narrow_rows)
{
    const test_pg_server& server = test_pg_server::get();
    struct value_case {
        const char* type;
        long bytes;
        long rows;
    };
    const value_case cases[] = {
        {"bytea", 1024, 20000},        {"text", 1024, 20000},
        {"bytea", 1L << 20, 100},      {"text", 1L << 20, 100},
        {"bytea", 10L << 20, 20},      {"text", 10L << 20, 20},
    };
    std::printf("| table | rows | value bytes | kestrun s | kestrun peak RSS | bound (64 MiB + 3 rows)"
                " | within |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    std::fflush(stdout);
    for (const value_case& c : cases) {
        const bool text = std::strcmp(c.type, "text") == 0;
        const std::string value = text ? "repeat(md5(g::text), " + std::to_string(c.bytes / 32) + ")"
                                       : "decode(repeat(md5(g::text), " +
                                             std::to_string(c.bytes / 16) + "), 'hex')";
        const shape s{c.type, c.type, 2,
                      std::string("CREATE UNLOGGED TABLE gen (id integer PRIMARY KEY, v ") + c.type + ")",
                      "g, " + value,
                      "SELECT count(*) || ' ' || sum(id) || ' ' || sum(length(v)) FROM gen",
                      "SELECT COUNT(*) || ' ' || SUM(\"id\") || ' ' || SUM(DBMS_LOB.GETLENGTH(\"v\"))"
                      " FROM \"gen\""};
        test_pg_database db = make_source(s, c.rows);
        test_ora_schema ora;
        const std::string log = ora.dir() + "/kestrun.out";
        const run_result k = run(kestrun_argv(server, db, ora), ora.environment(), log);
        if (k.status != 0) {
            std::fprintf(stderr, "kestrun exit code %d:\n%s\n", k.status, file_text(log).c_str());
            return 1;
        }
        if (!check_destination(s, db, ora))
            return 1;
        const double bound = 64 + 3.0 * (c.bytes + 4) / (1 << 20);
        std::printf("| %s | %ld | %ld | %.1f | %.1f MiB | %.1f MiB | %s |\n", c.type, c.rows,
                    c.bytes, k.seconds, k.peak_kib / 1024.0, bound,
                    k.peak_kib / 1024.0 < bound ? "yes" : "no");
        std::fflush(stdout);
    }
    std::printf("\n");
    return timed({shapes(1024).front()}, narrow_rows);
}

// the owner of a sample: walking from the leaf outwards, the first frame in our binary, the
// stand-in or the postgresql client decides (libc, libstdc++ and the kernel count for whoever
// called them)
enum class owner { ours, standin, pq, unknown };

owner owner_of_object(const std::string& object)
{
    const std::string b = base_name(object);
    if (b == "kestrun")
        return owner::ours;
    if (b.rfind("libclntsh.so", 0) == 0 || b.rfind("libsqlite3.so", 0) == 0)
        return owner::standin;
    if (b.rfind("libpq.so", 0) == 0 || b.rfind("libpqxx", 0) == 0)
        return owner::pq;
    return owner::unknown;
}

int sampled(const std::vector<shape>& cases, long rows)
{
    const test_pg_server& server = test_pg_server::get();
    for (const shape& s : cases) {
        test_pg_database db = make_source(s, rows);
        test_ora_schema ora;
        const std::string data = ora.dir() + "/perf.data";
        std::vector<std::string> argv = {"/usr/bin/perf", "record", "-q", "-e", "cpu-clock",
                                         "-F", "499", "--call-graph", "dwarf,32768", "-o", data,
                                         "--"};
        for (const std::string& a : kestrun_argv(server, db, ora))
            argv.push_back(a);
        const std::string log = ora.dir() + "/kestrun.out";
        const run_result k = run(argv, ora.environment(), log);
        if (k.status != 0) {
            std::fprintf(stderr, "kestrun under perf exit code %d:\n%s\n", k.status,
                         file_text(log).c_str());
            return 1;
        }
        if (!check_destination(s, db, ora))
            return 1;
        std::string script, script_err;
        if (test_run_process({"/usr/bin/perf", "script", "--no-inline", "-i", data, "-F",
                              "comm,tid,period,ip,sym,dso"},
                             {}, "", &script, &script_err) != 0) {
            std::fprintf(stderr, "perf script failed:\n%s\n", script_err.c_str());
            return 1;
        }

        // [all samples, samples under the row loop] by owner
        double by_owner[2][4] = {};
        std::map<std::string, double> self_in_loop;
        std::istringstream in(script);
        std::string line;
        std::vector<std::pair<std::string, std::string>> frames;  // symbol, object
        double period = 0;
        auto finish = [&] {
            if (frames.empty() && period == 0)
                return;
            owner o = owner::unknown;
            bool in_loop = false;
            for (const auto& [sym, object] : frames) {
                if (o == owner::unknown)
                    o = owner_of_object(object);
                in_loop = in_loop || sym.find("copy_rows") != std::string::npos;
            }
            by_owner[0][int(o)] += period;
            if (in_loop) {
                by_owner[1][int(o)] += period;
                if (!frames.empty())
                    self_in_loop[base_name(frames.front().second) + "\t" + frames.front().first] +=
                        period;
            }
            frames.clear();
            period = 0;
        };
        while (std::getline(in, line)) {
            if (line.empty()) {
                finish();
            } else if (line[0] == '\t' || line[0] == ' ') {
                // "<ip> <symbol> (<object>)"
                const size_t open = line.rfind(" (");
                const size_t start = line.find_first_not_of(" \t");
                const size_t sym = line.find(' ', start);
                if (open == std::string::npos || sym == std::string::npos || sym > open)
                    continue;
                frames.emplace_back(line.substr(sym + 1, open - sym - 1),
                                    line.substr(open + 2, line.size() - open - 3));
            } else {
                finish();
                // "<comm> <tid> <period> <event>:" ; the period is the last number
                std::istringstream words(line);
                std::string w;
                while (words >> w)
                    if (!w.empty() && std::isdigit(static_cast<unsigned char>(w[0])))
                        period = std::strtod(w.c_str(), nullptr);
            }
        }
        finish();

        std::printf("%s, %ld rows under perf (%.1f s, cpu-clock at 499 Hz, kernel time included)\n",
                    s.name.c_str(), rows, k.seconds);
        const char* names[] = {"our code", "stand-in", "libpqxx, libpq", "unattributed"};
        for (int part = 0; part < 2; ++part) {
            double total = 0;
            for (double v : by_owner[part])
                total += v;
            std::printf("  %s: %.2f s of CPU\n", part ? "in the row loop" : "whole run", total / 1e9);
            for (int o = 0; o < 4; ++o)
                std::printf("    %-16s %5.1f %%  %7.1f us a row\n", names[o],
                            total > 0 ? 100 * by_owner[part][o] / total : 0.0,
                            by_owner[part][o] / 1e3 / rows);
        }
        std::vector<std::pair<double, std::string>> top;
        double loop_total = 0;
        for (const auto& [key, v] : self_in_loop) {
            top.emplace_back(v, key);
            loop_total += v;
        }
        std::sort(top.rbegin(), top.rend());
        std::printf("  self time in the row loop by function:\n");
        for (size_t i = 0; i < top.size() && i < 25; ++i) {
            const std::string& key = top[i].second;
            const size_t tab = key.find('\t');
            std::printf("    %5.1f %%  %-22s %s\n", 100 * top[i].first / loop_total,
                        key.substr(0, tab).c_str(), key.substr(tab + 1, 110).c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool profile_mode = false;
    bool perf_mode = false;
    bool tables_mode = false;
    bool memory_mode = false;
    long lob_bytes = 1024;
    std::string only;
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--profile")
            profile_mode = true;
        else if (a == "--perf")
            perf_mode = true;
        else if (a == "--tables")
            tables_mode = true;
        else if (a == "--memory")
            memory_mode = true;
        else if (a.rfind("--lob-bytes=", 0) == 0)
            lob_bytes = std::strtol(a.c_str() + 12, nullptr, 10);
        else if (a.rfind("--shape=", 0) == 0)
            only = a.substr(8);
        else if (!a.empty() && std::isdigit(static_cast<unsigned char>(a[0])))
            sizes.push_back(std::strtol(a.c_str(), nullptr, 10));
        else {
            std::fprintf(stderr, "usage: kestrun_bench [--profile|--perf|--tables|--memory]"
                                 " [--shape=narrow,lob,cols10,cols200] [--lob-bytes=N]"
                                 " [rows or tables ...]\n");
            return 2;
        }
    }
    if (tables_mode)
        return table_counts(sizes.empty() ? std::vector<long>{100, 1000, 3000} : sizes);
    if (memory_mode)
        return memory(sizes.empty() ? std::vector<long>{100000, 1000000} : sizes);
    if (only.empty())
        only = profile_mode ? "narrow,lob,cols10,cols200" : "narrow,lob";
    std::vector<shape> cases;
    for (const shape& s : shapes(lob_bytes))
        if (("," + only + ",").find("," + s.name + ",") != std::string::npos)
            cases.push_back(s);
    if (cases.empty()) {
        std::fprintf(stderr, "no shape named %s\n", only.c_str());
        return 2;
    }
    if (perf_mode)
        return sampled(cases, sizes.empty() ? 100000 : sizes.front());
    if (profile_mode)
        return profiled(cases, sizes.empty() ? 0 : sizes.front());
    if (sizes.empty())
        sizes = {100000, 1000000};
    return timed(cases, sizes);
}
