#include "tk_regk.hpp"
#include "tk_test_files.hpp"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char key_path[] = "Software\\Varnholt\\Quilmot";

// the per-user store lives in a directory of the test's own
class tk_regk_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            saved = old;
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (saved.empty())
            unsetenv("XDG_CONFIG_HOME");
        else
            setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    }
    // opens the key the way the settings do and tells whether it was created
    static unsigned long open_disposition(tk_reg_key& key)
    {
        unsigned long disposition = 0;
        EXPECT_EQ(key.open(tk_hkey_current_user, key_path, nullptr, 0, tk_key_all_access, nullptr,
                           &disposition),
                  tk_reg_ok);
        return disposition;
    }
    std::string store_file() const { return dir.file("Varnholt/Quilmot.ini"); }

    test_temp_dir dir{"tk_test"};
    std::string saved;
};

} // namespace

TEST_F(tk_regk_test, values_round_trip_through_private_store_file)
{
    {
        tk_reg_key key(key_path);
        EXPECT_EQ(open_disposition(key), tk_reg_created_new_key);
        uint32_t port = 5432;
        bool views = true;
        std::string host = "db.local";
        std::wstring user = L"sch\x00e9ma\r\nline\\two";
        EXPECT_TRUE(key.exchange("pgsport", port, true));
        EXPECT_TRUE(key.exchange("convert_views", views, true));
        EXPECT_TRUE(key.exchange("pgshost", host, true));
        EXPECT_TRUE(key.exchange("oracleu", user, true));
    }
    struct stat st {};
    ASSERT_EQ(stat(store_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(test_read_file(store_file()),
              "convert_views=dword:1\n"
              "oracleu=sz:sch\xC3\xA9ma\\r\\nline\\\\two\n"
              "pgshost=sz:db.local\n"
              "pgsport=dword:5432\n");

    tk_reg_key key(key_path);
    EXPECT_EQ(open_disposition(key), tk_reg_opened_existing_key);
    uint32_t port = 0;
    bool views = false;
    std::string host;
    std::wstring user;
    EXPECT_TRUE(key.exchange("pgsport", port, false));
    EXPECT_TRUE(key.exchange("convert_views", views, false));
    EXPECT_TRUE(key.exchange("pgshost", host, false));
    EXPECT_TRUE(key.exchange("oracleu", user, false));
    EXPECT_EQ(port, 5432u);
    EXPECT_TRUE(views);
    EXPECT_EQ(host, "db.local");
    EXPECT_EQ(user, L"sch\x00e9ma\r\nline\\two");
}

TEST_F(tk_regk_test, missing_values_keep_defaults_and_empty_text_is_read)
{
    tk_reg_key key(key_path);
    ASSERT_EQ(key.open(), tk_reg_ok);
    bool flag = true;
    uint32_t mode = 1;
    std::string host = "default";
    std::wstring port = L"1521";
    EXPECT_FALSE(key.exchange("tab_def", flag, false));
    EXPECT_FALSE(key.exchange("mode", mode, false));
    EXPECT_FALSE(key.exchange("pgshost", host, false));
    EXPECT_FALSE(key.exchange("oraport", port, false));
    EXPECT_TRUE(flag);
    EXPECT_EQ(mode, 1u);
    EXPECT_EQ(host, "default");
    EXPECT_EQ(port, L"1521");

    std::wstring empty;
    ASSERT_TRUE(key.exchange("dest", empty, true));
    std::wstring dest = L"orcl";
    EXPECT_TRUE(key.exchange("dest", dest, false));
    EXPECT_EQ(dest, L"");
}

TEST_F(tk_regk_test, dword_two_reads_as_true_and_wrong_type_keeps_variable)
{
    tk_reg_key key(key_path);
    ASSERT_EQ(key.open(), tk_reg_ok);
    ASSERT_EQ(key.set_value("uppercase", uint32_t(2)), tk_reg_ok);
    ASSERT_EQ(key.set_value("src", L"pgdb"), tk_reg_ok);
    bool upper = false;
    EXPECT_TRUE(key.exchange("uppercase", upper, false));
    EXPECT_TRUE(upper);
    uint32_t number = 7;
    EXPECT_FALSE(key.exchange("src", number, false));
    EXPECT_EQ(number, 7u);
    std::string text = "keep";
    EXPECT_FALSE(key.exchange("uppercase", text, false));
    EXPECT_EQ(text, "keep");
}

TEST_F(tk_regk_test, unopened_key_answers_false_without_touching_store)
{
    tk_reg_key key(key_path);
    bool flag = true;
    std::wstring text = L"x";
    EXPECT_FALSE(key.exchange("uppercase", flag, true));
    EXPECT_FALSE(key.exchange("uppercase", flag, false));
    EXPECT_FALSE(key.exchange("src", text, false));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Varnholt")));
    EXPECT_TK_ASSERTION(key.set_value("mode", uint32_t(1)), "tk_regk.cpp", 149);
    EXPECT_TK_ASSERTION(key.set_value("pgshost", "h"), "tk_regk.cpp", 157);
    EXPECT_TK_ASSERTION(key.set_value("src", L"s"), "tk_regk.cpp", 165);
}

TEST_F(tk_regk_test, misuse_is_an_internal_error)
{
    tk_reg_key key(key_path);
    EXPECT_TK_ASSERTION(key.open(nullptr, key_path, nullptr, 0, tk_key_all_access, nullptr, nullptr),
                        "tk_regk.cpp", 64);
    ASSERT_EQ(key.open(), tk_reg_ok);
    uint32_t v = 0;
    unsigned long size = 0;
    EXPECT_TK_ASSERTION(key.get_value(nullptr, v), "tk_regk.cpp", 98);
    EXPECT_TK_ASSERTION(key.get_value(nullptr, static_cast<char*>(nullptr), &size), "tk_regk.cpp", 115);
    EXPECT_TK_ASSERTION(key.get_value("x", static_cast<char*>(nullptr), nullptr), "tk_regk.cpp", 116);
    EXPECT_TK_ASSERTION(key.get_value(nullptr, static_cast<wchar_t*>(nullptr), &size), "tk_regk.cpp", 132);
    EXPECT_TK_ASSERTION(key.get_value("x", static_cast<wchar_t*>(nullptr), nullptr), "tk_regk.cpp", 133);
    EXPECT_TK_ASSERTION(key.set_value("x", static_cast<const char*>(nullptr)), "tk_regk.cpp", 156);
    EXPECT_TK_ASSERTION(key.set_value("x", static_cast<const wchar_t*>(nullptr)), "tk_regk.cpp", 164);
}

TEST_F(tk_regk_test, second_open_closes_first_key_and_keeps_working)
{
    tk_reg_key key(key_path);
    ASSERT_EQ(key.open(), tk_reg_ok);
    ASSERT_EQ(key.open(tk_hkey_current_user, "Software\\Varnholt\\Other", nullptr, 0,
                       tk_key_all_access, nullptr, nullptr),
              tk_reg_ok);
    ASSERT_EQ(key.set_value("mode", uint32_t(4)), tk_reg_ok);
    EXPECT_EQ(test_read_file(dir.file("Varnholt/Other.ini")), "mode=dword:4\n");
    EXPECT_EQ(test_read_file(store_file()), "");
}

TEST_F(tk_regk_test, size_query_and_short_buffer_follow_registry_rules)
{
    tk_reg_key key(key_path);
    ASSERT_EQ(key.open(), tk_reg_ok);
    ASSERT_EQ(key.set_value("pgshost", "abcdef"), tk_reg_ok);
    unsigned long size = 0;
    ASSERT_EQ(key.get_value("pgshost", static_cast<char*>(nullptr), &size), tk_reg_ok);
    EXPECT_EQ(size, 7u);
    char small[3];
    size = sizeof small;
    EXPECT_EQ(key.get_value("pgshost", small, &size), tk_reg_more_data);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(key.get_value("missing", static_cast<char*>(nullptr), &size), tk_reg_not_found);
}

TEST_F(tk_regk_test, damaged_lines_are_skipped)
{
    std::filesystem::create_directories(dir.file("Varnholt"));
    test_write_file(store_file(), "garbage\nmode=dword:x\nmode=dword:99999999999\nsrc=sz:db\n=sz:none\n");
    tk_reg_key key(key_path);
    ASSERT_EQ(key.open(), tk_reg_ok);
    uint32_t mode = 1;
    std::wstring src;
    EXPECT_FALSE(key.exchange("mode", mode, false));
    EXPECT_EQ(mode, 1u);
    EXPECT_TRUE(key.exchange("src", src, false));
    EXPECT_EQ(src, L"db");
}

TEST_F(tk_regk_test, store_is_written_through_a_file_of_its_own_never_through_a_link)
{
    tk_reg_key key(key_path);
    ASSERT_EQ(key.open(), tk_reg_ok);
    std::string host = "first";
    ASSERT_TRUE(key.exchange("pgshost", host, true));
    // what another user could have put where the store writes its next version first
    const std::string temp = store_file() + ".tmp." + std::to_string(getpid());
    const std::string target = dir.write("target.txt", "not the store's");
    const std::string leftover = "a leftover\n";
    const struct {
        std::string what;
        std::function<void()> place;
    } cases[] = {
        {"a link", [&] { std::filesystem::create_symlink(target, temp); }},
        {"a file", [&] { test_write_file(temp, leftover); }},
    };
    for (const auto& c : cases) {
        c.place();
        host = "through " + c.what;
        EXPECT_TRUE(key.exchange("pgshost", host, true)) << c.what;
        EXPECT_EQ(test_read_file(target), "not the store's") << c.what;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(temp))) << c.what;
        struct stat st {};
        ASSERT_EQ(lstat(store_file().c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << c.what;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << c.what;
        EXPECT_EQ(test_read_file(store_file()), "pgshost=sz:" + host + "\n") << c.what;
    }
}
