// loads generated rows through the postgresql writing side (create_table, append_record,
// complete) and the same rows through psql's \copy, checks that both tables hold the same
// rows, and prints rows per second and peak resident memory of each.
// usage: pgs_write_bench [--shape=narrow|wide] [rows ...]   (default both shapes, 100000 1000000)
// needs TEST_PG_HOST/PORT/USER/PASSWORD, as the tests do.

#include "bench_rss.hpp"
#include "pgs_db.hpp"
#include "pgs_engine.hpp"
#include "pgs_rs.hpp"
#include "test_pg.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

struct figures {
    double seconds = 0;
    long peak_kib = 0;
};

// one generated value: the variant our side loads and the COPY text psql loads,
// written independently of the writer's own formatting
struct cell {
    ole_variant value;
    std::string text; // "\\N" for NULL
};

// the values of one row of a shape
class shape {
public:
    virtual ~shape() = default;
    virtual const char* name() const = 0;
    virtual std::unique_ptr<udb_schema> fields() const = 0;
    virtual void row(long i, std::vector<cell>& cells) const = 0;
};

// "every seventh value NULL", the key never
bool is_null(long i, size_t column)
{
    return column != 0 && (i + long(column)) % 7 == 0;
}

class narrow_shape : public shape {
public:
    const char* name() const override { return "narrow"; }
    std::unique_ptr<udb_schema> fields() const override
    {
        auto f = std::make_unique<udb_schema>();
        f->add_field(std::make_unique<t_ftd>(0, L"id", VT_I4, true, false, ole_variant(), 0));
        f->add_field(std::make_unique<t_ftd>(40, L"name", VT_BSTR, false, false, ole_variant(), 0));
        f->add_field(
            std::make_unique<t_ftd>(0, L"created", VT_DATE, false, false, ole_variant(), 1));
        f->add_field(std::make_unique<t_ftd>(0, L"flag", VT_BOOL, false, false, ole_variant(), 0));
        f->add_field(std::make_unique<t_ftd>(0, L"amount", VT_DECIMAL, false, false, ole_variant(),
                                             12 << 8 | 2));
        f->add_field(std::make_unique<t_ftd>(0, L"qty", VT_I8, false, false, ole_variant(), 0));
        return f;
    }
    void row(long i, std::vector<cell>& cells) const override
    {
        char text[96];
        cells.resize(6);
        cells[0] = {ole_variant(int(i)), std::to_string(i)};
        std::snprintf(text, sizeof text,
                      "Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 g\xc4\x99\xc5\x9bl\xc4\x85 %ld", i);
        cells[1] = {ole_variant(tk_from_utf8(text)), text};
        const time_t at = 1577836800 + i;
        tm t{};
        gmtime_r(&at, &t);
        const SYSTEMTIME time{WORD(t.tm_year + 1900), WORD(t.tm_mon + 1), 0,
                              WORD(t.tm_mday),        WORD(t.tm_hour),    WORD(t.tm_min),
                              WORD(t.tm_sec),         WORD(i % 1000), 0};
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, i % 1000);
        cells[2] = {ole_variant(time), text};
        cells[3] = {ole_variant(i % 2 == 0), i % 2 == 0 ? "1" : "0"};
        std::snprintf(text, sizeof text, "%s%ld.%02ld", i % 3 ? "" : "-", i % 10000000, i % 100);
        cells[4] = {ole_variant::from_string(text, VT_DECIMAL), text};
        cells[5] = {ole_variant((long long)i * 1000003), std::to_string((long long)i * 1000003)};
        for (size_t c = 0; c < cells.size(); ++c)
            if (is_null(i, c))
                cells[c] = {ole_variant(), "\\N"};
    }
};

class wide_shape : public shape {
public:
    const char* name() const override { return "wide"; }
    std::unique_ptr<udb_schema> fields() const override
    {
        auto f = std::make_unique<udb_schema>();
        f->add_field(std::make_unique<t_ftd>(0, L"id", VT_I4, true, false, ole_variant(), 0));
        f->add_field(std::make_unique<t_ftd>(0, L"body", VT_BSTR, false, false, ole_variant(), 0));
        f->add_field(
            std::make_unique<t_ftd>(0, L"data", VT_ARRAY | VT_UI1, false, false, ole_variant(), 0));
        return f;
    }
    void row(long i, std::vector<cell>& cells) const override
    {
        cells.resize(3);
        cells[0] = {ole_variant(int(i)), std::to_string(i)};
        // 1,024 characters, one in eight outside ascii
        std::wstring body;
        std::string body_text;
        for (int k = 0; k < 1024; ++k) {
            if (k % 8 == 0) {
                body += L'\u00e9';
                body_text += "\xc3\xa9";
            } else {
                const char c = char('a' + (i + k) % 26);
                body += wchar_t(c);
                body_text += c;
            }
        }
        cells[1] = {ole_variant(body), body_text};
        std::vector<BYTE> bytes(1024);
        std::string hex = "\\\\x";
        static const char digits[] = "0123456789abcdef";
        for (size_t k = 0; k < bytes.size(); ++k) {
            bytes[k] = BYTE((i * 31 + long(k) * 7) & 0xFF);
            hex += digits[bytes[k] >> 4];
            hex += digits[bytes[k] & 15];
        }
        ole_variant data;
        data.attach_binary(bytes);
        cells[2] = {data, hex};
        for (size_t c = 0; c < cells.size(); ++c)
            if (is_null(i, c))
                cells[c] = {ole_variant(), "\\N"};
    }
};

// the rows are drawn from a pool of this many generated rows, each with a key of its own:
// building the records stays out of the time measured, and the pool's memory is the same
// for every row count
constexpr long k_pool = 1009;

long pool_row(long i)
{
    return i % k_pool + 1;
}

figures load_with_writer(pgs_engine& engine, const std::string& database, const shape& s, long rows)
{
    std::unique_ptr<pgs_database> db = engine.open_db(tk_from_utf8(database));
    const std::unique_ptr<udb_schema> fields = s.fields();
    std::unique_ptr<udb_recordset> rs = db->create_table(L"public.ours", *fields, udb_indexes());
    auto& writer = static_cast<pgs_recordset&>(*rs);
    std::vector<std::unique_ptr<udb_record>> pool;
    std::vector<cell> cells;
    for (long k = 1; k <= k_pool; ++k) {
        s.row(k, cells);
        auto record = std::make_unique<udb_record>();
        for (size_t c = 0; c < cells.size(); ++c)
            record->add_field(std::make_unique<udb_field>(fields->fields[c]->name, 0,
                                                          cells[c].value, false, false));
        pool.push_back(std::move(record));
    }
    reset_peak_rss();
    figures f;
    const auto start = clock_type::now();
    for (long i = 1; i <= rows; ++i) {
        udb_record& record = *pool[size_t(pool_row(i) - 1)];
        static_cast<ole_variant&>(*record.fields[0]) = ole_variant(int(i));
        writer.append_record(record);
    }
    writer.complete();
    f.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    f.peak_kib = peak_rss_kib();
    return f;
}

figures load_with_psql(const std::string& conn_string, const std::string& file)
{
    const std::string command = "\\copy theirs FROM '" + file + "'";
    figures f;
    const auto start = clock_type::now();
    const pid_t child = fork();
    if (child == 0) {
        execlp("psql", "psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", conn_string.c_str(), "-c",
               command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    f.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    f.peak_kib = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "psql failed\n");
        std::exit(1);
    }
    return f;
}

void print(const char* what, long rows, const figures& f)
{
    std::printf("  %-7s %10.0f rows/s  %7.2f s  peak RSS %7.1f MiB\n", what, rows / f.seconds,
                f.seconds, f.peak_kib / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<long> sizes;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--shape=", 0) == 0)
            only = arg.substr(8);
        else
            sizes.push_back(std::strtol(argv[i], nullptr, 10));
    }
    if (sizes.empty())
        sizes = {100000, 1000000};

    const test_pg_server& server = test_pg_server::get();
    auto engine = std::make_unique<pgs_engine>();
    engine->connect(server.host, server.user, server.password, "", std::stoi(server.port));
    const narrow_shape narrow;
    const wide_shape wide;
    const std::string file = "/tmp/pgs_write_bench." + std::to_string(getpid()) + ".copy";

    for (const shape* s : {static_cast<const shape*>(&narrow), static_cast<const shape*>(&wide)}) {
        if (!only.empty() && only != s->name())
            continue;
        for (long rows : sizes) {
            test_pg_database db("bench");
            // psql's input, the same rows in COPY text
            {
                std::ofstream out(file, std::ios::binary);
                std::vector<cell> cells;
                std::string line;
                std::vector<std::string> pool;
                for (long k = 1; k <= k_pool; ++k) {
                    s->row(k, cells);
                    line.clear();
                    // the key comes first, from the row number
                    for (size_t c = 1; c < cells.size(); ++c)
                        line += "\t" + cells[c].text;
                    pool.push_back(line);
                }
                for (long i = 1; i <= rows; ++i)
                    out << i << pool[size_t(pool_row(i) - 1)] << '\n';
            }
            const figures ours = load_with_writer(*engine, db.name(), *s, rows);
            // the writer's connection goes before the database does
            engine->connect(server.host, server.user, server.password, "postgres",
                            std::stoi(server.port));
            db.exec("CREATE TABLE theirs (LIKE ours)");
            const figures psql = load_with_psql(db.conn_string(), file);
            std::remove(file.c_str());
            const std::string count = db.query_value("SELECT count(*) FROM ours");
            const std::string missing = db.query_value(
                "SELECT count(*) FROM (SELECT * FROM theirs EXCEPT ALL SELECT * FROM ours) d");
            const std::string extra = db.query_value(
                "SELECT count(*) FROM (SELECT * FROM ours EXCEPT ALL SELECT * FROM theirs) d");
            if (count != std::to_string(rows) || missing != "0" || extra != "0") {
                std::fprintf(stderr, "%s, %ld rows: loaded %s, %s missing, %s extra\n", s->name(),
                             rows, count.c_str(), missing.c_str(), extra.c_str());
                return 1;
            }
            std::printf("%s, %ld rows (same rows in both tables)\n", s->name(), rows);
            print("writer", rows, ours);
            print("psql", rows, psql);
            std::printf("  writer/psql throughput %.2f\n",
                        (rows / ours.seconds) / (rows / psql.seconds));
            std::fflush(stdout);
        }
    }
    return 0;
}
