#pragma once

#include "tk_except.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// a directory of its own for one test, removed with everything in it
class tk_temp_dir {
public:
    tk_temp_dir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "tk_test_XXXXXX").string();
        if (!mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = templ;
    }
    ~tk_temp_dir()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    tk_temp_dir(const tk_temp_dir&) = delete;
    tk_temp_dir& operator=(const tk_temp_dir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string tk_read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void tk_write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// the expected text of an internal error, encoded independently of the product
inline std::string tk_expected_assertion(const std::string& file, int line)
{
    const std::string position = file + "\\" + std::to_string(line);
    std::string text = "Internal error: \ncode=";
    static const char digits[] = "0123456789abcdef";
    for (unsigned char c : position) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

// runs statement and expects a tk_mail_assertion for file and line
#define EXPECT_TK_ASSERTION(statement, file, line)                                          \
    do {                                                                                    \
        try {                                                                               \
            statement;                                                                      \
            ADD_FAILURE() << "no tk_mail_assertion from " #statement;                       \
        } catch (const tk_mail_assertion& e_) {                                             \
            EXPECT_EQ(e_.get_text(), tk_expected_assertion(file, line));                    \
            EXPECT_EQ(e_.get_level(), 2);                                                   \
        }                                                                                   \
    } while (0)
