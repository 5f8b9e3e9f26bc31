#include "tk_except.hpp"
#include "tk_fname.hpp"
#include "tk_test_files.hpp"
#include "tk_utils.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string cwd()
{
    return std::filesystem::current_path().string();
}

std::string exe_path()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

// runs in a directory of its own and goes back afterwards
class tk_fname_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = cwd();
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(saved.c_str()), 0); }

    test_temp_dir dir{"tk_test"};
    std::string saved;
};

} // namespace

TEST(tk_file_name, full_path_splits_into_directory_name_and_extension)
{
    const tk_file_name fn("/dir/sub/file.txt");
    EXPECT_EQ(fn.drive, "");
    EXPECT_EQ(fn.directory, "/dir/sub/");
    EXPECT_EQ(fn.name, "file");
    EXPECT_EQ(fn.extension, ".txt");
    EXPECT_EQ(fn.get_path(), "/dir/sub/");
    EXPECT_EQ(fn.make_path(), "/dir/sub/file.txt");
}

TEST(tk_file_name, split_cases)
{
    const struct {
        const char* path;
        const char* directory;
        const char* name;
        const char* extension;
    } cases[] = {
        {"/a/b.tar.gz", "/a/", "b.tar", ".gz"},
        {"/a/noext", "/a/", "noext", ""},
        {"/a/./b/../c.log", "/a/", "c", ".log"},
        {"//a///c.log", "/a/", "c", ".log"},
        {"/a/dir/", "/a/dir/", "", ""},
        {"/", "/", "", ""},
        {"/a.d/f", "/a.d/", "f", ""},
    };
    for (const auto& c : cases) {
        const tk_file_name fn(c.path);
        EXPECT_EQ(fn.directory, c.directory) << c.path;
        EXPECT_EQ(fn.name, c.name) << c.path;
        EXPECT_EQ(fn.extension, c.extension) << c.path;
    }
}

TEST(tk_file_name, set_extension_adds_missing_dot)
{
    tk_file_name fn("/x/kestrun");
    fn.set_extension("log");
    EXPECT_EQ(fn.extension, ".log");
    fn.set_extension(".log");
    EXPECT_EQ(fn.extension, ".log");
    EXPECT_EQ(fn.make_path(), "/x/kestrun.log");
    fn.set_extension("");
    EXPECT_EQ(fn.make_path(), "/x/kestrun");

    tk_file_wname wn(L"/x/kestrun");
    wn.set_extension(L"log");
    EXPECT_EQ(wn.make_path(), L"/x/kestrun.log");
}

TEST(tk_file_name, empty_path_is_program_directory_without_name)
{
    const tk_file_name fn("");
    const std::filesystem::path exe = exe_path();
    EXPECT_EQ(fn.directory, exe.parent_path().string() + "/");
    EXPECT_EQ(fn.name, "");
    EXPECT_EQ(tk_get_module_file_name(), exe.string());
    EXPECT_EQ(tk_get_module_dir(), exe.parent_path().string() + "/");
    EXPECT_EQ(tk_get_module_wfile_name(), tk_to_unicode(exe.string()));
}

TEST(tk_file_name, null_path_is_an_internal_error)
{
    EXPECT_TK_ASSERTION(tk_file_name(static_cast<const char*>(nullptr)), "tk_fname.cpp", 31);
    EXPECT_TK_ASSERTION(tk_file_wname(static_cast<const wchar_t*>(nullptr)), "tk_fname.cpp", 81);
}

TEST_F(tk_fname_test, relative_path_is_resolved_against_current_directory)
{
    const std::string here = cwd();
    const tk_file_name fn("sub/../trace.log");
    EXPECT_EQ(fn.get_path(), here + "/");
    EXPECT_EQ(fn.make_path(), here + "/trace.log");

    const tk_file_wname wn(L"d\x00e9j\x00e0.txt");
    EXPECT_EQ(wn.directory, tk_to_unicode(here + "/"));
    EXPECT_EQ(wn.name, L"d\x00e9j\x00e0");
    EXPECT_EQ(wn.extension, L".txt");
}

TEST_F(tk_fname_test, long_paths_are_ordinary)
{
    std::string rel;
    for (int i = 0; i < 40; ++i)
        rel += "directory_level_" + std::to_string(i) + "/";
    ASSERT_TRUE(std::filesystem::create_directories(rel));
    const tk_file_name fn((rel + "f.log").c_str());
    EXPECT_EQ(fn.get_path(), cwd() + "/" + rel);
    EXPECT_GT(fn.make_path().size(), 700u);
    EXPECT_TRUE(tk_is_path_exist(fn.get_path()));
}

TEST_F(tk_fname_test, file_exist_tests_respect_kind_and_write_permission)
{
    const std::string rw = dir.file("rw.txt");
    const std::string ro = dir.file("ro.txt");
    test_write_file(rw, "x");
    test_write_file(ro, "x");
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);

    EXPECT_TRUE(tk_is_file_exist(rw, 1));
    EXPECT_TRUE(tk_is_file_exist(rw, 0x4000));
    EXPECT_FALSE(tk_is_file_exist(ro, 1));
    EXPECT_TRUE(tk_is_file_exist(ro, 0x4000));
    EXPECT_FALSE(tk_is_file_exist(dir.path(), 0x4000));
    EXPECT_FALSE(tk_is_file_exist(dir.path(), 1));
    EXPECT_FALSE(tk_is_file_exist(dir.file("missing"), 0x4000));
    EXPECT_TRUE(tk_is_file_exist(tk_to_unicode(rw), 1));
    EXPECT_FALSE(tk_is_file_exist(tk_to_unicode(ro), 1));
}

TEST_F(tk_fname_test, path_exist_leaves_current_directory_unchanged)
{
    const std::string here = cwd();
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("sub")));
    EXPECT_TRUE(tk_is_path_exist(dir.file("sub")));
    EXPECT_EQ(cwd(), here);
    EXPECT_FALSE(tk_is_path_exist(dir.file("missing")));
    EXPECT_EQ(cwd(), here);
    test_write_file(dir.file("plain"), "x");
    EXPECT_FALSE(tk_is_path_exist(dir.file("plain")));
    EXPECT_EQ(cwd(), here);
}

TEST_F(tk_fname_test, cur_dir_guard_changes_and_restores)
{
    const std::string here = cwd();
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("inner")));
    {
        const tk_cur_dir_guard guard(dir.file("inner"));
        EXPECT_TRUE(guard.is_changed());
        EXPECT_EQ(cwd(), dir.file("inner"));
    }
    EXPECT_EQ(cwd(), here);
    {
        const tk_cur_dir_guard guard("");
        EXPECT_EQ(cwd() + "/", tk_get_module_dir());
    }
    EXPECT_EQ(cwd(), here);
}

TEST(get_dll_version, reads_major_and_minor_of_exported_function)
{
    EXPECT_EQ(get_dll_version(tk_to_unicode(TK_TEST_DLLVER)), (5u << 16) | 82u);
}

TEST(get_dll_version, library_without_function_or_missing_library_gives_zero)
{
    EXPECT_EQ(get_dll_version(L"libm.so.6"), 0u);
    EXPECT_EQ(get_dll_version(L"/nonexistent/libnothing.so"), 0u);
}
