#include "pgs_converter_impl.hpp"

#include "pgs_engine.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

namespace {
const wchar_t pgs_section[] = L"pgs settings";
}

pgs_converter_impl::pgs_converter_impl() : m_engine(std::make_unique<pgs_engine>())
{
    tk_trace(2, "pgs_converter_impl::ctor");
}

pgs_converter_impl::~pgs_converter_impl() = default;

void pgs_converter_impl::connect_pgs_server(const std::string& database)
{
    tk_trace(1, "pgs_converter_impl::connect_pgs_server");
    m_engine->connect(host, user, password, database, port);
}

void pgs_converter_impl::store_pgs_settings(const std::string& new_host, const std::string& new_user,
                                            const std::string& new_password, int new_port)
{
    host = new_host;
    user = new_user;
    password = new_password;
    port = new_port;
}

bool pgs_converter_impl::load_profile(const udb_profile& profile)
{
    tk_trace(2, "pgs_converter_impl::load_profile");
    const std::pair<const wchar_t*, std::string*> keys[] = {
        {L"host", &host}, {L"user", &user}, {L"password", &password}};
    for (const auto& [key, field] : keys) {
        const std::wstring value = profile.get_value(pgs_section, key);
        if (!value.empty())
            *field = tk_to_utf8(value);
    }
    return true;
}

bool pgs_converter_impl::store_profile(udb_profile& profile) const
{
    tk_trace(2, "pgs_converter_impl::store_profile");
    const std::pair<const wchar_t*, const std::string*> keys[] = {
        {L"host", &host}, {L"user", &user}, {L"password", &password}};
    for (const auto& [key, field] : keys)
        if (!field->empty())
            profile.set_value(pgs_section, key, tk_to_unicode(*field));
    return true;
}
