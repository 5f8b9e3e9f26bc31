#include "oracle_converter_impl.hpp"

#include "ora_db.hpp"
#include "ora_engi.hpp"
#include "tk_log.hpp"
#include "udb_prof.hpp"

#include <cctype>

namespace {
const wchar_t oracle_section[] = L"Oracle settings";
}

oracle_converter_impl::oracle_converter_impl() : m_engine(std::make_unique<ora_engine>())
{
    tk_trace(2, "oracle_converter_impl::ctor");
}

oracle_converter_impl::~oracle_converter_impl()
{
    tk_trace(2, "oracle_converter_impl::dtor");
    m_database.reset();
    m_engine.reset();
}

ora_engine& oracle_converter_impl::engine()
{
    // the engine is gone only after log_off_oracle; a later connect starts a new one
    if (!m_engine)
        m_engine = std::make_unique<ora_engine>();
    return *m_engine;
}

void oracle_converter_impl::store_oracle_settings(const std::wstring& new_host,
                                                  const std::wstring& new_user,
                                                  const std::wstring& new_password,
                                                  const std::wstring& new_port)
{
    // never the password: the trace is a file anyone may be sent
    tk_wtrace(2, L"oracle_converter_impl::store_oracle_settings(%ls,%ls,%ls)", new_host.c_str(),
              new_user.c_str(), new_port.c_str());
    host = new_host;
    user = new_user;
    password = new_password;
    port = new_port;
}

void oracle_converter_impl::connect_oracle_server(const std::wstring& name)
{
    tk_wtrace(2, L"oracle_converter_impl::connect_oracle_server(%ls)", name.c_str());
    m_database.reset();
    if (port.empty())
        port = L"1521";
    m_database = engine().open_db(host, user, password, port, name);
    db_name = name;
}

void oracle_converter_impl::log_off_oracle()
{
    m_database.reset();
    if (!m_engine)
        return;
    // the log-off commits what the session left open: its failure is raised, not left to
    // the engine's destructor, which can only trace it, and says what it may have cost
    std::unique_ptr<ora_engine> engine = std::move(m_engine);
    try {
        engine->logoff();
    } catch (const tk_exception& e) {
        if (e.get_level() != 0)
            throw;
        std::string reason = e.what();
        while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back())))
            reason.pop_back();
        throw tk_exception("Logging off Oracle failed (" + reason
                               + "): every row written, inserted or updated, had been"
                                 " committed with its large objects",
                           0);
    }
}

bool oracle_converter_impl::load_profile(const udb_profile& profile)
{
    tk_trace(2, "oracle_converter_impl::load_profile");
    const std::pair<const wchar_t*, std::wstring*> keys[] = {
        {L"host", &host}, {L"password", &password}, {L"port", &port}, {L"user", &user}};
    for (const auto& [key, field] : keys) {
        std::wstring value = profile.get_value(oracle_section, key);
        if (!value.empty())
            *field = std::move(value);
    }
    return true;
}

bool oracle_converter_impl::store_profile(udb_profile& profile) const
{
    tk_trace(2, "oracle_converter_impl::store_profile");
    const std::pair<const wchar_t*, const std::wstring*> keys[] = {
        {L"host", &host}, {L"password", &password}, {L"port", &port}, {L"user", &user}};
    for (const auto& [key, field] : keys)
        if (!field->empty())
            profile.set_value(oracle_section, key, *field);
    return true;
}
