#include "conv_support.hpp"

#include "ora_except.hpp"
#include "pgs_copy.hpp"
#include "pgs_except.hpp"

#include <gtest/gtest.h>

namespace {

struct mapped_case {
    int code;
    const char* message;
};

// the map's texts, as the user reads them: line feeds turned into blanks
const mapped_case mapped_cases[] = {
    {-1032, "Cannot connect to pgs server. Check to verify that pgs server is launched and allows "
            "connection."},
    {-30082, "Incorrect username or password"},
    {0x1003F9, "Invalid user name or password."},
    {0x10067A, "Not enough free contiguous space in the tablespace to create the object. Use ALTER "
               "TABLESPACE ADD DATAFILE to add additional space to the tablespace."},
    {0x1008FA, "There are orphaned records that prevent from creating foreign key. For more "
               "information see Troubleshooting article of the product documentation."},
    {0x1030E2, "Cannot resolve Oracle service name. Check to verify the correct name was given. "},
    {0x106D60, "Wrong password was entered the maximum number of times or the DBA has locked the "
               "account."},
};

class coded_error : public tk_exception {
public:
    coded_error(int code, int level) : tk_exception("raw text", level) { set_code(code); }
};

} // namespace

TEST(error_handler, maps_every_known_code_to_its_text_on_one_line)
{
    EXPECT_EQ(oracle_error_count, 12);
    EXPECT_EQ(pgs_connection_error_count, 2);
    recording_handler h;
    for (const mapped_case& c : mapped_cases) {
        h.reaction.reports.clear();
        h.handler.handle(coded_error(c.code, 0), false);
        ASSERT_EQ(h.reaction.reports.size(), 1u) << c.code;
        EXPECT_EQ(h.reaction.reports[0].message, c.message) << c.code;
    }
}

TEST(error_handler, record_context_prefixes_the_mapped_duplicate_key_text)
{
    recording_handler h;
    h.handler.set_record_context(L"t", 3);
    h.handler.handle(ora_exception(1, "ORA-00001: unique constraint violated"), false);
    ASSERT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_EQ(h.reaction.reports[0].code, 0x100001);
    EXPECT_EQ(h.reaction.reports[0].message,
              "t, record #3: Duplicate field values being used for an unique index were found. "
              "See 'Troubleshooting' article of the product documentation for solution.");
}

TEST(error_handler, unmapped_error_without_context_shows_its_own_text)
{
    recording_handler h;
    h.handler.handle(pgs_exception("ERROR:  relation \"x\" does not exist\n"), false);
    EXPECT_EQ(h.reaction.messages(),
              std::vector<std::string>{"ERROR:  relation \"x\" does not exist "});
}

TEST(error_handler, rows_a_deleted_recordset_could_not_commit_are_reported_at_level_0)
{
    {
        recording_handler h;
        pgs_report_load_failure(pgs_exception("Rows of t were not loaded: ERROR:  duplicate key"));
        EXPECT_EQ(h.reaction.messages(),
                  std::vector<std::string>{"Rows of t were not loaded: ERROR:  duplicate key"});
    }
    // without a handler nothing is reached that is gone
    pgs_report_load_failure(pgs_exception("Rows of t were not loaded"));
}

TEST(error_handler, record_context_keeps_long_table_names_whole)
{
    recording_handler h;
    const std::wstring name(300, L'n');
    h.handler.set_record_context(name + L"\u00e9", 12);
    EXPECT_EQ(h.handler.get_context(), std::string(300, 'n') + "\xc3\xa9, record #12");
}

TEST(error_handler, context_stays_until_replaced_or_cleared)
{
    recording_handler h;
    h.handler.set_context(L"orders");
    h.handler.handle(tk_exception("first", 0), false);
    h.handler.handle(tk_exception("second", 0), true);
    h.handler.clear_context();
    h.handler.handle(tk_exception("third", 0), true);
    EXPECT_EQ(h.reaction.messages(),
              (std::vector<std::string>{"orders: first", "orders: second", "third"}));
}

TEST(error_handler, level1_ends_the_operation_unless_it_may_continue)
{
    recording_handler h;
    EXPECT_THROW(h.handler.handle(tk_exception("bad", 1), false), tk_final_exception);
    EXPECT_NO_THROW(h.handler.handle(tk_exception("bad", 1), true));
    EXPECT_EQ(h.handler.get_reported_errors(), 2u);
}

TEST(error_handler, level0_abort_ends_the_run_only_where_something_is_left)
{
    recording_handler h;
    h.reaction.go_on = false;
    EXPECT_THROW(h.handler.handle(tk_exception("x", 0), false), tk_final_exception);
    EXPECT_NO_THROW(h.handler.handle(tk_exception("x", 0), true));
    h.reaction.go_on = true;
    EXPECT_NO_THROW(h.handler.handle(tk_exception("x", 0), false));
}

TEST(error_handler, suppressed_level0_is_counted_but_not_asked)
{
    recording_handler h;
    h.handler.set_suppress(true);
    h.reaction.go_on = false;
    EXPECT_NO_THROW(h.handler.handle(tk_exception("x", 0), false));
    EXPECT_EQ(h.reaction.level0_shown, 0u);
    EXPECT_EQ(h.reaction.reports.size(), 1u);
    EXPECT_EQ(h.handler.get_reported_errors(), 1u);
    // level 1 still ends the operation
    EXPECT_THROW(h.handler.handle(tk_exception("y", 1), false), tk_final_exception);
}

TEST(error_handler_death, internal_error_never_returns)
{
    for (bool may_continue : {false, true}) {
        EXPECT_EXIT(
            {
                recording_handler h;
                h.handler.set_suppress(true);
                h.handler.handle(tk_mail_assertion("udb_db.cpp", 44), may_continue);
                std::exit(0);
            },
            testing::ExitedWithCode(255), "");
    }
}

TEST(error_handler_death, level1_reaction_may_end_the_process)
{
    EXPECT_EXIT(
        {
            recording_handler h;
            h.reaction.level1 = error_reaction::level1_end::end_process;
            h.handler.handle(tk_exception("bad log path", 1), true);
            std::exit(0);
        },
        testing::ExitedWithCode(255), "");
}

TEST(error_handler_death, default_reaction_writes_the_error_block_to_stderr)
{
    EXPECT_EXIT(
        {
            error_handler handler(oracle_error_count, oracle_errors);
            handler.set_context(L"t");
            handler.handle(tk_exception("a\nb", 0), false);
            std::exit(3);
        },
        testing::ExitedWithCode(3), "Error:\nt: a b\n");
}
