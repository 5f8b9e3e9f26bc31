// reads generated tables through the postgresql reader and through psql's \copy,
// printing rows per second and peak resident memory of each.
// usage: pgs_read_bench [rows ...]   (default 1000000 3000000 10000000)
// needs TEST_PG_HOST/PORT/USER/PASSWORD, as the tests do.

#include "pgs_db.hpp"
#include "pgs_engine.hpp"
#include "pgs_rs.hpp"
#include "test_pg.hpp"
#include "tk_utils.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// the peak resident size of this process since the last reset, in KiB
long peak_rss_kib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void reset_peak_rss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
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
    const auto start = clock_type::now();
    const pid_t child = fork();
    if (child == 0) {
        execlp("psql", "psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", conn_string.c_str(),
               "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    f.seconds = seconds_since(start);
    f.peak_kib = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "psql failed\n");
        std::exit(1);
    }
    return f;
}

void print(const char* what, const figures& f)
{
    std::printf("  %-7s %10.0f rows/s  %7.2f s  peak RSS %7.1f MiB\n", what, f.rows / f.seconds,
                f.seconds, f.peak_kib / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::strtol(argv[i], nullptr, 10));
    if (sizes.empty())
        sizes = {1000000, 3000000, 10000000};

    const test_pg_server& server = test_pg_server::get();
    auto engine = std::make_unique<pgs_engine>();
    engine->connect(server.host, server.user, server.password, "", std::stoi(server.port));

    for (long rows : sizes) {
        test_pg_database db("bench");
        db.exec("CREATE UNLOGGED TABLE gen (i integer, s varchar(40), t timestamp, b boolean,"
                " n numeric(12,2));"
                "INSERT INTO gen SELECT g, 'name number ' || g,"
                " timestamp '2020-01-01' + g * interval '1 second',"
                " CASE WHEN g % 7 = 0 THEN NULL ELSE g % 2 = 0 END, (g % 1000000) / 100.0"
                " FROM generate_series(1, " +
                std::to_string(rows) + ") g; ANALYZE gen");
        std::string select;
        const figures reader = read_with_reader(*engine, db.name(), select);
        if (reader.rows != rows) {
            std::fprintf(stderr, "read %ld rows of %ld\n", reader.rows, rows);
            return 1;
        }
        // the reader's connection goes before the database does
        engine->connect(server.host, server.user, server.password, "postgres",
                        std::stoi(server.port));
        const figures psql = read_with_psql(db.conn_string(), select, rows);
        std::printf("%ld rows\n", rows);
        print("reader", reader);
        print("psql", psql);
        std::printf("  reader/psql throughput %.2f\n", (reader.rows / reader.seconds) /
                                                         (psql.rows / psql.seconds));
        std::fflush(stdout);
    }
    return 0;
}
