#include "udb_prof.hpp"
#include "udb_test_util.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class udb_profile_file : public ::testing::Test {
protected:
    std::string path(const std::string& name = "p.qlx") const { return m_dir.file(name); }
    std::wstring wpath(const std::string& name = "p.qlx") const { return wide(path(name)); }

    // loads the bytes as a profile file into profile
    bool load_bytes(udb_profile& profile, const std::string& bytes)
    {
        test_write_file(path("in.qlx"), bytes);
        return profile.load(wpath("in.qlx"));
    }

private:
    test_temp_dir m_dir{"udb_test"};
};

}  // namespace

TEST_F(udb_profile_file, new_profile_stores_six_lines)
{
    udb_profile profile;
    ASSERT_TRUE(profile.store(wpath()));
    EXPECT_EQ(test_read_file(path()),
              "[Available Queries]\r\n\r\n[Generic settings]\r\n\r\n[Selected Tables]\r\n\r\n");
}

TEST_F(udb_profile_file, store_writes_sections_and_keys_in_ordinal_order)
{
    udb_profile profile;
    profile.set_value(L"pgs settings", L"host", L"localhost");
    profile.set_value(L"Oracle settings", L"user", L"scott");
    profile.set_value(L"Generic settings", L"src", L"sales");
    profile.set_value(L"Generic settings", L"mode", L"1");
    profile.set_value(L"Generic settings", L"logfile", L"");
    profile.set_value(L"Selected Tables", L"emp", L"");
    profile.set_value(L"Selected Tables", L"dept", L"select * from dept");
    profile.set_value(L"Available Queries", L"q", L"select 1");
    ASSERT_TRUE(profile.store(wpath()));
    EXPECT_EQ(test_read_file(path()),
              "[Available Queries]\r\nq=select 1\r\n\r\n"
              "[Generic settings]\r\nlogfile=\r\nmode=1\r\nsrc=sales\r\n\r\n"
              "[Oracle settings]\r\nuser=scott\r\n\r\n"
              "[Selected Tables]\r\ndept=select * from dept\r\nemp\r\n\r\n"
              "[pgs settings]\r\nhost=localhost\r\n\r\n");
}

TEST_F(udb_profile_file, stored_profile_loads_back_the_same)
{
    udb_profile profile;
    profile.set_value(L"Selected Tables", L"public.emp", L"");
    profile.set_value(L"Selected Tables", L"[dbo].[t]", L"");
    profile.set_value(L"Selected Tables", L"[x]", L"select 1");
    profile.set_value(L"Selected Tables", L"", L"");
    profile.set_value(L"Available Queries", L"q", L" select 2");
    profile.set_value(L"Generic settings", L"src", L"d\u00e9j\u00e0 \u4e2d");
    profile.set_value(L"Generic settings", L"logfile", L"");
    profile.set_value(L"Generic settings", L"x", L"a=b=c");
    profile.set_value(L" odd ", L"k", L"v");
    ASSERT_TRUE(profile.store(wpath()));

    udb_profile back;
    ASSERT_TRUE(back.load(wpath()));
    EXPECT_EQ(back.get_selected_tables(), profile.get_selected_tables());
    EXPECT_EQ(back.get_available_queries(), profile.get_available_queries());
    EXPECT_EQ(back.get_value(L"Generic settings", L"src"), L"d\u00e9j\u00e0 \u4e2d");
    EXPECT_EQ(back.get_value(L"Generic settings", L"x"), L"a=b=c");
    EXPECT_EQ(back.get_value(L" odd ", L"k"), L"v");
    // the bracketed name did not become a section
    EXPECT_EQ(back.get_value(L"dbo].[t", L""), L"");
    EXPECT_EQ(back.get_selected_tables().count(L"[dbo].[t]"), 1u);
    EXPECT_EQ(back.get_selected_tables().size(), 4u);
}

TEST_F(udb_profile_file, bracketed_table_name_does_not_hide_later_tables)
{
    udb_profile profile;
    profile.set_value(L"Selected Tables", L"[a]", L"");
    profile.set_value(L"Selected Tables", L"b", L"");
    ASSERT_TRUE(profile.store(wpath()));
    EXPECT_NE(test_read_file(path()).find("[Selected Tables]\r\n[a]=\r\nb\r\n"), std::string::npos);
    udb_profile back;
    ASSERT_TRUE(back.load(wpath()));
    EXPECT_EQ(back.get_selected_tables(), profile.get_selected_tables());
}

TEST_F(udb_profile_file, store_refuses_what_would_not_read_back_and_leaves_the_file)
{
    using r = udb_profile::refusal;
    struct case_t {
        const wchar_t* section;
        std::wstring key;
        std::wstring value;
        r::reason_t reason;
    } cases[] = {
        {L"Generic settings", L"a=b", L"v", r::other},
        {L"Selected Tables", L"a=b", L"", r::other},
        {L"Selected Tables", L"a\nb", L"", r::line_break},
        {L"Generic settings", L"a\r", L"v", r::line_break},
        {L"Generic settings", L" a", L"v", r::other},
        {L"Selected Tables", L"a ", L"", r::other},
        {L"Available Queries", L"q", L"select 1\nfrom t", r::line_break},
        {L"Available Queries", L"q", L"select 1 ", r::trailing_blank},  // trailing blanks are trimmed
        {L"Oracle settings", L"password", L"tiger ", r::trailing_blank},  // would lose its blank
        {L"Oracle settings", L"password", L" ", r::trailing_blank},
        {L"Oracle settings", L"password", L"tiger\t", r::trailing_blank},  // a tab is a blank
        {L"Generic settings", L"\ta", L"v", r::other},
        {L"Oracle settings", L"host", std::wstring(4100, L'h'), r::too_long},
        {L"Available Queries", L"[q", L"select a[1]", r::other},        // reads as a section header
        {L"Generic settings", std::wstring(L"a\0b", 3), L"v", r::other},
        {L"Generic settings", L"k", std::wstring(1, wchar_t(0xd800)), r::other},  // lone surrogate
        {L"bad\nsection", L"k", L"v", r::other},
    };
    for (const auto& c : cases) {
        test_write_file(path(), "old contents");
        udb_profile profile;
        profile.set_value(L"Generic settings", L"src", L"db");
        EXPECT_EQ(profile.store_refusal().reason, r::none);
        profile.set_value(c.section, c.key, c.value);
        const r problem = profile.store_refusal();
        EXPECT_EQ(problem.reason, c.reason) << tk_to_utf8(c.key) << "=" << tk_to_utf8(c.value);
        // the entry is named; a section header that would not read back names none
        const bool header = std::wstring(c.section).find(L'\n') != std::wstring::npos;
        EXPECT_EQ(problem.section, header ? L"" : c.section);
        EXPECT_EQ(problem.key, header ? L"" : c.key);
        EXPECT_FALSE(profile.store(wpath())) << tk_to_utf8(c.key) << "=" << tk_to_utf8(c.value);
        EXPECT_EQ(test_read_file(path()), "old contents");
    }
}

TEST_F(udb_profile_file, store_reports_a_file_that_cannot_be_written_and_why)
{
    udb_profile profile;
    int error = 0;
    EXPECT_FALSE(profile.store(wpath("missing/dir/p.qlx"), &error));
    EXPECT_EQ(error, ENOENT);
    // a device that is always full: the write or its flush fails
    struct stat st {};
    if (stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) {
        error = 0;
        EXPECT_FALSE(profile.store(L"/dev/full", &error));
        EXPECT_EQ(error, ENOSPC) << std::strerror(error);
    }
}

TEST_F(udb_profile_file, store_refuses_another_users_file_and_leaves_it_theirs)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: only root can give a file to another user and still open it";
    const std::string file = path("theirs.qlx");
    test_write_file(file, "their profile");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    udb_profile profile;
    profile.set_value(L"Oracle settings", L"password", L"secret");
    int error = 0;
    EXPECT_FALSE(profile.store(wide(file), &error));
    EXPECT_EQ(error, EPERM) << std::strerror(error);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(test_read_file(file), "their profile");
}

TEST_F(udb_profile_file, store_leaves_the_file_to_its_owner_alone)
{
    // the mode before the store (none: a new file) and after it
    const struct {
        int before;
        unsigned after;
    } cases[] = {{-1, 0600}, {0644, 0600}, {0666, 0600}, {0755, 0600}, {0600, 0600}, {0620, 0600}};
    const mode_t old_mask = umask(0);
    for (const auto& c : cases) {
        const std::string file = path("mode.qlx");
        std::remove(file.c_str());
        if (c.before >= 0) {
            test_write_file(file, "old");
            ASSERT_EQ(chmod(file.c_str(), static_cast<mode_t>(c.before)), 0);
        }
        udb_profile profile;
        profile.set_value(L"Oracle settings", L"password", L"secret");
        EXPECT_TRUE(profile.store(wide(file))) << c.before;
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.after) << std::oct << c.before;
        // emptied first: nothing of the old bytes is left behind
        EXPECT_EQ(test_read_file(file).rfind("[Available Queries]", 0), 0u) << c.before;
    }
    umask(old_mask);
}

TEST_F(udb_profile_file, load_of_missing_file_raises_level_one)
{
    udb_profile profile;
    try {
        profile.load(wpath("none.qlx"));
        FAIL() << "no error";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(),
                     "Profile does not exist. Please verify the correct path/name was given.");
    }
    EXPECT_THROW(profile.load(wide(path(""))), tk_exception);  // a directory is not a file
}

TEST_F(udb_profile_file, load_parses_entries_and_headers)
{
    udb_profile profile;
    ASSERT_TRUE(load_bytes(profile,
                           "[Generic settings]\r\n"
                           "  key = value  \r\n"
                           "a=b=c\n"
                           "bare\r\n"
                           "\r\n"
                           "   \r\n"
                           "[ Generic settings ]\r\n"
                           "x=1\r\n"
                           "[]\n"
                           "e=\n"
                           "last=1"));
    EXPECT_EQ(profile.get_value(L"Generic settings", L"key"), L" value");
    EXPECT_EQ(profile.get_value(L"Generic settings", L"a"), L"b=c");
    EXPECT_EQ(profile.get_value(L"Generic settings", L"bare"), L"");
    EXPECT_EQ(profile.get_value(L"Generic settings", L"x"), L"");
    EXPECT_EQ(profile.get_value(L" Generic settings ", L"x"), L"1");
    EXPECT_EQ(profile.get_value(L"", L"e"), L"");
    EXPECT_EQ(profile.get_value(L"", L"last"), L"1");  // no line end at the end of the file
    EXPECT_EQ(profile.get_value(L"nowhere", L"e"), L"");
}

TEST_F(udb_profile_file, repeated_key_keeps_its_first_value)
{
    udb_profile profile;
    ASSERT_TRUE(load_bytes(profile,
                           "[s]\r\nk=first\r\nk=second\r\n[t]\r\nk=other\r\n[s]\r\nk=third\r\n"
                           "n=new\r\n"));
    EXPECT_EQ(profile.get_value(L"s", L"k"), L"first");
    EXPECT_EQ(profile.get_value(L"s", L"n"), L"new");
    EXPECT_EQ(profile.get_value(L"t", L"k"), L"other");
    profile.set_value(L"s", L"k", L"changed");
    EXPECT_EQ(profile.get_value(L"s", L"k"), L"first");
    // every later value written otherwise is a conflict, also under a repeated header
    using conflicts = std::vector<std::array<std::wstring, 4>>;
    const auto conflicts_of = [](const udb_profile& p) {
        conflicts out;
        for (const udb_profile::conflict& c : p.get_conflicts())
            out.push_back({c.section, c.key, c.first, c.other});
        return out;
    };
    EXPECT_EQ(conflicts_of(profile),
              (conflicts{{L"s", L"k", L"first", L"second"}, {L"s", L"k", L"first", L"third"}}));
    udb_profile later;
    ASSERT_TRUE(load_bytes(later, "[s]\r\nk=1\r\nbare\r\n[t]\r\nk=2\r\n[s]\r\nbare=x\r\n"));
    EXPECT_EQ(conflicts_of(later), (conflicts{{L"s", L"bare", L"", L"x"}}));
    // the same line twice, and the same value with its line's blanks, say one thing
    udb_profile same;
    ASSERT_TRUE(load_bytes(same, "[s]\r\nk=1\r\nk=1 \r\n  k=1\r\nbare\r\nbare\r\n"));
    EXPECT_EQ(conflicts_of(same), conflicts{});
    // a value's blanks after the "=" are its own
    ASSERT_TRUE(load_bytes(same, "[s]\r\nk=1\r\nk = 1\r\n"));
    EXPECT_EQ(conflicts_of(same), (conflicts{{L"s", L"k", L"1", L" 1"}}));
}

TEST_F(udb_profile_file, load_knows_the_line_of_each_first_header_and_key)
{
    udb_profile profile;
    ASSERT_TRUE(load_bytes(profile, "\r\n[s]\r\nk=1\n\r\n[t]\r\n  k=2\r\n[s]\r\nk=3\r\nn\r\n"));
    EXPECT_EQ(profile.get_line(L"s"), 2u);
    EXPECT_EQ(profile.get_line(L"t"), 5u);
    EXPECT_EQ(profile.get_line(L"s", L"k"), 3u);
    EXPECT_EQ(profile.get_line(L"t", L"k"), 6u);
    EXPECT_EQ(profile.get_line(L"s", L"n"), 9u);
    EXPECT_EQ(profile.get_line(L"Generic settings"), 0u);
    EXPECT_EQ(profile.get_line(L"s", L"none"), 0u);
}

TEST_F(udb_profile_file, entry_before_any_section_fails_and_reads_nothing_after_it)
{
    udb_profile profile;
    profile.set_value(L"s", L"kept", L"1");
    EXPECT_FALSE(load_bytes(profile, "\r\nk=v\r\n[s]\r\na=1\r\n"));
    EXPECT_EQ(profile.get_value(L"s", L"a"), L"");
    EXPECT_EQ(profile.get_value(L"s", L"kept"), L"1");
}

TEST_F(udb_profile_file, a_tab_is_a_blank_where_a_line_or_a_key_is_trimmed)
{
    udb_profile profile;
    ASSERT_TRUE(load_bytes(profile, "[Generic settings]\t\r\n\tmode\t=\t2\t\r\n"
                                    "\t[Selected Tables] \t\r\n\tt\t\r\n"));
    // a value keeps what follows the "=", as with a space
    EXPECT_EQ(profile.get_value(L"Generic settings", L"mode"), L"\t2");
    EXPECT_EQ(profile.get_selected_tables(), (udb_profile::t_section{{L"t", L""}}));
    EXPECT_EQ(profile.get_sections().size(), 3u);
    EXPECT_EQ(udb_prof_trim(L" \t a \tb\t \t"), L"a \tb");
    EXPECT_EQ(udb_prof_trim_right(L"\t a\t "), L"\t a");
    EXPECT_EQ(udb_prof_trim(L"\t \t"), L"");
}

TEST_F(udb_profile_file, reading_stops_at_the_first_line_that_is_not_utf8_text)
{
    const struct {
        std::string bytes;
        std::size_t line;
    } cases[] = {
        {"[s]\r\nk=caf\xC3\xA9\r\nn=1\r\n", 0},
        {"[s]\r\nk=caf\xE9\r\nn=1\r\n", 2},           // latin-1
        {"[s]\r\nk=1\r\nq\xE9=2\r\nn=1\r\n", 3},
        {"[s]\r\nk=\xC3\r\nn=1\r\n", 2},              // cut short
        {"[s]\r\nk=\xED\xA0\x80\r\nn=1\r\n", 2},      // a surrogate
        {"[s]\r\nk=\xC0\xAF\r\nn=1\r\n", 2},          // overlong
        {std::string("[s]\r\nk=a\0b\r\nn=1\r\n", 15), 2},  // a NUL would end the text
        {"[s\x80]\r\nn=1\r\n", 1},
    };
    for (const auto& c : cases) {
        udb_profile profile;
        EXPECT_TRUE(load_bytes(profile, c.bytes)) << c.line;
        EXPECT_EQ(profile.get_unreadable_line(), c.line) << c.bytes;
        // nothing from that line on is read
        EXPECT_EQ(profile.get_value(L"s", L"n"), c.line ? L"" : L"1") << c.bytes;
    }
}

TEST_F(udb_profile_file, file_with_byte_order_mark_is_refused)
{
    udb_profile profile;
    EXPECT_FALSE(load_bytes(profile, "\xef\xbb\xbf[Generic settings]\r\nsrc=db\r\n"));
    EXPECT_EQ(profile.get_value(L"Generic settings", L"src"), L"");
}

TEST_F(udb_profile_file, lines_of_any_length_are_read_whole)
{
    for (size_t length : {size_t(4095), size_t(4096), size_t(20000)}) {
        std::string query = "select " + std::string(length - 9, 'x') + " t";
        std::string line = "q=" + query;
        ASSERT_GE(line.size(), length);
        udb_profile profile;
        ASSERT_TRUE(load_bytes(profile, "[Available Queries]\r\n" + line + "\r\nnext=1\r\n"));
        EXPECT_EQ(profile.get_value(L"Available Queries", L"q"), wide(query));
        EXPECT_EQ(profile.get_value(L"Available Queries", L"next"), L"1");
    }
}

TEST_F(udb_profile_file, line_of_exactly_4095_bytes_is_read_normally)
{
    std::string line = "k=" + std::string(4093, 'v');
    ASSERT_EQ(line.size(), 4095u);
    udb_profile profile;
    ASSERT_TRUE(load_bytes(profile, "[s]\r\n" + line + "\r\nn=1\r\n"));
    EXPECT_EQ(profile.get_value(L"s", L"k"), std::wstring(4093, L'v'));
    EXPECT_EQ(profile.get_value(L"s", L"n"), L"1");
}

TEST_F(udb_profile_file, store_writes_lines_up_to_4095_bytes_and_refuses_longer_ones)
{
    for (const auto& [length, stored] : {std::pair{size_t(4095), true}, {size_t(4096), false}}) {
        udb_profile profile;
        // "k=" and the value: the whole line counts, the line end does not
        profile.set_value(L"s", L"k", std::wstring(length - 2, L'v'));
        const std::wstring file = wpath("long" + std::to_string(length) + ".qlx");
        EXPECT_EQ(profile.store(file), stored) << length;
        udb_profile back;
        if (stored) {
            ASSERT_TRUE(back.load(file));
            EXPECT_EQ(back.get_value(L"s", L"k").size(), length - 2);
        }
    }
}

TEST_F(udb_profile_file, load_adds_to_what_the_profile_holds)
{
    udb_profile profile;
    profile.set_value(L"Selected Tables", L"emp", L"");
    ASSERT_TRUE(load_bytes(profile, "[Selected Tables]\r\ndept\r\nemp=select 1\r\n"));
    EXPECT_EQ(profile.get_selected_tables(),
              (udb_profile::t_section{{L"dept", L""}, {L"emp", L""}}));
}

TEST(udb_profile, new_profile_has_the_three_sections_and_empty_lookups)
{
    udb_profile profile;
    EXPECT_TRUE(profile.get_available_queries().empty());
    EXPECT_TRUE(profile.get_selected_tables().empty());
    EXPECT_EQ(profile.get_value(L"Generic settings", L"src"), L"");
    profile.add_section(L"pgs settings");
    profile.set_value(L"pgs settings", L"host", L"h");
    profile.add_section(L"pgs settings");
    EXPECT_EQ(profile.get_value(L"pgs settings", L"host"), L"h");
    EXPECT_EQ(profile.get_value(L"PGS settings", L"host"), L"");  // names are exact
}
