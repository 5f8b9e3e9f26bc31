#pragma once

#include <memory>
#include <string>

class test_pg_database;

// a point where a conversion waits until the test lets it go, held from a session of its
// own: the test sees the run there however fast rows convert. released on release() or
// destruction; a hold kept past twice the test deadline fails the test instead of hanging it
class test_pg_hold {
public:
    // the whole table (LOCK TABLE ... IN ACCESS EXCLUSIVE MODE): a reader waits at its first
    // statement that touches the rows
    static std::unique_ptr<test_pg_hold> table(const test_pg_database& db,
                                               const std::string& table);
    // the rows of a query for which `condition` holds: a cursor reading them waits at the
    // first such row (the row count, which reads them too, does not). put row_filter() in
    // the query's WHERE clause. holds of other numbers (`point`) are held and let go apart
    static std::unique_ptr<test_pg_hold> rows(const test_pg_database& db, int point = 0);
    static std::string row_filter(const std::string& condition, int point = 0);

    ~test_pg_hold();
    test_pg_hold(const test_pg_hold&) = delete;
    test_pg_hold& operator=(const test_pg_hold&) = delete;

    // another session waits for this hold now
    bool reached() const;
    // waits until reached(); a missed deadline fails the test
    void wait_reached() const;
    void release();
    // a statement in the transaction of a table's hold, committed with it on release(): the
    // change a session that already holds the table makes while others wait for it
    void exec(const std::string& sql);

private:
    struct impl;
    explicit test_pg_hold(std::unique_ptr<impl> p);
    std::unique_ptr<impl> m;
};
