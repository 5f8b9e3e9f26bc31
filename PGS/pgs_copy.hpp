#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class pgs_session;
class tk_exception;
class udb_record;
class udb_schema;

// the COPY text form of one value: the null text (when there is one) gives \N, every
// backspace, tab, line feed, vertical tab, form feed, carriage return and backslash a
// backslash and a letter (a second backslash); all other bytes pass unchanged
std::string EscapePGS(const std::string& value, const std::optional<std::string>& null_text);
// the same for a value that is not the null text, appended to a line
void pgs_escape_append(std::string& line, const char* value, size_t size);

// one COPY of a table: the transaction "insert records", the library's table writer on
// it, and the line generator. while it is open the connection serves nothing else
class pgs_table_writer {
public:
    // table: the quoted name as utf-8. starts COPY ... FROM STDIN
    pgs_table_writer(pgs_session& session, const std::string& table);
    // without complete(): everything sent is rolled back
    ~pgs_table_writer();
    pgs_table_writer(const pgs_table_writer&) = delete;
    pgs_table_writer& operator=(const pgs_table_writer&) = delete;

    // true: EscapePGS for every value; false: the library's own escaping
    void set_own_escaping(bool own) { m_own_escaping = own; }
    // one value as COPY text (never a NULL)
    std::string escape(const std::string& value) const;

    // the line generator: values joined by tabs, a NULL as \N, every other value
    // through the escaper. lines are sent in batches of about 64 KiB, joined by line
    // feeds, each batch with write_raw_line: the server reads far fewer messages
    void begin_line()
    {
        m_line_start = m_line.size();
        // counted, not read from the batch: a line may be empty
        if (m_lines++ != 0)
            m_line += '\n';
        m_values = 0;
    }
    // takes back the line begun, nothing of it sent
    void drop_line()
    {
        m_line.resize(m_line_start);
        --m_lines;
    }
    void add_null();
    void add_value(const std::string& value);
    // a value that needs no escaping (digits, signs, points, blanks, colons)
    void add_plain(std::string_view value)
    {
        next_value();
        m_line.append(value);
    }
    // the same for a text in utf-16 and for bytes (as the server's hexadecimal form)
    void add_text(const wchar_t* text, size_t length);
    void add_bytes(const unsigned char* data, size_t size);
    void end_line()
    {
        if (m_line.size() >= k_batch_bytes)
            flush();
    }
    // sends a line, or lines joined by line feeds; the library ends the last one
    void write_raw_line(const std::string& line);
    // ends the COPY and commits; the server's error (naming line and column) as
    // pgs_exception, and then nothing of the load stays
    void complete();

private:
    struct impl;
    static constexpr size_t k_batch_bytes = 64 * 1024;

    // the separator before the next value
    void next_value();
    // sends the lines not yet sent
    void flush();

    std::unique_ptr<impl> m_impl;
    bool m_own_escaping = false;
    // the lines not yet sent, the last one being written
    std::string m_line;
    size_t m_line_start = 0;
    size_t m_lines = 0;
    size_t m_values = 0;
};

// one load of a recordset's table: each record one COPY line, its values by their own
// type and the destination column's
class pgs_load {
public:
    // columns: the table's descriptors (pgs_ftd), in column order
    pgs_load(pgs_session& session, const std::string& table, const udb_schema& columns);

    // a record with fewer fields than the table has columns is a level-0 error, and
    // nothing of it is sent
    void write_record(const udb_record& record);
    void complete() { writer.complete(); }
    // the destructor's complete: a failure is traced and reported, never thrown
    static void finish(std::unique_ptr<pgs_load> load, const std::wstring& name) noexcept;

private:
    void write_values(const udb_record& record);

    pgs_table_writer writer;
    // the date kind of each destination column (1 date and time, 2 date, 3 time)
    std::vector<int> kinds;
};

// how a load that fails while its recordset is deleted reaches the user (the error
// handler at level 0); none set: the message goes to standard error
void pgs_set_load_failure_report(std::function<void(const tk_exception&)> report);
void pgs_report_load_failure(const tk_exception& error) noexcept;
