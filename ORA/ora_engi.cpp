#include "ora_engi.hpp"

#include "ora_db.hpp"
#include "ora_stmt.hpp"
#include "tk_log.hpp"

ora_engine::ora_engine() : m_session(std::make_unique<ora_session>())
{
    tk_trace(2, "ora_engine::ctor");
}

ora_engine::~ora_engine()
{
    tk_trace(2, "ora_engine::dtor");
    m_session.reset();
}

void ora_engine::initialize()
{
    m_session->initialize();
}

bool ora_engine::is_initialized() const
{
    return m_session->is_initialized();
}

ora_handles& ora_engine::handles()
{
    return m_session->handles();
}

bool ora_engine::is_logged_on() const
{
    return m_session->is_logged_on();
}

std::wstring ora_engine::make_data_source(const std::wstring& host, const std::wstring& port,
                                          const std::wstring& db_name)
{
    if (host.empty() && port.empty())
        return db_name;
    return L"//" + (host.empty() ? std::wstring(L"localhost") : host) + L":" +
           (port.empty() ? std::wstring(L"1521") : port) + L"/" + db_name;
}

std::unique_ptr<ora_database> ora_engine::open_db(const std::wstring& host,
                                                  const std::wstring& user,
                                                  const std::wstring& password,
                                                  const std::wstring& port,
                                                  const std::wstring& db_name)
{
    // never the password
    tk_wtrace(2, L"ora_engine::open_db (%ls,%ls,%ls,%ls)", host.c_str(), user.c_str(),
              port.c_str(), db_name.c_str());
    return open_db(make_data_source(host, port, db_name), user, password);
}

void ora_engine::logoff()
{
    m_session->logoff();
}

std::unique_ptr<ora_database> ora_engine::open_db(const std::wstring& data_source,
                                                  const std::wstring& user,
                                                  const std::wstring& password)
{
    // never the password
    tk_wtrace(2, L"ora_engine::open_db( %ls, %ls )", data_source.c_str(), user.c_str());
    tk_wtrace(3, L"Connecting to Oracle data source '%ls'", data_source.c_str());

    m_session->logon(data_source, user, password);

    tk_trace(1, "The connection has been established");
    m_data_source = data_source;
    m_user = user;
    m_password = password;
    return std::make_unique<ora_database>(*m_session, data_source, 1);
}

int ora_engine::check_status(int status, const char* call)
{
    return m_session->check_status(status, call);
}

int ora_engine::get_records_cnt(const std::wstring& table)
{
    return get_records_cnt(table, false);
}

int ora_engine::get_records_cnt(const std::wstring& name, bool is_query)
{
    return ora_count_rows(*m_session, name, is_query);
}

unsigned ora_engine::parse_version(const std::string& banner)
{
    return ora_parse_version(banner);
}

unsigned ora_engine::get_version()
{
    return ora_server_version(*m_session);
}
