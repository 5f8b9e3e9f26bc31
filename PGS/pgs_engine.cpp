#include "pgs_engine.hpp"

#include "pgs_db.hpp"
#include "pgs_impl.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

// single quotes with backslash and quote escaped: libpq reads the value whole
std::string option_value(const std::string& value)
{
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\\' || c == '\'')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

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

void pgs_engine::connection_deleter::operator()(pqxx::connection_base* connection) const
{
    delete static_cast<pqxx::connection*>(connection);
}

pgs_engine::pgs_engine()
{
    tk_trace(2, "pgs_engine::ctor");
}

pgs_engine::~pgs_engine()
{
    tk_trace(2, "pgs_engine::dtor");
}

std::string pgs_engine::make_options(const std::string& host, const std::string& user,
                                     const std::string& password, const std::string& database,
                                     int port)
{
    std::string options = "user=" + option_value(user) + " password=" + option_value(password);
    if (!host.empty())
        options += " host=" + option_value(host);
    if (!database.empty())
        options += " dbname=" + option_value(database);
    if (port != 0)
        options += " port=" + option_value(std::to_string(port));
    // an address that takes the connection but never answers must not hold the run
    return options + " connect_timeout=" + option_value(std::to_string(k_connect_timeout));
}

void pgs_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, const std::string& database, int port)
{
    tk_trace(2, "pgs_engine::connect(%s,%s,%s,%d)", host.c_str(), user.c_str(), password.c_str(),
             port);
    tk_trace(1, "database=%s", database.c_str());
    // a reader's transaction would outlive its connection
    if (m_open_reads != 0)
        throw tk_mail_assertion("pgs_engine.cpp", __LINE__);
    m_user = user;
    m_password = password;
    if (!host.empty())
        m_host = host;
    if (!database.empty())
        m_database = database;
    if (port != 0)
        m_port = port;
    pgs_guard("", [&] {
        // a failure here keeps the current connection
        std::unique_ptr<pqxx::connection_base, connection_deleter> fresh;
        try {
            fresh.reset(new pqxx::connection(make_options(host, user, password, database, port)));
        } catch (const pqxx::broken_connection& e) {
            // without a database libpq asks for the one named like the user: a user
            // without one still reaches the server through the database every server has
            const std::string missing = "database \"" + user + "\" does not exist";
            if (!database.empty() || std::string(e.what()).find(missing) == std::string::npos)
                throw;
            tk_trace(1, "No database of the user's name: trying postgres");
            fresh.reset(new pqxx::connection(make_options(host, user, password, "postgres", port)));
        }
        m_connection = std::move(fresh);
        tk_trace(3, "Connecting to PostgreSQL server...");
        m_connection->set_client_encoding("UTF8");
        activate(*m_connection);
        // floating-point text that reads back to the same value
        m_connection->set_variable("extra_float_digits", "3");
        // a row-level security policy would hide rows from a read that then looks
        // complete: with it off such a read fails instead (servers before 9.5 have
        // no policies and no such setting)
        if (m_connection->server_version() >= 90500)
            m_connection->set_variable("row_security", "off");
        tk_trace(1, "The connection has been established");
    });
}

std::unique_ptr<pgs_database> pgs_engine::open_db(const std::wstring& name, const std::wstring& text1,
                                  const std::wstring& text2)
{
    tk_wtrace(1, L"pgs_engine::open_db(%ls,%ls,%ls)", name.c_str(), text1.c_str(), text2.c_str());
    connect(m_host, m_user, m_password, tk_to_utf8(name), m_port);
    return std::make_unique<pgs_database>(name);
}

std::vector<std::wstring> pgs_engine::get_contents()
{
    tk_trace(2, "pgs_engine::get_contents");
    return pgs_guard("", [&] {
        pgs_read_transaction tx(get_connection(), "get_contents");
        const pqxx::result rows =
            tx.exec("SELECT datname FROM pg_database WHERE datistemplate = false");
        std::vector<std::wstring> names;
        for (const pqxx::row& row : rows)
            names.push_back(tk_to_unicode(row[0].c_str()));
        return names;
    });
}

bool pgs_engine::is_db_exist(const std::wstring& name)
{
    tk_wtrace(2, L"pgs_engine::is_db_exist(%ls)", name.c_str());
    return pgs_guard("", [&] {
        pgs_read_transaction tx(get_connection(), "get_contents");
        const pqxx::result rows =
            tx.exec("SELECT datname FROM pg_database WHERE datistemplate = false and datname = " +
                    pgs_literal(name));
        return !rows.empty();
    });
}

pqxx::connection_base& pgs_engine::get_connection()
{
    if (!m_connection)
        throw tk_mail_assertion("pgs_engine.cpp", __LINE__);
    return *m_connection;
}

pqxx::connection_base& pgs_connection()
{
    return pgs_engine::instance().get_connection();
}

std::string pgs_literal(const std::wstring& text)
{
    return pgs_connection().quote(tk_to_utf8(text));
}

std::string pgs_identifier(const std::wstring& name)
{
    return pgs_connection().quote_name(tk_to_utf8(name));
}

std::string pgs_qualified_name(const std::wstring& schema, const std::wstring& table)
{
    if (schema.empty())
        return pgs_identifier(table);
    return pgs_identifier(schema) + "." + pgs_identifier(table);
}
