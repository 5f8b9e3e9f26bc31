#pragma once

// internal to the postgresql engine: the only header besides the sources that
// includes libpqxx

#include "pgs_except.hpp"

#include <pqxx/pqxx>

#include <string>

// every catalogue query runs in one of these; it ends without commit (abort)
using pgs_read_transaction = pqxx::transaction<pqxx::read_committed>;

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
