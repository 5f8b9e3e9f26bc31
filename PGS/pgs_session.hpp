#pragma once

#include <functional>
#include <memory>
#include <string>

namespace pqxx {
class connection_base;
class dbtransaction;
}

// the single connection to the postgresql server and what needs it to write sql
// text; owned by the engine, handed by reference to what the engine creates
class pgs_session {
public:
    pgs_session();
    ~pgs_session();
    pgs_session(const pgs_session&) = delete;
    pgs_session& operator=(const pgs_session&) = delete;

    // a fresh connection from a libpq option string replaces the current one; a
    // failure keeps the current one, and so does a fresh one that accept refuses
    // (false is returned then)
    bool connect(const std::string& options,
                 const std::function<bool(pqxx::connection_base&)>& accept = nullptr);

    // a connection the server ended (or a restart took) is made again with the options of
    // the last one, before the next table is read: the tables after a loss are converted.
    // nothing is done while a read is open. a failure says the connection was lost
    void reconnect_if_lost();

    // the established connection; none is an internal error
    pqxx::connection_base& connection();
    bool is_connected() const { return m_connection != nullptr; }

    // rows being read through the connection: while any are, it must not be replaced
    void add_open_read(int delta) { m_open_reads += delta; }
    bool has_open_reads() const { return m_open_reads != 0; }

    // the transaction of the table or query being read, null when none is open: the
    // connection takes one transaction at a time, so other reads run inside it
    void set_snapshot(pqxx::dbtransaction* snapshot) { m_snapshot = snapshot; }
    pqxx::dbtransaction* snapshot() const { return m_snapshot; }

    // the search_path a table's count and rows are planned on: the session's own, with the
    // catalogue first and temporary objects last (a text for SET)
    const std::string& plan_path() const { return m_plan_path; }

    // a string literal and an identifier for sql text, both from utf-16, escaped by
    // the library for the connection
    std::string literal(const std::wstring& text);
    std::string identifier(const std::wstring& name);
    // "schema"."table", or "table" alone when the schema is empty
    std::string qualified_name(const std::wstring& schema, const std::wstring& table);

private:
    struct connection_deleter {
        void operator()(pqxx::connection_base* connection) const;
    };

    static std::unique_ptr<pqxx::connection_base, connection_deleter>
    open_connection(const std::string& options);
    // the settings every reading session has
    static void set_up(pqxx::connection_base& connection);

    std::unique_ptr<pqxx::connection_base, connection_deleter> m_connection;
    std::string m_options;   // of the connection made last
    int m_open_reads = 0;
    pqxx::dbtransaction* m_snapshot = nullptr;
    std::string m_plan_path;
};
