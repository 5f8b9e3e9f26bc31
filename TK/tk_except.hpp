#pragma once

#include <exception>
#include <string>

// the one exception root of the system: text, code and level
// level 0: the operation may go on; 1: the operation fails; 2: internal error
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

protected:
    void set_text(const std::string& text) { m_text = text; }
    void set_code(int code) noexcept { m_code = code; }
    void set_level(int level) noexcept { m_level = level; }

    std::string m_text;
    int m_code = 0;
    int m_level = 0;
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
