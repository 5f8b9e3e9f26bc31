#include "setting_values.hpp"

#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <algorithm>
#include <iterator>

namespace {

enum class value_form { text, flag, mode };

struct known_key {
    const wchar_t* section;
    const wchar_t* key;
    value_form form;
};

const wchar_t generic_section[] = L"Generic settings";
const wchar_t oracle_section[] = L"Oracle settings";
const wchar_t pgs_section[] = L"pgs settings";

// the keys the settings read; the table sections' keys are names, any name
const known_key known_keys[] = {
    {generic_section, L"mode", value_form::mode},
    {generic_section, L"no schema", value_form::flag},
    {generic_section, L"only definitions", value_form::flag},
    {generic_section, L"skip indexes", value_form::flag},
    {oracle_section, L"uppercase", value_form::flag},
    {generic_section, L"dest", value_form::text},
    {generic_section, L"logfile", value_form::text},
    {generic_section, L"src", value_form::text},
    {oracle_section, L"host", value_form::text},
    {oracle_section, L"password", value_form::text},
    {oracle_section, L"port", value_form::text},
    {oracle_section, L"user", value_form::text},
    {pgs_section, L"host", value_form::text},
    {pgs_section, L"password", value_form::text},
    {pgs_section, L"user", value_form::text},
};

const wchar_t* const known_sections[] = {L"Available Queries", L"Selected Tables",
                                         generic_section, oracle_section, pgs_section};

const known_key* find_key(const std::wstring& section, const std::wstring& key)
{
    for (const known_key& k : known_keys)
        if (section == k.section && key == k.key)
            return &k;
    return nullptr;
}

// a name as a reader that ignores case and blanks would take it: "Selected  Tables" or
// "skip\tindexes" is as near a miss as " Mode", and so is a no-break space pasted from a page
std::wstring loose(const std::wstring& name)
{
    std::wstring text;
    for (wchar_t c : name) {
        if (c == L' ' || c == L'\t' || c == L'\u00a0')
            continue;
        text += c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    }
    return text;
}

// a key whose value is a password, in whatever section it is written
bool is_secret(const std::wstring& key)
{
    return loose(key) == L"password";
}

// two values of one key that read as the same setting
bool read_alike(const udb_profile::conflict& c)
{
    const known_key* k = find_key(c.section, c.key);
    return k && k->form != value_form::text && udb_prof_trim(c.first) == udb_prof_trim(c.other);
}

// the 0/1 or digit setting that a table section's entry gives under its key, if any
const known_key* misplaced_setting(const std::wstring& key, const std::wstring& value)
{
    if (udb_prof_trim(value).empty())
        return nullptr;
    for (const known_key& k : known_keys) {
        if (k.form == value_form::text || loose(key) != loose(k.key))
            continue;
        bool flag = false;
        int mode = 0;
        if (k.form == value_form::flag ? setting_flag(value, flag) : setting_mode(value, mode))
            return &k;
    }
    return nullptr;
}

// the known section whose header the key starts with, as near a miss as a section name
const wchar_t* header_in(const std::wstring& key)
{
    const std::size_t close = key.find(L']');
    if (key.empty() || key.front() != L'[' || close == std::wstring::npos)
        return nullptr;
    for (const wchar_t* s : known_sections)
        if (loose(key.substr(1, close - 1)) == loose(s))
            return s;
    return nullptr;
}

const wchar_t written_exactly[] = L": keys and section names are read exactly as written. "
                                  L"Please verify the profile.";
const wchar_t in_its_section[] = L": a key is read only in its own section. Please verify the "
                                 L"profile.";

// the first line, in file order, whose section or key would be ignored although it looks like
// one that is read: the setting it was meant for would silently keep its default
std::wstring misnamed_refusal(const udb_profile& profile)
{
    std::size_t first = 0;
    std::wstring message;
    const auto consider = [&](std::size_t line, const std::wstring& text) {
        if (message.empty() || line < first) {
            first = line;
            message = L"Line " + std::to_wstring(line) + L" of the profile " + text;
        }
    };
    for (const auto& [name, keys] : profile.get_sections()) {
        // "[Selected Tables] ; tables to move" is no header: its section's lines would go to
        // the section above, and without its tables every table would be converted
        for (const auto& entry : keys)
            if (const wchar_t* header = header_in(entry.first))
                consider(profile.get_line(name, entry.first),
                         L"gives '" + tk_escape_controls(entry.first, true)
                             + L"', which is not the section header [" + header
                             + L"]: a section header is a line of its own. Please verify the "
                               L"profile.");
        const auto known = std::find_if(std::begin(known_sections), std::end(known_sections),
                                        [&](const wchar_t* s) { return name == s; });
        if (known == std::end(known_sections)) {
            // "[Selected Tables]]" as well
            for (const wchar_t* s : known_sections)
                if (loose(name) == loose(s) || header_in(L"[" + name + L"]") == s)
                    consider(profile.get_line(name),
                             L"names the section [" + tk_escape_controls(name, true)
                                 + L"], which is not the section [" + s + L"]"
                                 + written_exactly);
            continue;
        }
        // the table sections' keys are names, whatever they look like, except a 0/1 or digit
        // setting under its key: no query is a lone digit, and the setting would keep its
        // default (mode=2 appended below [Available Queries] would overwrite every table)
        if (name == known_sections[0] || name == known_sections[1]) {
            for (const auto& [key, value] : keys)
                if (const known_key* k = misplaced_setting(key, value))
                    consider(profile.get_line(name, key),
                             L"gives the key '" + tk_escape_controls(key, true)
                                 + L"' in the section [" + name
                                 + L"], but it is a key of the section [" + k->section + L"]"
                                 + in_its_section);
            continue;
        }
        for (const auto& entry : keys) {
            const std::wstring& key = entry.first;
            if (find_key(name, key))
                continue;
            const known_key* near = nullptr;
            std::wstring elsewhere;
            for (const known_key& k : known_keys) {
                if (loose(key) != loose(k.key))
                    continue;
                if (name == k.section)
                    near = &k;
                else
                    elsewhere += (elsewhere.empty() ? L"[" : L" and [") + std::wstring(k.section)
                                 + L"]";
            }
            if (near)
                consider(profile.get_line(name, key),
                         L"gives the key '" + tk_escape_controls(key, true)
                             + L"', which is not the key '" + near->key + L"' of the section ["
                             + near->section + L"]" + written_exactly);
            else if (!elsewhere.empty())
                // read only in its own section: here it would leave its setting at the default
                consider(profile.get_line(name, key),
                         L"gives the key '" + tk_escape_controls(key, true) + L"' in the section ["
                             + name + L"], but it is a key of the section"
                             + (elsewhere.find(L" and ") == std::wstring::npos ? L" " : L"s ")
                             + elsewhere + in_its_section);
        }
    }
    return message;
}

} // namespace

bool setting_flag(const std::wstring& value, bool& flag)
{
    const std::wstring text = udb_prof_trim(value);
    if (text.empty())
        return true;
    if (text != L"0" && text != L"1")
        return false;
    flag = text == L"1";
    return true;
}

bool setting_mode(const std::wstring& value, int& mode)
{
    const std::wstring text = udb_prof_trim(value);
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

std::wstring profile_read_refusal(const udb_profile& profile)
{
    // nothing else of the file was read
    if (const std::size_t line = profile.get_unreadable_line())
        return L"Line " + std::to_wstring(line)
               + L" of the profile is not UTF-8 text: a profile is read as UTF-8, and other bytes "
                 L"would change what it says. Please save the profile as UTF-8.";
    const std::wstring misnamed = misnamed_refusal(profile);
    if (!misnamed.empty())
        return misnamed;
    for (const udb_profile::conflict& c : profile.get_conflicts()) {
        if (read_alike(c))
            continue;
        const std::wstring start = L"The profile gives the key '" + tk_escape_controls(c.key, true)
                                   + L"' of the section [" + tk_escape_controls(c.section, true)
                                   + L"] two";
        // a message may be shown, logged or pasted anywhere: a password is never in it
        if (is_secret(c.key))
            return start + L" different values, which are not shown: it holds a password. "
                           L"Please verify the profile.";
        return start + L" values: '" + tk_escape_controls(c.first, true) + L"' and '"
               + tk_escape_controls(c.other, true) + L"'. Please verify the profile.";
    }
    return std::wstring();
}

std::wstring profile_value_refusal(const udb_profile& profile)
{
    const std::wstring unread = profile_read_refusal(profile);
    if (!unread.empty())
        return unread;
    for (const known_key& k : known_keys) {
        if (k.form == value_form::text)
            continue;
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
