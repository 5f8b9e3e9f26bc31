#include "pgs_copy.hpp"

#include "pgs_ftd.hpp"
#include "pgs_impl.hpp"
#include "pgs_session.hpp"
#include "pgs_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <pqxx/tablewriter>

#include <charconv>
#include <cstdio>

namespace {

const char k_structure_error[] =
    "The structure of data source does not conform to the destination table.";

// the letter after the backslash of a byte COPY text escapes, or 0
constexpr char escape_letter(unsigned char c)
{
    switch (c) {
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\v': return 'v';
    case '\f': return 'f';
    case '\r': return 'r';
    case '\\': return '\\';
    default: return 0;
    }
}

// utf-16 text as utf-8, escaped on the way, as tk_to_utf8 converts it (a lone surrogate
// becomes U+FFFD, a unit above U+FFFF from a wide literal keeps its character), except
// that a NUL stays: the server refuses it rather than the text being cut there
void append_text(std::string& line, const wchar_t* text, size_t length)
{
    // at most four bytes a unit (an escape takes two), written in place
    const size_t start = line.size();
    line.resize(start + length * 4);
    char* out = &line[start];
    for (size_t i = 0; i < length; ++i) {
        uint32_t u = uint32_t(text[i]);
        if (u < 0x80) {
            const char letter = escape_letter(static_cast<unsigned char>(u));
            if (letter) {
                *out++ = '\\';
                *out++ = letter;
            } else {
                *out++ = char(u);
            }
            continue;
        }
        const uint32_t next = i + 1 < length ? uint32_t(text[i + 1]) : 0;
        if (u >= 0xD800 && u <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        } else if ((u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) {
            u = 0xFFFD;
        }
        if (u < 0x800) {
            *out++ = char(0xC0 | u >> 6);
        } else if (u < 0x10000) {
            *out++ = char(0xE0 | u >> 12);
            *out++ = char(0x80 | (u >> 6 & 0x3F));
        } else {
            *out++ = char(0xF0 | u >> 18);
            *out++ = char(0x80 | (u >> 12 & 0x3F));
            *out++ = char(0x80 | (u >> 6 & 0x3F));
        }
        *out++ = char(0x80 | (u & 0x3F));
    }
    line.resize(size_t(out - line.data()));
}

// the date kind of a destination column by its server type
int date_kind(const pgs_ftd& column)
{
    if (column.pg_type_name == "date")
        return 2;
    if (column.pg_type_name.rfind("time with", 0) == 0)
        return 3;
    return 1;
}

// an integer value in decimal, as its own text gives it
bool add_integer(pgs_table_writer& writer, const ole_variant& value)
{
    const VARIANT& v = value.get_variant();
    char text[24];
    std::to_chars_result end{};
    switch (v.vt) {
    case VT_I1: end = std::to_chars(text, text + sizeof text, int(v.cVal)); break;
    case VT_I2: end = std::to_chars(text, text + sizeof text, v.iVal); break;
    case VT_I4: end = std::to_chars(text, text + sizeof text, v.lVal); break;
    case VT_I8: end = std::to_chars(text, text + sizeof text, value.get_i8()); break;
    case VT_UI1: end = std::to_chars(text, text + sizeof text, unsigned(v.bVal)); break;
    case VT_UI2: end = std::to_chars(text, text + sizeof text, v.uiVal); break;
    case VT_UI4: end = std::to_chars(text, text + sizeof text, v.ulVal); break;
    case VT_UI8: end = std::to_chars(text, text + sizeof text, value.get_ui8()); break;
    default: return false;
    }
    writer.add_plain(std::string_view(text, size_t(end.ptr - text)));
    return true;
}

std::function<void(const tk_exception&)>& load_failure_report()
{
    static std::function<void(const tk_exception&)> report;
    return report;
}

} // namespace

std::string EscapePGS(const std::string& value, const std::optional<std::string>& null_text)
{
    if (null_text && value == *null_text)
        return "\\N";
    std::string escaped;
    pgs_escape_append(escaped, value.data(), value.size());
    return escaped;
}

void pgs_escape_append(std::string& line, const char* value, size_t size)
{
    // runs without a byte to escape go in whole
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        const char letter = escape_letter(static_cast<unsigned char>(value[i]));
        if (!letter)
            continue;
        line.append(value + start, i - start);
        line += '\\';
        line += letter;
        start = i + 1;
    }
    line.append(value + start, size - start);
}

struct pgs_table_writer::impl {
    impl(pgs_session& session, const std::string& table)
        : session(session), tx(session.connection(), "insert records")
    {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        // the only writer of the library that sends lines escaped by their writer
        writer = std::make_unique<pqxx::tablewriter>(tx, table, null_text);
#pragma GCC diagnostic pop
        session.add_open_read(1);
    }
    ~impl() { session.add_open_read(-1); }

    pgs_session& session;
    // the library's own escaping writes a value equal to it as \N
    const std::string null_text;
    pqxx::transaction<pqxx::read_committed> tx;
    // ends before its transaction
    std::unique_ptr<pqxx::tablewriter> writer;
};

pgs_table_writer::pgs_table_writer(pgs_session& session, const std::string& table)
{
    pgs_guard("", [&] { m_impl = std::make_unique<impl>(session, table); });
}

pgs_table_writer::~pgs_table_writer() = default;

std::string pgs_table_writer::escape(const std::string& value) const
{
    if (m_own_escaping)
        return EscapePGS(value, std::nullopt);
    // the library's own escaping writes every byte outside printable ascii in octal,
    // which the server stores as those characters: the writer never selects it
    return pqxx::internal::escape(value, m_impl->null_text);
}

void pgs_table_writer::next_value()
{
    // counted, not read from the line: a first value may be empty
    if (m_values++ != 0)
        m_line += '\t';
}

void pgs_table_writer::add_null()
{
    next_value();
    m_line += "\\N";
}

void pgs_table_writer::add_value(const std::string& value)
{
    next_value();
    if (m_own_escaping)
        pgs_escape_append(m_line, value.data(), value.size());
    else
        m_line += escape(value);
}

void pgs_table_writer::add_text(const wchar_t* text, size_t length)
{
    if (!m_own_escaping) {
        add_value(tk_to_utf8(std::wstring(text, length)));
        return;
    }
    next_value();
    append_text(m_line, text, length);
}

void pgs_table_writer::add_bytes(const unsigned char* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex = "\\x";
    if (!m_own_escaping) {
        for (size_t i = 0; i < size; ++i)
            hex += {digits[data[i] >> 4], digits[data[i] & 15]};
        add_value(hex);
        return;
    }
    // what the escaper makes of that text, written at once
    next_value();
    m_line += "\\\\x";
    const size_t start = m_line.size();
    m_line.resize(start + size * 2);
    char* out = &m_line[start];
    for (size_t i = 0; i < size; ++i) {
        *out++ = digits[data[i] >> 4];
        *out++ = digits[data[i] & 15];
    }
}

void pgs_table_writer::write_raw_line(const std::string& line)
{
    pgs_guard("", [&] { m_impl->writer->write_raw_line(line); });
}

void pgs_table_writer::flush()
{
    if (m_line.empty())
        return;
    write_raw_line(m_line);
    m_line.clear();
    m_lines = 0;
}

void pgs_table_writer::complete()
{
    flush();
    pgs_guard("", [&] {
        m_impl->writer->complete();
        m_impl->tx.commit();
    });
}

void pgs_set_load_failure_report(std::function<void(const tk_exception&)> report)
{
    load_failure_report() = std::move(report);
}

void pgs_report_load_failure(const tk_exception& error) noexcept
{
    try {
        if (load_failure_report())
            load_failure_report()(error);
        else
            std::fprintf(stderr, "%s\n", error.what());
    } catch (...) {
        // a report that fails has nowhere further to go
    }
}

pgs_load::pgs_load(pgs_session& session, const std::string& table, const udb_schema& columns)
    : writer(session, table)
{
    writer.set_own_escaping(true);
    for (const auto& column : columns.fields)
        kinds.push_back(date_kind(static_cast<const pgs_ftd&>(*column)));
}

void pgs_load::write_record(const udb_record& record)
{
    // a short record would leave columns unfilled: nothing of it is sent
    if (record.fields.size() < kinds.size())
        throw tk_exception(k_structure_error, 0);
    writer.begin_line();
    try {
        write_values(record);
    } catch (...) {
        writer.drop_line();
        throw;
    }
    writer.end_line();
}

void pgs_load::write_values(const udb_record& record)
{
    for (size_t i = 0; i < kinds.size(); ++i) {
        const udb_field* value = record.fields[i].get();
        const VARTYPE vt = value ? value->get_vt() : VARTYPE(VT_EMPTY);
        // only a NULL is \N: an empty text is an empty value
        if (vt == VT_EMPTY || vt == VT_NULL) {
            writer.add_null();
        } else if (vt == VT_BSTR) {
            const BSTR text = value->get_variant().bstrVal;
            writer.add_text(text, text ? SysStringLen(text) : 0);
        } else if (vt & VT_ARRAY) {
            const BYTE* data = nullptr;
            const unsigned size = value->get_bytes(data);
            writer.add_bytes(data, size);
        } else if (vt == VT_DATE) {
            writer.add_plain(pgs_date_text(value->get_date(), kinds[i]));
        } else if (!add_integer(writer, *value)) {
            writer.add_value(value->to_string());
        }
    }
}

void pgs_load::finish(std::unique_ptr<pgs_load> load, const std::wstring& name) noexcept
{
    if (!load)
        return;
    const auto report = [&](const char* why, tk_error_kind kind) noexcept {
        try {
            const std::string table = tk_to_utf8(name);
            tk_trace(3, "Rows of %s were not loaded: %s", table.c_str(), why);
            pgs_report_load_failure(
                pgs_exception("Rows of " + table + " were not loaded: " + why, kind));
        } catch (...) {
            // nothing more can be done for it in a destructor
        }
    };
    try {
        load->writer.complete();
    } catch (const tk_exception& e) {
        report(e.what(), e.get_kind());
    } catch (const std::exception& e) {
        report(e.what(), tk_error_kind::database);
    }
}
