#include "ole_guid.hpp"

#include "tk_log.hpp"
#include "tk_utils.hpp"

namespace {

constexpr size_t min_text = 45;
constexpr size_t braced_length = 38;

bool is_hex(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} at position
bool is_braced_guid(const std::wstring& text, size_t position)
{
    if (text.size() < position + braced_length)
        return false;
    for (size_t k = 0; k < braced_length; ++k) {
        wchar_t c = text[position + k];
        bool ok;
        if (k == 0)
            ok = c == L'{';
        else if (k == braced_length - 1)
            ok = c == L'}';
        else if (k == 9 || k == 14 || k == 19 || k == 24)
            ok = c == L'-';
        else
            ok = is_hex(c);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

ole_guid_extractor::ole_guid_extractor(const std::wstring& text) : m_text(text)
{
    search();
}

ole_guid_extractor::ole_guid_extractor(const std::string& text) : m_text(tk_to_unicode(text))
{
    search();
}

void ole_guid_extractor::search()
{
    tk_wtrace(1, L"ole_guid_extractor::ctor(%ls)", m_text.c_str());
    if (m_text.size() < min_text)
        return;
    size_t lower = m_text.find(L"guid");
    size_t upper = m_text.find(L"GUID");
    tk_trace(1, "Locating 'guid' (%d : %d)", lower == std::wstring::npos ? -1 : int(lower),
             upper == std::wstring::npos ? -1 : int(upper));
    size_t word = lower != std::wstring::npos ? lower : upper;
    if (word == std::wstring::npos)
        return;
    size_t brace = m_text.find(L'{', word + 4);
    // only a whole braced guid counts; any other text after the word is no guid
    if (brace == std::wstring::npos || !is_braced_guid(m_text, brace))
        return;
    m_position = int(brace);
    m_found = true;
}

std::wstring ole_guid_extractor::get_braced() const
{
    if (!m_found)
        return std::wstring();
    return m_text.substr(size_t(m_position), braced_length);
}

std::wstring ole_guid_extractor::get_hex() const
{
    if (!m_found)
        return std::wstring();
    size_t p = size_t(m_position);
    return m_text.substr(p + 1, 8) + m_text.substr(p + 10, 4) + m_text.substr(p + 15, 4) +
           m_text.substr(p + 20, 4) + m_text.substr(p + 25, 12);
}
