#pragma once

// internal to the postgresql engine: the only header besides the sources that
// includes libpqxx

#include "pgs_except.hpp"

#include <pqxx/pqxx>

#include <string>

// every catalogue query runs in one of these; it ends without commit (abort)
using pgs_read_transaction = pqxx::transaction<pqxx::read_committed>;

// for the rest of the transaction functions, operators and types come from the catalogue
// whatever the database's search_path: who may create a function there must not steer
// what the reader's own statements return. a user's query runs before this, on the
// database's own path
inline void pgs_pin_catalog(pqxx::transaction_base& tx)
{
    tx.exec("SET LOCAL search_path = pg_catalog, pg_temp");
}

// the one place where client-library errors become pgs_exception
template <class F>
decltype(auto) pgs_guard(const std::string& prefix, F&& work)
{
    try {
        return work();
    } catch (const pqxx::pqxx_exception& e) {
        const auto* server = dynamic_cast<const pqxx::sql_error*>(&e.base());
        throw pgs_exception(prefix + e.base().what(),
                            server ? pgs_error_kind(server->sqlstate()) : tk_error_kind::database);
    }
}
