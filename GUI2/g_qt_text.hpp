#pragma once

#include <QString>

#include <string>

// the one crossing of wide text into Qt and back: the wide string holds utf-16 units
inline QString to_qstring(const std::wstring& text)
{
    std::u16string units(text.begin(), text.end());
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

inline std::wstring from_qstring(const QString& text)
{
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    return std::wstring(units, units + text.size());
}
