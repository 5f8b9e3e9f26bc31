#include "pgs_engine.hpp"

#include "pgs_copy.hpp"
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

} // namespace

pgs_engine::pgs_engine()
{
    tk_trace(2, "pgs_engine::ctor");
}

pgs_engine::~pgs_engine()
{
    tk_trace(2, "pgs_engine::dtor");
}

void pgs_engine::set_load_failure_report(std::function<void(const tk_exception&)> report)
{
    pgs_set_load_failure_report(std::move(report));
}

std::string pgs_engine::make_options(const std::string& host, const std::string& user,
                                     const std::string& password, const std::string& database,
                                     int port, int timeout)
{
    std::string options = "user=" + option_value(user) + " password=" + option_value(password);
    if (!host.empty())
        options += " host=" + option_value(host);
    if (!database.empty())
        options += " dbname=" + option_value(database);
    if (port != 0)
        options += " port=" + option_value(std::to_string(port));
    // an address that takes the connection but never answers must not hold the run
    return options + " connect_timeout=" + option_value(std::to_string(timeout));
}

void pgs_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, const std::string& database, int port)
{
    // never the password
    tk_trace(2, "pgs_engine::connect(%s,%s,%d)", host.c_str(), user.c_str(), port);
    tk_trace(1, "database=%s", database.c_str());
    // a reader's transaction would outlive its connection
    if (m_session.has_open_reads())
        throw tk_mail_assertion("pgs_engine.cpp", __LINE__);
    m_user = user;
    m_password = password;
    // host and port as given, empty and 0 included: a local server chosen after a
    // remote one must not keep the remote address for the databases opened later
    m_host = host;
    m_port = port;
    if (!database.empty())
        m_database = database;
    const auto start = std::chrono::steady_clock::now();
    try {
        m_session.connect(make_options(host, user, password, database, port));
    } catch (const pgs_exception&) {
        if (!database.empty() || !connect_without_own_database(host, user, password, port, start))
            throw;
    }
}

bool pgs_engine::connect_without_own_database(const std::string& host, const std::string& user,
                                              const std::string& password, int port,
                                              std::chrono::steady_clock::time_point start)
{
    // without a database libpq asks for the one named like the user. a user without one
    // still reaches the server through the database every server has. which failure it
    // was the server says only in its own language: the server is asked instead, and any
    // other failure stays the one reported
    const auto used = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - start);
    // both attempts keep within the one time-out (libpq waits at least 2 seconds): an
    // address that never answered has used it up
    const int left = k_connect_timeout - int(used.count());
    if (left < 2)
        return false;
    try {
        return m_session.connect(
            make_options(host, user, password, "postgres", port, left),
            [](pqxx::connection_base& c) {
                pqxx::nontransaction tx(c, "own_database");
                if (!tx.exec("SELECT 1 FROM pg_catalog.pg_database WHERE datname = session_user")
                         .empty())
                    return false;
                tk_trace(1, "No database of the user's name: using postgres");
                return true;
            });
    } catch (const pgs_exception&) {
        return false;
    }
}

std::unique_ptr<pgs_database> pgs_engine::open_db(const std::wstring& name, const std::wstring& text1,
                                  const std::wstring& text2)
{
    tk_wtrace(1, L"pgs_engine::open_db(%ls,%ls,%ls)", name.c_str(), text1.c_str(), text2.c_str());
    connect(m_host, m_user, m_password, tk_to_utf8(name), m_port);
    return std::make_unique<pgs_database>(m_session, name, m_no_schema);
}

std::vector<std::wstring> pgs_engine::get_contents()
{
    tk_trace(2, "pgs_engine::get_contents");
    return pgs_guard("", [&] {
        pgs_read_transaction tx(m_session.connection(), "get_contents");
        pgs_pin_catalog(tx);
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
        pgs_read_transaction tx(m_session.connection(), "get_contents");
        pgs_pin_catalog(tx);
        const pqxx::result rows =
            tx.exec("SELECT datname FROM pg_database WHERE datistemplate = false and datname = " +
                    m_session.literal(name));
        return !rows.empty();
    });
}
