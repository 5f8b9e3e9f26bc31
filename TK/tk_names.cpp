#include "tk_names.hpp"

#include "tk_utils.hpp"

namespace {

template <class Map, class Key>
void forget(Map& counts, const Key& key)
{
    auto it = counts.find(key);
    if (it != counts.end() && --it->second == 0)
        counts.erase(it);
}

} // namespace

tk_name_list::tk_name_list(std::initializer_list<std::wstring> names)
{
    for (const std::wstring& name : names)
        push_back(name);
}

tk_name_list& tk_name_list::operator=(std::initializer_list<std::wstring> names)
{
    clear();
    for (const std::wstring& name : names)
        push_back(name);
    return *this;
}

void tk_name_list::push_back(const std::wstring& name)
{
    std::u16string folded = tk_fold_case(name);
    ++m_exact[name];
    ++m_no_case[folded];
    m_names.push_back(name);
    m_folded.push_back(std::move(folded));
}

bool tk_name_list::erase(const std::wstring& name, bool exact)
{
    const std::u16string folded = exact ? std::u16string() : tk_fold_case(name);
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (exact ? m_names[i] != name : m_folded[i] != folded)
            continue;
        forget(m_exact, m_names[i]);
        forget(m_no_case, m_folded[i]);
        m_names.erase(m_names.begin() + static_cast<std::ptrdiff_t>(i));
        m_folded.erase(m_folded.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
    }
    return false;
}

void tk_name_list::clear()
{
    m_names.clear();
    m_folded.clear();
    m_exact.clear();
    m_no_case.clear();
}

bool tk_name_list::contains(const std::wstring& name) const
{
    return m_exact.count(name) != 0;
}

bool tk_name_list::contains_no_case(const std::wstring& name) const
{
    return m_no_case.count(tk_fold_case(name)) != 0;
}
