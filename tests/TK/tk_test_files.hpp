#pragma once

#include "test_files.hpp"
#include "tk_except.hpp"

#include <string>

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
