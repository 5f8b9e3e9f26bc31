#pragma once

#include "test_files.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

inline std::wstring wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// the trace log of one test at level 1, read back as lines
class trace_capture {
public:
    trace_capture()
        : m_file(m_dir.file("trace.log")),
          m_log(std::make_unique<tk_log>(m_file.c_str(), true, 1, false))
    {
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::istringstream in(test_read_file(m_file));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            result.push_back(line);
        }
        return result;
    }

    bool contains(const std::string& line) const
    {
        for (const auto& l : lines())
            if (l == line)
                return true;
        return false;
    }

    // forgets what was traced so far
    void clear() const { test_write_file(m_file, ""); }

private:
    test_temp_dir m_dir{"udb_test"};
    std::string m_file;
    std::unique_ptr<tk_log> m_log;
};

// the statement raises the internal error of that source position
#define EXPECT_MAIL_ASSERTION(statement, file, line)                                   \
    do {                                                                               \
        try {                                                                          \
            statement;                                                                 \
            ADD_FAILURE() << "no internal error raised";                               \
        } catch (const tk_mail_assertion& e) {                                         \
            EXPECT_EQ(e.get_level(), 2);                                               \
            EXPECT_STREQ(e.what(), tk_mail_assertion(file, line).what());              \
        }                                                                              \
    } while (0)
