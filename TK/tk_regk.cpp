#include "tk_regk.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

#include <vector>

tk_reg_key::tk_reg_key(const std::string& path)
    : m_path(path)
{
}

tk_reg_key::~tk_reg_key()
{
    close();
}

long tk_reg_key::open(tk_hkey root, const char* subkey, const char* cls, unsigned long options,
                      unsigned long access, const void* security, unsigned long* disposition)
{
    if (!root)
        throw tk_mail_assertion("tk_regk.cpp", 64);
    tk_hkey key = nullptr;
    unsigned long disp = 0;
    const long status = tk_reg_create_key(root, subkey, cls, options, access, security, &key, &disp);
    if (status == tk_reg_ok) {
        if (disposition)
            *disposition = disp;
        close();
        m_key = key;
    }
    return status;
}

long tk_reg_key::open()
{
    return open(tk_hkey_current_user, m_path.c_str(), nullptr, 0, tk_key_all_access, nullptr,
                nullptr);
}

void tk_reg_key::close()
{
    if (m_key)
        tk_reg_close_key(m_key);
    m_key = nullptr;
}

long tk_reg_key::get_value(const char* name, uint32_t& value)
{
    if (!name)
        throw tk_mail_assertion("tk_regk.cpp", 98);
    tk_trace(2, "tk_reg_key::get_value(ulong, %s)", name);
    unsigned long type = 0;
    unsigned long size = sizeof value;
    uint32_t read = 0;
    long status = tk_reg_query_value(m_key, name, &type, &read, &size);
    tk_trace(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(size));
    // a value of another type is not a number
    if (status == tk_reg_ok && (type != tk_reg_type_dword || size != sizeof value))
        status = tk_reg_invalid_data;
    if (status == tk_reg_ok)
        value = read;
    return status;
}

long tk_reg_key::get_value(const char* name, char* buffer, unsigned long* size)
{
    if (!name)
        throw tk_mail_assertion("tk_regk.cpp", 115);
    if (!size)
        throw tk_mail_assertion("tk_regk.cpp", 116);
    tk_trace(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    unsigned long type = 0;
    long status = tk_reg_query_value(m_key, name, &type, buffer, size);
    tk_trace(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(*size));
    if (status == tk_reg_ok && type != tk_reg_type_sz)
        status = tk_reg_invalid_data;
    return status;
}

long tk_reg_key::get_value(const char* name, wchar_t* buffer, unsigned long* size)
{
    if (!name)
        throw tk_mail_assertion("tk_regk.cpp", 132);
    if (!size)
        throw tk_mail_assertion("tk_regk.cpp", 133);
    tk_wtrace(2, L"tk_reg_key::get_value(LPWSTR, %s)", name);
    unsigned long type = 0;
    long status = tk_reg_query_wvalue(m_key, name, &type, buffer, size);
    tk_trace(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(*size));
    if (status == tk_reg_ok && type != tk_reg_type_sz)
        status = tk_reg_invalid_data;
    return status;
}

long tk_reg_key::set_value(const char* name, uint32_t value)
{
    if (!m_key)
        throw tk_mail_assertion("tk_regk.cpp", 149);
    return tk_reg_set_value(m_key, name, tk_reg_type_dword, &value, sizeof value);
}

long tk_reg_key::set_value(const char* name, const char* text)
{
    if (!text)
        throw tk_mail_assertion("tk_regk.cpp", 156);
    if (!m_key)
        throw tk_mail_assertion("tk_regk.cpp", 157);
    return tk_reg_set_value(m_key, name, tk_reg_type_sz, text,
                            static_cast<unsigned long>(std::char_traits<char>::length(text) + 1));
}

long tk_reg_key::set_value(const char* name, const wchar_t* text)
{
    if (!text)
        throw tk_mail_assertion("tk_regk.cpp", 164);
    if (!m_key)
        throw tk_mail_assertion("tk_regk.cpp", 165);
    const size_t units = std::char_traits<wchar_t>::length(text) + 1;
    return tk_reg_set_wvalue(m_key, name, tk_reg_type_sz, text,
                             static_cast<unsigned long>(units * sizeof(wchar_t)));
}

bool tk_reg_key::exchange(const char* name, uint32_t& value, bool store)
{
    if (!m_key)
        return false;
    if (store)
        return set_value(name, value) == tk_reg_ok;
    return get_value(name, value) == tk_reg_ok;
}

bool tk_reg_key::exchange(const char* name, bool& value, bool store)
{
    if (!m_key)
        return false;
    if (store)
        return set_value(name, static_cast<uint32_t>(value ? 1 : 0)) == tk_reg_ok;
    uint32_t number = 0;
    if (get_value(name, number) != tk_reg_ok)
        return false;
    value = number != 0;
    return true;
}

// a string is read in two steps: its size, then the text
template <class Char>
bool tk_reg_key::exchange_text(const char* name, std::basic_string<Char>& value, bool store)
{
    if (!m_key)
        return false;
    if (store)
        return set_value(name, value.c_str()) == tk_reg_ok;
    unsigned long size = 0;
    if (get_value(name, static_cast<Char*>(nullptr), &size) != tk_reg_ok || size == 0)
        return false;
    std::vector<Char> buf(size / sizeof(Char) + 1, Char());
    if (get_value(name, buf.data(), &size) != tk_reg_ok)
        return false;
    value = buf.data();
    return true;
}

bool tk_reg_key::exchange(const char* name, std::string& value, bool store)
{
    return exchange_text(name, value, store);
}

bool tk_reg_key::exchange(const char* name, std::wstring& value, bool store)
{
    return exchange_text(name, value, store);
}
