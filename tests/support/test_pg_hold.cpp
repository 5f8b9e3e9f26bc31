#include "test_pg_hold.hpp"

#include "test_pg.hpp"
#include "test_wait.hpp"

#include <pqxx/pqxx>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// how long a hold may last: the test's own waits while it is held are below that
constexpr std::chrono::seconds k_hold_limit = 2 * test_deadline;

// the advisory lock key of row holds (plus their number); advisory locks are per database
constexpr long k_row_key = 734511;

} // namespace

struct test_pg_hold::impl {
    impl(const test_pg_database& db, std::string waiting_sql)
        : connection(db.conn_string()), waiting_sql(std::move(waiting_sql))
    {
    }

    void start_watchdog()
    {
        watchdog = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!released_cv.wait_for(lock, k_hold_limit, [this] { return released; }))
                test_give_up("the test's release of a hold, counted from when it was made",
                             k_hold_limit);
        });
    }

    pqxx::connection connection;
    std::unique_ptr<pqxx::work> tx;     // the table's lock lives in it
    std::string waiting_sql;
    std::string release_sql;
    mutable std::mutex mutex;
    std::condition_variable released_cv;
    bool released = false;
    std::thread watchdog;
};

test_pg_hold::test_pg_hold(std::unique_ptr<impl> p) : m(std::move(p))
{
    m->start_watchdog();
}

std::unique_ptr<test_pg_hold> test_pg_hold::table(const test_pg_database& db,
                                                  const std::string& table)
{
    auto p = std::make_unique<impl>(db, std::string());
    p->tx = std::make_unique<pqxx::work>(p->connection);
    const std::string oid = p->tx->exec1("SELECT " + p->tx->quote(table) + "::regclass::oid")[0]
                                .c_str();
    p->tx->exec("LOCK TABLE " + p->tx->quote_name(table) + " IN ACCESS EXCLUSIVE MODE");
    p->waiting_sql = "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_locks WHERE locktype = "
                     "'relation' AND relation = " + oid + " AND NOT granted)";
    return std::unique_ptr<test_pg_hold>(new test_pg_hold(std::move(p)));
}

std::unique_ptr<test_pg_hold> test_pg_hold::rows(const test_pg_database& db, int point)
{
    // the cursor's statements are FETCHes; the row count and the column probe are not
    const std::string base = std::to_string(k_row_key);
    db.exec("CREATE OR REPLACE FUNCTION public.test_hold(point integer) RETURNS boolean "
            "LANGUAGE plpgsql VOLATILE AS $$ BEGIN "
            "IF pg_catalog.strpos(pg_catalog.current_query(), 'FETCH') > 0 THEN "
            "PERFORM pg_catalog.pg_advisory_lock_shared(" + base + " + point); "
            "PERFORM pg_catalog.pg_advisory_unlock_shared(" + base + " + point); END IF; "
            "RETURN true; END $$");
    const std::string key = std::to_string(k_row_key + point);
    auto p = std::make_unique<impl>(
        db, "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_locks WHERE locktype = 'advisory' AND "
            "objid = " + key + " AND NOT granted AND database = "
            "(SELECT oid FROM pg_catalog.pg_database WHERE datname = current_database()))");
    pqxx::nontransaction(p->connection).exec("SELECT pg_advisory_lock(" + key + ")");
    p->release_sql = "SELECT pg_advisory_unlock(" + key + ")";
    return std::unique_ptr<test_pg_hold>(new test_pg_hold(std::move(p)));
}

std::string test_pg_hold::row_filter(const std::string& condition, int point)
{
    return "CASE WHEN " + condition + " THEN public.test_hold(" + std::to_string(point)
           + ") ELSE true END";
}

test_pg_hold::~test_pg_hold()
{
    try {
        release();
    } catch (const std::exception&) {
        // the connection goes below, and its locks with it
    }
    {
        std::lock_guard<std::mutex> lock(m->mutex);
        m->released = true;
    }
    m->released_cv.notify_all();
    m->watchdog.join();
}

bool test_pg_hold::reached() const
{
    std::lock_guard<std::mutex> lock(m->mutex);
    if (m->released)
        return false;
    const pqxx::result r = m->tx ? m->tx->exec(m->waiting_sql)
                                 : pqxx::nontransaction(m->connection).exec(m->waiting_sql);
    return r[0][0].as<bool>();
}

void test_pg_hold::wait_reached() const
{
    test_wait_until([this] { return reached(); }, "a conversion waiting at the test's hold");
}

void test_pg_hold::exec(const std::string& sql)
{
    std::lock_guard<std::mutex> lock(m->mutex);
    if (!m->tx)
        throw std::logic_error("only a table's hold runs statements, and only until released");
    m->tx->exec(sql);
}

void test_pg_hold::release()
{
    {
        std::lock_guard<std::mutex> lock(m->mutex);
        if (m->released)
            return;
        if (m->tx) {
            m->tx->commit();
            m->tx.reset();
        } else {
            pqxx::nontransaction(m->connection).exec(m->release_sql);
        }
        m->released = true;
    }
    m->released_cv.notify_all();
}
