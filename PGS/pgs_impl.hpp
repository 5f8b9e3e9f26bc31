#pragma once

// internal to the postgresql engine: the only header besides the sources that
// includes libpqxx

#include "pgs_except.hpp"
#include "pgs_session.hpp"

#include <pqxx/pqxx>

#include <string>

// every catalogue query runs in one of these; it ends without commit (abort)
using pgs_read_transaction = pqxx::transaction<pqxx::read_committed>;

// the columns, keys, count and rows of a table or a query, all from one snapshot (taken by
// its first statement that reads): a query is the user's text, which must not write into the
// source, not even through a function it calls
using pgs_source_transaction = pqxx::transaction<pqxx::repeatable_read, pqxx::read_only>;

// one statement alone: the extended protocol refuses a text holding several, whose
// COMMIT would end the read-only transaction and let the next ones write
inline pqxx::result pgs_exec_single(pqxx::transaction_base& tx, const std::string& sql)
{
    return tx.exec_params(sql);
}

// for the rest of the transaction functions, operators and types come from the catalogue
// whatever the database's search_path: who may create a function there must not steer
// what the reader's own statements return. a user's query runs before this, on the
// database's own path
inline void pgs_pin_catalog(pqxx::transaction_base& tx)
{
    tx.exec("SET LOCAL search_path = pg_catalog, pg_temp");
}

// for the rest of the transaction (until pinned again) the path the server plans a table on
// for its own users: its indexes and statistics call functions whose bodies resolve on it.
// pg_catalog comes first, and the statements run on it name everything of their own
// qualified; values are sent on the pinned path, which shapes their text (a regclass)
inline void pgs_plan_on_own_path(pqxx::transaction_base& tx, const pgs_session& session)
{
    tx.exec("SET LOCAL search_path = " + session.plan_path());
}

// a read of the engine's own: inside the transaction of a table being read when there is
// one (as a savepoint it rolls back, which also undoes what it set), else in a transaction
// of its own
template <class F>
decltype(auto) pgs_run_read(pgs_session& session, const std::string& name, F&& work)
{
    if (pqxx::dbtransaction* open = session.snapshot()) {
        pqxx::subtransaction inner(*open, name);
        return work(static_cast<pqxx::transaction_base&>(inner));
    }
    pgs_read_transaction tx(session.connection(), name);
    return work(static_cast<pqxx::transaction_base&>(tx));
}

// the one place where client-library errors become pgs_exception; prefix names the step
// the server's error came from. a connection the server ended is said to be lost,
// whatever step found it
template <class F>
decltype(auto) pgs_guard(const std::string& prefix, F&& work)
{
    try {
        return work();
    } catch (const pqxx::pqxx_exception& e) {
        const auto* server = dynamic_cast<const pqxx::sql_error*>(&e.base());
        if (dynamic_cast<const pqxx::broken_connection*>(&e.base()) ||
            (server && pgs_is_connection_lost(server->sqlstate())))
            throw pgs_exception(pgs_lost_connection_text(e.base().what()));
        throw pgs_exception(prefix + e.base().what(),
                            server ? pgs_error_kind(server->sqlstate()) : tk_error_kind::database);
    }
}
