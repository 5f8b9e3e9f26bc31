#include "pgs_session.hpp"

#include "pgs_impl.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

// a connection of libpqxx 6.4 is active once constructed; the explicit call
// stays in this one place
void activate(pqxx::connection_base& connection)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    connection.activate();
#pragma GCC diagnostic pop
}

} // namespace

std::unique_ptr<pqxx::connection_base, pgs_session::connection_deleter>
pgs_session::open_connection(const std::string& options)
{
    try {
        return std::unique_ptr<pqxx::connection_base, connection_deleter>(
            new pqxx::connection(options));
    } catch (const pqxx::broken_connection& e) {
        // a connection that was never made is not a lost one: the client library's text
        throw pgs_exception(e.what());
    }
}

void pgs_session::connection_deleter::operator()(pqxx::connection_base* connection) const
{
    delete static_cast<pqxx::connection*>(connection);
}

pgs_session::pgs_session() = default;

pgs_session::~pgs_session() = default;

void pgs_session::set_up(pqxx::connection_base& connection)
{
    connection.set_client_encoding("UTF8");
    activate(connection);
    // floating-point text that reads back to the same value
    connection.set_variable("extra_float_digits", "3");
    // the text forms of a fresh cluster, whatever the database or the user set: under
    // another style a date, an interval or bytes inside an array or a composite value
    // would arrive as another text (servers before 8.4 and 9.0 lack the last two). the
    // output style alone: the field order the session has (DMY, MDY, YMD) says how a
    // query's literal such as '04/11/2018' reads, as it does in psql
    connection.set_variable("DateStyle", "'ISO'");
    if (connection.server_version() >= 80400)
        connection.set_variable("IntervalStyle", "postgres");
    if (connection.server_version() >= 90000)
        connection.set_variable("bytea_output", "hex");
    // a row-level security policy would hide rows from a read that then looks
    // complete: with it off such a read fails instead (servers before 9.5 have
    // no policies and no such setting)
    if (connection.server_version() >= 90500)
        connection.set_variable("row_security", "off");
}

bool pgs_session::connect(const std::string& options,
                          const std::function<bool(pqxx::connection_base&)>& accept)
{
    return pgs_guard("", [&] {
        // a failure here keeps the current connection
        std::unique_ptr<pqxx::connection_base, connection_deleter> fresh
            = open_connection(options);
        if (accept && !accept(*fresh))
            return false;
        tk_trace(3, "Connecting to PostgreSQL server...");
        // set up whole before it replaces the current one: a session without its settings
        // would give other texts for the same values
        std::string plan_path;
        pgs_guard("Cannot set up the session on the PostgreSQL server: ", [&] {
            set_up(*fresh);
            // planning a table inlines the sql functions of its indexes, index predicates and
            // statistics, whose bodies name what the path the database gives its users finds
            // (an extension's type, the user's own function): the session's own path, with
            // every built-in name first. an empty path shows as ""
            const std::string own = fresh->get_variable("search_path");
            plan_path = "pg_catalog, " + (own.empty() || own == "\"\"" ? "" : own + ", ") + "pg_temp";
        });
        m_connection = std::move(fresh);
        m_options = options;
        m_plan_path = plan_path;
        tk_trace(1, "The connection has been established");
        return true;
    });
}

void pgs_session::reconnect_if_lost()
{
    if (!m_connection || m_connection->is_open() || has_open_reads() || m_snapshot)
        return;
    tk_trace(2, "pgs_session::reconnect_if_lost");
    try {
        connect(m_options);
    } catch (const pgs_exception& e) {
        throw pgs_exception(pgs_lost_connection_text(e.what()));
    }
}

pqxx::connection_base& pgs_session::connection()
{
    if (!m_connection)
        throw tk_mail_assertion("pgs_session.cpp", __LINE__);
    return *m_connection;
}

std::string pgs_session::literal(const std::wstring& text)
{
    return connection().quote(tk_to_utf8(text));
}

std::string pgs_session::identifier(const std::wstring& name)
{
    return connection().quote_name(tk_to_utf8(name));
}

std::string pgs_session::qualified_name(const std::wstring& schema, const std::wstring& table)
{
    if (schema.empty())
        return identifier(table);
    return identifier(schema) + "." + identifier(table);
}
