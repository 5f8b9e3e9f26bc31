// reads generated tables through the postgresql reader and through psql's \copy, every
// side a process of its own timed from start to exit, printing rows per second and peak
// resident memory of each, every run and then min / median / max over the runs (the table
// is generated once for all runs of a size). psql reads twice: the plain SELECT * a DBA
// would compare with, then the reader's own SELECT with its to_char items.
// usage: pgs_read_bench [--runs=N] [rows ...]   (default 3 runs of 1000000 3000000 10000000)
// needs TEST_PG_HOST/PORT/USER/PASSWORD, as the tests do.

#include "pgs_db.hpp"
#include "pgs_engine.hpp"
#include "pgs_rs.hpp"
#include "test_ora.hpp"
#include "test_pg.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>


namespace {

const char read_option[] = "--read=";

struct figures {
    long rows = 0;
    double seconds = 0;
    long peak_kib = 0;
};

// the child's side: every row of the table through the reader, the count printed
int read_table(const std::string& database)
{
    const test_pg_server& server = test_pg_server::get();
    pgs_engine engine;
    engine.connect(server.host, server.user, server.password, database, std::stoi(server.port));
    std::unique_ptr<pgs_database> db = engine.open_db(tk_from_utf8(database));
    std::unique_ptr<udb_recordset> rs = db->get_table(L"public.gen", 1);
    long rows = 0;
    rs->reset();
    while (!rs->is_eof()) {
        if (rs->get_item()->fields.size() != 5)
            std::abort();
        ++rows;
        rs->next();
    }
    std::printf("%ld\n", rows);
    return 0;
}

// the reader's SELECT for the table, as it sends it
std::string reader_select(pgs_engine& engine, const std::string& database)
{
    std::unique_ptr<pgs_database> db = engine.open_db(tk_from_utf8(database));
    std::unique_ptr<udb_recordset> rs = db->get_table(L"public.gen", 1);
    auto& reader = static_cast<pgs_recordset&>(*rs);
    return "SELECT " + reader.get_select_fields() + " FROM " + reader.get_safe_table_name();
}

// one measured process; its output is returned, a failure ends the benchmark
figures measured(const std::vector<std::string>& argv, long rows, std::string* output = nullptr)
{
    const test_temp_dir dir("pgs_read_bench");
    const test_run_figures used = test_run_measured(argv, {}, dir.file("out"), {"PG"});
    const std::string text = test_read_file(dir.file("out"));
    if (used.status != 0) {
        std::fprintf(stderr, "%s failed: %s\n", argv[0].c_str(), text.c_str());
        std::exit(1);
    }
    if (output)
        *output = text;
    return {rows, used.seconds, used.peak_kib};
}

figures read_with_reader(const std::string& database, long rows)
{
    std::string out;
    const figures f = measured({"/proc/self/exe", read_option + database}, rows, &out);
    if (std::strtol(out.c_str(), nullptr, 10) != rows) {
        std::fprintf(stderr, "the reader read %s rows of %ld\n", out.c_str(), rows);
        std::exit(1);
    }
    return f;
}

figures read_with_psql(const std::string& conn_string, const std::string& select, long rows)
{
    return measured({"/usr/bin/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", conn_string, "-c",
                     "\\copy (" + select + ") to /dev/null"},
                    rows);
}

void print(const char* what, const figures& f)
{
    std::printf("  %-7s %10.0f rows/s  %7.2f s  peak RSS %7.1f MiB\n", what, f.rows / f.seconds,
                f.seconds, f.peak_kib / 1024.0);
}

// "min / median / max" of the values, printed with the format
std::string spread(std::vector<double> v, const char* format)
{
    std::sort(v.begin(), v.end());
    const double median = v.size() % 2 ? v[v.size() / 2]
                                       : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    std::string out;
    for (double x : {v.front(), median, v.back()}) {
        char buf[64];
        std::snprintf(buf, sizeof buf, format, x);
        out += (out.empty() ? "" : " / ") + std::string(buf);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<long> sizes;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind(read_option, 0) == 0)
            return read_table(a.substr(sizeof read_option - 1));
        if (a.rfind("--runs=", 0) == 0)
            runs = std::max(1, std::atoi(a.c_str() + 7));
        else
            sizes.push_back(std::strtol(argv[i], nullptr, 10));
    }
    if (sizes.empty())
        sizes = {1000000, 3000000, 10000000};

    const test_pg_server& server = test_pg_server::get();
    auto engine = std::make_unique<pgs_engine>();
    engine->connect(server.host, server.user, server.password, "", std::stoi(server.port));

    std::string summary;
    for (long rows : sizes) {
        test_pg_database db("bench");
        db.exec("CREATE UNLOGGED TABLE gen (i integer, s varchar(40), t timestamp, b boolean,"
                " n numeric(12,2));"
                "INSERT INTO gen SELECT g, 'name number ' || g,"
                " timestamp '2020-01-01' + g * interval '1 second',"
                " CASE WHEN g % 7 = 0 THEN NULL ELSE g % 2 = 0 END, (g % 1000000) / 100.0"
                " FROM generate_series(1, " +
                std::to_string(rows) + ") g; ANALYZE gen");
        const std::string select = reader_select(*engine, db.name());
        // this connection goes before the others read and before the database goes
        engine->connect(server.host, server.user, server.password, "postgres",
                        std::stoi(server.port));
        std::printf("%ld rows\n", rows);
        std::vector<double> reader_rate, reader_mib, plain_rate, plain_mib, same_rate, same_mib,
            plain_ratio, same_ratio;
        for (int run = 1; run <= runs; ++run) {
            const figures reader = read_with_reader(db.name(), rows);
            const figures plain = read_with_psql(db.conn_string(), "SELECT * FROM gen", rows);
            const figures same = read_with_psql(db.conn_string(), select, rows);
            std::printf(" run %d\n", run);
            print("reader", reader);
            print("psql *", plain);
            print("psql =", same);
            reader_rate.push_back(reader.rows / reader.seconds);
            reader_mib.push_back(reader.peak_kib / 1024.0);
            plain_rate.push_back(plain.rows / plain.seconds);
            plain_mib.push_back(plain.peak_kib / 1024.0);
            same_rate.push_back(same.rows / same.seconds);
            same_mib.push_back(same.peak_kib / 1024.0);
            plain_ratio.push_back(reader_rate.back() / plain_rate.back());
            same_ratio.push_back(reader_rate.back() / same_rate.back());
            std::printf("  reader / psql throughput: %.2f (SELECT *), %.2f (the reader's SELECT)\n",
                        plain_ratio.back(), same_ratio.back());
            std::fflush(stdout);
        }
        char line[1024];
        std::snprintf(line, sizeof line, "| %ld | %d | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                      rows, runs, spread(reader_rate, "%.0f").c_str(),
                      spread(reader_mib, "%.1f").c_str(), spread(plain_rate, "%.0f").c_str(),
                      spread(plain_mib, "%.1f").c_str(), spread(same_rate, "%.0f").c_str(),
                      spread(same_mib, "%.1f").c_str(), spread(plain_ratio, "%.2f").c_str(),
                      spread(same_ratio, "%.2f").c_str());
        summary += line;
    }
    std::printf("\nmin / median / max (psql *: SELECT * FROM gen; psql =: the reader's SELECT):\n"
                "| rows | runs | reader rows/s | reader peak RSS MiB | psql * rows/s"
                " | psql * peak RSS MiB | psql = rows/s | psql = peak RSS MiB | reader / psql *"
                " | reader / psql = |\n"
                "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n%s",
                summary.c_str());
    return 0;
}
