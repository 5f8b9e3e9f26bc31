#pragma once

#include <string>

// a directory of its own for one test, removed with everything in it
class test_temp_dir {
public:
    // the directory is made under the system's temporary directory as prefix.XXXXXX
    explicit test_temp_dir(const std::string& prefix = "test");
    ~test_temp_dir();
    test_temp_dir(const test_temp_dir&) = delete;
    test_temp_dir& operator=(const test_temp_dir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // writes the bytes as they are and returns the path
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

// the whole file as bytes; empty when it cannot be read
std::string test_read_file(const std::string& path);
// replaces the file with the bytes; throws std::runtime_error when it cannot be written
void test_write_file(const std::string& path, const std::string& bytes);
