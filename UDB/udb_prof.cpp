#include "udb_prof.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::wstring udb_prof_trim_right(const std::wstring& text)
{
    const auto last = text.find_last_not_of(L" \t");
    return last == std::wstring::npos ? std::wstring() : text.substr(0, last + 1);
}

std::wstring udb_prof_trim(const std::wstring& text)
{
    const std::wstring right = udb_prof_trim_right(text);
    return right.substr(std::min(right.find_first_not_of(L" \t"), right.size()));
}

namespace {

const wchar_t available_queries[] = L"Available Queries";
const wchar_t selected_tables[] = L"Selected Tables";
const wchar_t generic_settings[] = L"Generic settings";

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// the buffer getline grows as it needs
struct line_buffer {
    char* data = nullptr;
    size_t capacity = 0;
    ~line_buffer() { std::free(data); }
};

// one decoded and trimmed line of a profile
struct profile_line {
    enum kind_t { empty, section, entry } kind = empty;
    std::wstring name;   // the section name or the key
    std::wstring value;

    bool operator==(const profile_line&) const = default;
};

profile_line parse_line(const std::wstring& line)
{
    profile_line result;
    if (line.empty())
        return result;
    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
        result.kind = profile_line::section;
        result.name = line.substr(1, line.size() - 2);
        return result;
    }
    result.kind = profile_line::entry;
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) {
        result.name = line;
    } else {
        result.name = udb_prof_trim(line.substr(0, eq));
        result.value = line.substr(eq + 1);
    }
    return result;
}

profile_line read_back(const std::string& bytes)
{
    return parse_line(udb_prof_trim(tk_from_utf8(bytes)));
}

// decoding replaces what is not utf-8 and stops at a NUL: such a line does not come back
bool is_text(const std::string& bytes)
{
    return tk_to_utf8(tk_from_utf8(bytes)) == bytes;
}

// the line's bytes when reading them gives back exactly what was meant, else nothing
// the format's limit a line, line end not counted: other readers cut longer lines
constexpr std::size_t max_line_bytes = 4095;

bool encode_line(const std::wstring& line, const profile_line& meant, std::string& bytes)
{
    if (line.find_first_of(L"\r\n") != std::wstring::npos)
        return false;
    bytes = tk_to_utf8(line);
    return bytes.size() <= max_line_bytes && read_back(bytes) == meant;
}

// what keeps the entry's line from reading back as it is
udb_profile::refusal::reason_t entry_problem(const std::wstring& key, const std::wstring& value)
{
    if ((key + value).find_first_of(L"\r\n") != std::wstring::npos)
        return udb_profile::refusal::line_break;
    if (tk_to_utf8(key + L"=" + value).size() > max_line_bytes)
        return udb_profile::refusal::too_long;
    // reading trims the line
    if (!value.empty() && (value.back() == L' ' || value.back() == L'\t'))
        return udb_profile::refusal::trailing_blank;
    return udb_profile::refusal::other;
}

// the file's text; false, with the first line that would not read back, when there is one
bool encode_sections(const std::map<std::wstring, udb_profile::t_section>& sections,
                     std::string& text, udb_profile::refusal& problem)
{
    std::string bytes;
    for (const auto& [name, keys] : sections) {
        if (!encode_line(L"[" + name + L"]", {profile_line::section, name, {}}, bytes)) {
            problem.reason = udb_profile::refusal::other;
            return false;
        }
        text += bytes + "\r\n";
        bool selected = name == selected_tables;
        for (const auto& [key, value] : keys) {
            profile_line meant{profile_line::entry, key, value};
            // a table without a query is written bare, unless it would not read back so
            // (a name in brackets would turn into a section header)
            if (!(selected && value.empty() && encode_line(key, meant, bytes)) &&
                !encode_line(key + L"=" + value, meant, bytes)) {
                problem = {entry_problem(key, value), name, key};
                return false;
            }
            text += bytes + "\r\n";
        }
        text += "\r\n";
    }
    return true;
}

// the narrow path; empty when the name does not survive the conversion unchanged
std::string narrow_path(const std::wstring& file)
{
    std::string path = tk_to_ansi(file);
    return tk_to_unicode(path) == file ? path : std::string();
}

// a profile holds passwords: its owner's alone
// null, error telling why, when it does not open
file_ptr open_for_store(const std::wstring& file, int& error)
{
    const std::string path = narrow_path(file);
    if (path.empty()) {
        // else a name the file system's encoding cannot spell
        error = file.empty() ? ENOENT : EILSEQ;
        return nullptr;
    }
    const int fd = tk_open_private(path);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        error = errno;
        close(fd);
    }
    return file_ptr(f);
}

}  // namespace

udb_profile::udb_profile()
{
    add_section(available_queries);
    add_section(selected_tables);
    add_section(generic_settings);
}

void udb_profile::add_section(const std::wstring& name)
{
    m_sections.try_emplace(name);
}

udb_profile::t_section& udb_profile::section(const std::wstring& name)
{
    return m_sections[name];
}

void udb_profile::set_value(const std::wstring& section_name, const std::wstring& key,
                            const std::wstring& value)
{
    section(section_name).emplace(key, value);
}

std::wstring udb_profile::get_value(const std::wstring& section_name,
                                    const std::wstring& key) const
{
    auto s = m_sections.find(section_name);
    if (s == m_sections.end())
        return std::wstring();
    auto k = s->second.find(key);
    return k == s->second.end() ? std::wstring() : k->second;
}

const udb_profile::t_section& udb_profile::get_available_queries() const
{
    return m_sections.at(available_queries);
}

const udb_profile::t_section& udb_profile::get_selected_tables() const
{
    return m_sections.at(selected_tables);
}

bool udb_profile::load(const std::wstring& file)
{
    tk_wtrace(2, L"udb_profile::load(%ls)", file.c_str());
    if (!tk_is_file_exist(file, 0x4000))
        throw tk_exception(
            L"Profile does not exist. Please verify the correct path/name was given.",
            tk_level_fail);

    const std::string path = narrow_path(file);
    file_ptr f(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
    if (!f)
        return false;

    // lines are read whole: a long query text is neither cut nor dropped
    line_buffer buffer;
    t_section* current = nullptr;
    std::wstring current_name;
    m_conflicts.clear();
    m_section_lines.clear();
    m_key_lines.clear();
    m_unreadable_line = 0;
    std::size_t number = 0;
    ssize_t length;
    while ((length = getline(&buffer.data, &buffer.capacity, f.get())) != -1) {
        ++number;
        std::string bytes(buffer.data, static_cast<size_t>(length));
        if (!bytes.empty() && bytes.back() == '\n')
            bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r')
            bytes.pop_back();
        // what follows is not read either: the refusal names this line
        if (!is_text(bytes)) {
            m_unreadable_line = number;
            return true;
        }

        profile_line line = read_back(bytes);
        if (line.kind == profile_line::section) {
            current = &section(line.name);
            current_name = line.name;
            m_section_lines.try_emplace(line.name, number);
        } else if (line.kind == profile_line::entry) {
            if (!current)
                return false;
            m_key_lines.try_emplace({current_name, line.name}, number);
            const auto [kept, added] = current->emplace(line.name, line.value);
            // obeying one of two values would do what the other one does not say
            if (!added && kept->second != line.value)
                m_conflicts.push_back({current_name, line.name, kept->second, line.value});
        }
    }
    // a read error would otherwise look like the end of the file
    return !std::ferror(f.get());
}

std::size_t udb_profile::get_line(const std::wstring& section_name) const
{
    const auto found = m_section_lines.find(section_name);
    return found == m_section_lines.end() ? 0 : found->second;
}

std::size_t udb_profile::get_line(const std::wstring& section_name, const std::wstring& key) const
{
    const auto found = m_key_lines.find({section_name, key});
    return found == m_key_lines.end() ? 0 : found->second;
}

udb_profile::refusal udb_profile::store_refusal() const
{
    std::string text;
    refusal problem;
    encode_sections(m_sections, text, problem);
    return problem;
}

bool udb_profile::store(const std::wstring& file, int* error) const
{
    tk_wtrace(2, L"udb_profile::store)");
    if (error)
        *error = 0;

    // build and check everything first, so that a refused profile leaves the file alone
    std::string text;
    refusal problem;
    if (!encode_sections(m_sections, text, problem))
        return false;

    int failure = 0;
    file_ptr f = open_for_store(file, failure);
    bool stored = false;
    if (f) {
        errno = 0;
        const bool written = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
        if (!written)
            failure = errno;
        // fclose reports a failed flush of what was buffered
        errno = 0;
        const bool closed = std::fclose(f.release()) == 0;
        if (!closed && failure == 0)
            failure = errno;
        stored = written && closed;
    }
    if (!stored && failure == 0)
        failure = EIO;
    if (error)
        *error = failure;
    return stored;
}
