#include "tarnova_convertor.hpp"

#include "ora_db.hpp"
#include "pgs_engine.hpp"
#include "setting_values.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_db.hpp"
#include "udb_prof.hpp"

#include <memory>

namespace {

const char registry_path[] = "Software\\Varnholt\\Quilmot";
const wchar_t generic_section[] = L"Generic settings";
const wchar_t oracle_section[] = L"Oracle settings";

// the conversion options of a first start: what a load gives where the registry has none
constexpr uint32_t first_start_mode = udb_mode_merge;
constexpr bool first_start_tab_def = false;
constexpr bool first_start_skip_idx = false;
constexpr bool first_start_uppercase = true;
// "view_owned" decides the schema flags; "no_schema" is read before it
constexpr bool first_start_no_schema = true;

} // namespace

tarnova_convertor::tarnova_convertor(program variant) : m_key(registry_path), m_program(variant)
{
    tk_trace(2, "tarnova_convertor::ctor");
    if (m_program == program::console) {
        uppercase = false;
        m_pgs.engine().set_view_owned(false);
        return;
    }
    serialize(false);
    m_pgs.engine().set_no_schema(m_pgs.engine().get_view_owned());
}

tarnova_convertor::~tarnova_convertor() noexcept
{
    tk_trace(2, "tarnova_convertor::dtor");
    if (m_program == program::wizard && m_save_at_end) {
        try {
            serialize(true);
        } catch (const std::exception& e) {
            tk_trace(2, "Cannot save the settings: %s", e.what());
        }
    }
    m_key.close();
}

void tarnova_convertor::run()
{
    (*this)();
}

bool tarnova_convertor::test_query(const std::wstring&)
{
    tk_trace(2, "pgs_converter_impl::test_query");
    return true;
}

udb_database& tarnova_convertor::destination() const
{
    ora_database* db = get_connected_database();
    if (!db)
        throw tk_exception("The Oracle database is not connected", tk_level_fail);
    return *db;
}

udb_database& tarnova_convertor::prepare_destination()
{
    udb_database& db = destination();
    get_connected_database()->upper_case = uppercase;
    return db;
}

std::unique_ptr<udb_database> tarnova_convertor::open_source()
{
    return m_pgs.engine().open_db(get_source_name(), L"", L"");
}

void tarnova_convertor::get_all_tables(std::vector<std::wstring>& tables)
{
    tk_trace(2, "tarnova_convertor::get_all_tables");
    const std::unique_ptr<pgs_database> source = m_pgs.engine().open_db(get_source_name());
    tables = source->tables;
}

bool tarnova_convertor::load_profile(const udb_profile& profile, std::wstring* refusal)
{
    tk_trace(2, "tarnova_convertor::load_profile");
    // checked before anything is applied: a refused profile changes no setting
    const std::wstring refused = profile_value_refusal(profile);
    if (!refused.empty()) {
        if (refusal)
            *refusal = refused;
        return false;
    }
    if (!udb_converter::load_profile(profile) || !m_pgs.load_profile(profile)
        || !oracle_converter_impl::load_profile(profile))
        return false;
    setting_flag(profile.get_value(oracle_section, L"uppercase"), uppercase);
    const std::wstring no_schema = profile.get_value(generic_section, L"no schema");
    bool schema_flag = m_pgs.engine().get_view_owned();
    if (!udb_prof_trim(no_schema).empty() && setting_flag(no_schema, schema_flag)) {
        tk_wtrace(1, L"set_pgs_view_owned(%ls)", no_schema.c_str());
        m_pgs.engine().set_no_schema(schema_flag);
        m_pgs.engine().set_view_owned(schema_flag);
    }
    return true;
}

bool tarnova_convertor::store_profile(udb_profile& profile) const
{
    if (!udb_converter::store_profile(profile) || !m_pgs.store_profile(profile)
        || !oracle_converter_impl::store_profile(profile))
        return false;
    const ora_database* connected = get_connected_database();
    const bool upper = connected ? connected->upper_case : uppercase;
    profile.set_value(oracle_section, L"uppercase", upper ? L"1" : L"0");
    profile.set_value(generic_section, L"no schema", m_pgs.engine().get_view_owned() ? L"1" : L"0");
    return true;
}

bool tarnova_convertor::load_profile_file(const std::wstring& path, std::wstring* refusal)
{
    udb_profile profile;
    // a file that does not read as a profile is not applied in part
    if (!profile.load(path))
        return false;
    return load_profile(profile, refusal);
}

bool tarnova_convertor::save_profile_file(const std::wstring& path, std::wstring* refusal) const
{
    udb_profile profile;
    if (!store_profile(profile))
        return false;
    const std::wstring refused = profile_store_refusal(profile);
    if (!refused.empty()) {
        if (refusal)
            *refusal = refused;
        return false;
    }
    int error = 0;
    if (profile.store(path, &error))
        return true;
    if (refusal && error != 0)
        *refusal = profile_write_refusal(path, error);
    return false;
}

bool tarnova_convertor::serialize(bool save)
{
    tk_trace(2, "serialize( %d )", save ? 1 : 0);
    if (m_key.open(tk_hkey_current_user, registry_path, nullptr, 0, tk_key_all_access, nullptr,
                   nullptr)
        != tk_reg_ok)
        return false;

    pgs_engine& engine = m_pgs.engine();
    std::wstring dest = get_dest_name();
    std::wstring src = get_source_name();
    bool schema_flag = engine.get_view_owned();
    bool result = true;
    auto exchange = [&](const char* name, auto& value, const auto& fallback) {
        if (!save)
            value = fallback;
        result = m_key.exchange(name, value, save) && result;
    };
    auto exchange_kept = [&](const char* name, auto& value) {
        result = m_key.exchange(name, value, save) && result;
    };
    uint32_t mode_value = static_cast<uint32_t>(mode);
    uint32_t port_value = static_cast<uint32_t>(m_pgs.port);

    exchange("convert_views", convert_views, true);
    exchange_kept("dest", dest);
    exchange("mode", mode_value, first_start_mode);
    exchange("no_schema", schema_flag, false);
    exchange_kept("oracleh", host);
    exchange_kept("oraclep", password);
    exchange_kept("oracleu", user);
    exchange("oraport", port, std::wstring(L"1521"));
    exchange_kept("pgshost", m_pgs.host);
    exchange_kept("pgspswd", m_pgs.password);
    exchange("pgsport", port_value, uint32_t(0));
    exchange_kept("pgsuser", m_pgs.user);
    exchange("skip_idx", skip_idx, first_start_skip_idx);
    exchange_kept("src", src);
    exchange("tab_def", tab_def, first_start_tab_def);
    exchange("uppercase", uppercase, first_start_uppercase);
    exchange("view_owned", schema_flag, first_start_no_schema);

    if (!save) {
        set_dest_name(dest);
        set_source_name(src);
        mode = static_cast<int>(mode_value);
        m_pgs.port = static_cast<int>(port_value);
        engine.set_view_owned(schema_flag);
    }
    m_key.close();
    return result;
}

void tarnova_convertor::use_first_start_options()
{
    mode = static_cast<int>(first_start_mode);
    tab_def = first_start_tab_def;
    skip_idx = first_start_skip_idx;
    uppercase = first_start_uppercase;
    m_pgs.engine().set_no_schema(first_start_no_schema);
    m_pgs.engine().set_view_owned(first_start_no_schema);
}

void tarnova_convertor::log_off_before_exit() noexcept
{
    if (!has_instance())
        return;
    try {
        instance().log_off_oracle();
    } catch (...) {
        // the process ends anyway; nothing is left to report to
    }
}
