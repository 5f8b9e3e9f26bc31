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
