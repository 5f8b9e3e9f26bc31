#pragma once

#include <exception>
#include <string>

// the error levels; a level the handler does not know counts as level 0
constexpr int tk_level_go_on = 0;       // the operation may go on
constexpr int tk_level_fail = 1;        // the operation fails
constexpr int tk_level_internal = 2;    // an internal error: the process ends

// what a database reported, so that callers need no engine's codes; each engine
// sets it where it translates its client's errors
enum class tk_error_kind {
    none,           // not a database's error
    database,       // any other error of a database
    duplicate_key,  // a row with the same unique key exists
    resource_busy,  // the object is locked by another session
    bad_value,      // a value read cannot travel unchanged
    missing_table,  // the table is no longer in the database
};

// the one exception root of the system: text, code, level and kind
class tk_exception : public std::exception {
public:
    explicit tk_exception(int level);
    tk_exception(const std::string& text, int level);
    tk_exception(const char* text, int level);
    tk_exception(const std::wstring& text, int level);
    tk_exception(const wchar_t* text, int level);
    ~tk_exception() override = default;

    const char* what() const noexcept override { return m_text.c_str(); }

    const std::string& get_text() const noexcept { return m_text; }
    int get_code() const noexcept { return m_code; }
    int get_level() const noexcept { return m_level; }
    tk_error_kind get_kind() const noexcept { return m_kind; }

protected:
    void set_text(const std::string& text) { m_text = text; }
    void set_code(int code) noexcept { m_code = code; }
    void set_level(int level) noexcept { m_level = level; }
    void set_kind(tk_error_kind kind) noexcept { m_kind = kind; }

    std::string m_text;
    int m_code = 0;
    int m_level = 0;
    tk_error_kind m_kind = tk_error_kind::none;
};

// a failed system call: code is errno, text is the prefix and the system's message
class tk_exception_ex : public tk_exception {
public:
    tk_exception_ex();
    tk_exception_ex(const std::string& prefix, int level);

    // takes errno as it is when called; call it before anything that may change errno
    void format_last_error(const std::string& prefix);

private:
    tk_exception_ex(int err, const std::string& prefix, int level);
    void format_error(int err, const std::string& prefix);
};

// the level-2 exception of every internal consistency check: the text carries
// the position "file\line" hex-encoded
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* file, int line);
};

// ends the current conversion quietly; only the error handlers throw it
class tk_final_exception : public std::exception {
public:
    tk_final_exception();
};
