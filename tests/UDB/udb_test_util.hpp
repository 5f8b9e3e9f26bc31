#pragma once

#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

// a directory of its own for one test, removed with everything in it
class temp_dir {
public:
    temp_dir()
    {
        std::string pattern = "/tmp/udb_test_XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~temp_dir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write_bytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

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
        std::istringstream in(read_bytes(m_file));
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
    void clear() const { write_bytes(m_file, ""); }

private:
    temp_dir m_dir;
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
