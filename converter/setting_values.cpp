#include "setting_values.hpp"

#include "tk_utils.hpp"
#include "udb_prof.hpp"

namespace {

enum class value_form { flag, mode };

struct checked_key {
    const wchar_t* section;
    const wchar_t* key;
    value_form form;
};

const checked_key checked_keys[] = {
    {L"Generic settings", L"mode", value_form::mode},
    {L"Generic settings", L"no schema", value_form::flag},
    {L"Generic settings", L"only definitions", value_form::flag},
    {L"Generic settings", L"skip indexes", value_form::flag},
    {L"Oracle settings", L"uppercase", value_form::flag},
};

} // namespace

bool setting_flag(const std::wstring& value, bool& flag)
{
    const std::wstring text = tk_trim(value);
    if (text.empty())
        return true;
    if (text != L"0" && text != L"1")
        return false;
    flag = text == L"1";
    return true;
}

bool setting_mode(const std::wstring& value, int& mode)
{
    const std::wstring text = tk_trim(value);
    if (text.empty())
        return true;
    if (text.size() != 1 || text[0] < L'0' || text[0] > L'9')
        return false;
    mode = text[0] - L'0';
    return true;
}

bool setting_pgs_port(const std::string& text, int& port)
{
    if (text.empty()) {
        port = 0;
        return true;
    }
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return false;
    }
    if (value == 0)
        return false;
    port = static_cast<int>(value);
    return true;
}

bool setting_oracle_port(const std::wstring& text)
{
    int port = 0;
    return setting_pgs_port(tk_to_utf8(text), port);
}

std::wstring profile_value_refusal(const udb_profile& profile)
{
    if (!profile.get_conflict().empty())
        return profile.get_conflict();
    for (const checked_key& k : checked_keys) {
        const std::wstring value = profile.get_value(k.section, k.key);
        bool flag = false;
        int mode = 0;
        const bool reads = k.form == value_form::flag ? setting_flag(value, flag)
                                                      : setting_mode(value, mode);
        if (reads)
            continue;
        // the value as read, but never able to break the line it is shown on
        return L"Invalid profile value '" + tk_escape_controls(value, true) + L"' for the key '"
               + k.key + L"': it must be "
               + (k.form == value_form::flag ? L"0 or 1" : L"one digit")
               + L". Please verify the profile.";
    }
    return std::wstring();
}

std::wstring profile_store_refusal(const udb_profile& profile)
{
    const udb_profile::refusal problem = profile.store_refusal();
    if (problem.reason == udb_profile::refusal::none)
        return std::wstring();
    // the key and its section, never the value: it may be a password
    const std::wstring entry = L"'" + tk_escape_controls(problem.key, true) + L"' in ["
                               + tk_escape_controls(problem.section, true) + L"]";
    const std::wstring start = L"Profile cannot be saved: ";
    switch (problem.reason) {
    case udb_profile::refusal::trailing_blank:
        return start + L"the value of " + entry
               + L" ends in a blank, and profile lines lose their trailing blanks when they are "
                 L"read."
               + (problem.key == L"password"
                      ? L" A password that ends in a blank can be typed into the wizard's page "
                        L"instead of being kept in a profile."
                      : L" Please verify the value.");
    case udb_profile::refusal::line_break:
        return start + L"the value of " + entry + L" holds a line break, which a profile line "
                                                  L"cannot hold.";
    case udb_profile::refusal::too_long:
        return start + L"the line of " + entry
               + L" would be longer than the 4095 bytes a profile line may hold.";
    default:
        return start + L"the entry " + entry + L" would not read back from its profile line as "
                                               L"it is.";
    }
}

std::wstring profile_write_refusal(const std::wstring& path, int error)
{
    return L"Profile '" + tk_escape_controls(path, false) + L"' cannot be saved: "
           + tk_to_unicode(tk_error_text(error))
           + L". Please verify the path and that the file may be written.";
}
