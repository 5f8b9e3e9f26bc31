#include "udb_converter.hpp"

#include "setting_values.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <algorithm>

namespace {

const wchar_t selected_section[] = L"Selected Tables";
const wchar_t available_section[] = L"Available Queries";
const wchar_t generic_section[] = L"Generic settings";

} // namespace

std::wstring udb_one_line_query(const std::wstring& text)
{
    std::wstring line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
            line += L' ';
        } else {
            line += c;
        }
    }
    // a profile line cannot keep trailing blanks (reading trims them) and they mean
    // nothing to SQL: a query typed with a final line break must still save
    return udb_prof_trim_right(line);
}

udb_converter::udb_converter()
{
    tk_trace(2, "udb_converter::ctor");
}

udb_converter::~udb_converter() = default;

void udb_converter::set_mode(int new_mode)
{
    tk_trace(1, "udb_converter::set_mode(%d)", new_mode);
    mode = new_mode;
}

void udb_converter::clear_tables()
{
    selected.clear();
    queries.clear();
    available.clear();
}

std::wstring udb_converter::get_cur_table() const
{
    std::lock_guard<std::mutex> lock(m_cur_table_mutex);
    return m_cur_table;
}

void udb_converter::set_cur_table(const std::wstring& name)
{
    std::lock_guard<std::mutex> lock(m_cur_table_mutex);
    m_cur_table = name;
}

bool udb_converter::load_profile(const udb_profile& profile)
{
    tk_wtrace(1, L"udb_converter::load_profile");
    for (const auto& [name, text] : profile.get_selected_tables()) {
        queries.emplace(name, text);
        // a table in two loaded profiles is still one table of the run
        if (text.empty() && std::find(selected.begin(), selected.end(), name) == selected.end()) {
            tk_wtrace(1, L"Push back table '%ls'", name.c_str());
            selected.push_back(name);
        }
    }
    for (const auto& [name, text] : profile.get_available_queries())
        available.emplace(name, text);

    const std::wstring src = profile.get_value(generic_section, L"src");
    if (!src.empty())
        set_source_name(src);
    const std::wstring dest = profile.get_value(generic_section, L"dest");
    if (!dest.empty())
        set_dest_name(dest);
    const std::wstring logfile = profile.get_value(generic_section, L"logfile");
    if (!logfile.empty()) {
        // without a trace log (the wizard) the name is only kept, for a later save
        if (tk_log::has_instance())
            set_logfile(tk_to_ansi(logfile));
        else
            m_logfile = tk_to_ansi(logfile);
    }
    // a value that does not read leaves its setting as it is
    bool reads = setting_flag(profile.get_value(generic_section, L"only definitions"), tab_def);
    reads = setting_mode(profile.get_value(generic_section, L"mode"), mode) && reads;
    reads = setting_flag(profile.get_value(generic_section, L"skip indexes"), skip_idx) && reads;
    return reads;
}

bool udb_converter::store_profile(udb_profile& profile) const
{
    tk_wtrace(2, L"udb_converter::store_profile");
    for (const auto& [name, text] : available) {
        tk_wtrace(1, L"Available Query: (%ls,%ls)", name.c_str(), text.c_str());
        profile.set_value(available_section, name, udb_one_line_query(text));
    }
    for (const auto& [name, text] : queries) {
        tk_wtrace(1, L"Selected Query: (%ls,%ls)", name.c_str(), text.c_str());
        profile.set_value(selected_section, name, udb_one_line_query(text));
    }
    profile.set_value(generic_section, L"src", get_source_name());
    profile.set_value(generic_section, L"dest", get_dest_name());
    profile.set_value(generic_section, L"logfile", tk_to_unicode(get_logfile()));
    profile.set_value(generic_section, L"skip indexes", skip_idx ? L"1" : L"0");
    profile.set_value(generic_section, L"only definitions", tab_def ? L"1" : L"0");
    profile.set_value(generic_section, L"mode", std::wstring(1, static_cast<wchar_t>(L'0' + mode)));
    return true;
}
