#include "tk_cmdli.hpp"
#include "tk_except.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const cmdli_option table[] = {
    {0, "--dest="},
    {1, "--silent"},
    {2, "--s"},
    {0, ""},
};

struct seen {
    int id;
    std::string value;
    bool operator==(const seen&) const = default;
};

std::vector<seen> walk(std::vector<const char*> argv, tk_cmdli& args)
{
    argv.insert(argv.begin(), "prog");
    std::vector<seen> out;
    for (args.init(static_cast<int>(argv.size()), argv.data(), table); args.has_more(); args.next())
        out.push_back({args.get_id(), args.get_value()});
    return out;
}

} // namespace

TEST(tk_cmdli, matches_the_first_name_the_argument_begins_with)
{
    tk_cmdli args;
    const std::vector<seen> got =
        walk({"--dest=orcl", "--dest=", "--silentX", "--sx", "x", "--DEST=a", ""}, args);
    const std::vector<seen> expected = {
        {0, "orcl"}, {0, ""}, {1, "X"}, {2, "x"}, {-1, "x"}, {-1, "--DEST=a"}, {-1, ""}};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(args.get_unknown(), (std::vector<std::string>{"x", "--DEST=a", ""}));
}

TEST(tk_cmdli, keeps_every_unknown_argument_and_guards_the_cursor)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 40; ++i)
        texts.push_back("-u" + std::to_string(i));
    std::vector<const char*> argv;
    for (const std::string& t : texts)
        argv.push_back(t.c_str());
    tk_cmdli args;
    EXPECT_EQ(walk(argv, args).size(), 40u);
    EXPECT_EQ(args.get_unknown().size(), 40u);
    EXPECT_EQ(args.get_unknown().back(), "-u39");
    EXPECT_FALSE(args.has_more());
    EXPECT_THROW(args.next(), tk_mail_assertion);

    const char* only_program[] = {"prog"};
    tk_cmdli none(1, only_program, table);
    EXPECT_FALSE(none.has_more());
    EXPECT_TRUE(none.get_unknown().empty());
}
