#include "qlx_shel.hpp"

#include <cwchar>

std::wstring qlx_caption()
{
    wchar_t text[64];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), qlx::caption_format, qlx::version_major,
                  qlx::version_minor, L"");
    return text;
}
