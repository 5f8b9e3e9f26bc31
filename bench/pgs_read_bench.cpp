// reads generated tables through the postgresql reader and through psql's \copy,
// printing rows per second and peak resident memory of each, every run and then
// min / median / max over the runs (the table is generated once for all runs of a size).
// usage: pgs_read_bench [--runs=N] [rows ...]   (default 3 runs of 1000000 3000000 10000000)
// needs TEST_PG_HOST/PORT/USER/PASSWORD, as the tests do.

#include "bench_rss.hpp"
#include "pgs_db.hpp"
#include "pgs_engine.hpp"
#include "pgs_rs.hpp"
#include "test_ora.hpp"
#include "test_pg.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>


namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

struct figures {
    long rows = 0;
    double seconds = 0;
    long peak_kib = 0;
};

figures read_with_reader(pgs_engine& engine, const std::string& database, std::string& select)
{
    std::unique_ptr<pgs_database> db = engine.open_db(tk_from_utf8(database));
    std::unique_ptr<udb_recordset> rs = db->get_table(L"public.gen", 1);
    auto& reader = static_cast<pgs_recordset&>(*rs);
    select = "SELECT " + reader.get_select_fields() + " FROM " + reader.get_safe_table_name();
    reset_peak_rss();
    figures f;
    const auto start = clock_type::now();
    rs->reset();
    while (!rs->is_eof()) {
        if (rs->get_item()->fields.size() != 5)
            std::abort();
        ++f.rows;
        rs->next();
    }
    f.seconds = seconds_since(start);
    f.peak_kib = peak_rss_kib();
    return f;
}

figures read_with_psql(const std::string& conn_string, const std::string& select, long rows)
{
    const std::string command = "\\copy (" + select + ") to /dev/null";
    figures f;
    f.rows = rows;
    const test_temp_dir dir("psql");
    const test_run_figures used = test_run_measured(
        {"/usr/bin/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", conn_string, "-c", command},
        {}, dir.file("psql.out"), {"PG"});
    if (used.status != 0) {
        std::fprintf(stderr, "psql failed: %s\n", test_read_file(dir.file("psql.out")).c_str());
        std::exit(1);
    }
    f.seconds = used.seconds;
    f.peak_kib = used.peak_kib;
    return f;
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
        std::printf("%ld rows\n", rows);
        std::vector<double> reader_rate, reader_mib, psql_rate, psql_mib, ratio;
        for (int run = 1; run <= runs; ++run) {
            std::string select;
            const figures reader = read_with_reader(*engine, db.name(), select);
            if (reader.rows != rows) {
                std::fprintf(stderr, "read %ld rows of %ld\n", reader.rows, rows);
                return 1;
            }
            // the reader's connection goes before psql reads and before the database goes
            engine->connect(server.host, server.user, server.password, "postgres",
                            std::stoi(server.port));
            const figures psql = read_with_psql(db.conn_string(), select, rows);
            std::printf(" run %d\n", run);
            print("reader", reader);
            print("psql", psql);
            reader_rate.push_back(reader.rows / reader.seconds);
            reader_mib.push_back(reader.peak_kib / 1024.0);
            psql_rate.push_back(psql.rows / psql.seconds);
            psql_mib.push_back(psql.peak_kib / 1024.0);
            ratio.push_back(reader_rate.back() / psql_rate.back());
            std::printf("  reader/psql throughput %.2f\n", ratio.back());
            std::fflush(stdout);
        }
        char line[512];
        std::snprintf(line, sizeof line, "| %ld | %d | %s | %s | %s | %s | %s |\n", rows, runs,
                      spread(reader_rate, "%.0f").c_str(), spread(reader_mib, "%.1f").c_str(),
                      spread(psql_rate, "%.0f").c_str(), spread(psql_mib, "%.1f").c_str(),
                      spread(ratio, "%.2f").c_str());
        summary += line;
    }
    std::printf("\nmin / median / max:\n| rows | runs | reader rows/s | reader peak RSS MiB"
                " | psql rows/s | psql peak RSS MiB | reader / psql |\n"
                "|---:|---:|---:|---:|---:|---:|---:|\n%s",
                summary.c_str());
    return 0;
}
