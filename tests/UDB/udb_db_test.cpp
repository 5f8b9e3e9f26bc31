#include "udb_db.hpp"
#include "udb_test_util.hpp"

namespace {

// a database whose engine supports nothing of its own: every default is the base's
class bare_database : public udb_database {
public:
    explicit bare_database(bool case_sensitive) : udb_database(L"db", 1, case_sensitive) {}
    std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&,
                                                const udb_indexes&) override
    {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override
    {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&,
                                             int) override
    {
        return nullptr;
    }
    bool test_query(const std::wstring&) override { return false; }
};

class bare_recordset : public udb_recordset {
public:
    using udb_recordset::udb_recordset;
    void append_record(const udb_record&) override { ++appended; }
    int appended = 0;
};

udb_index make_index(const std::wstring& name, bool unique, bool primary)
{
    return udb_index(name, unique, primary, {L"id"});
}

}  // namespace

TEST(udb_database, is_table_exist_on_empty_list_is_false_and_traces_not_found)
{
    trace_capture trace;
    bare_database db(true);
    EXPECT_FALSE(db.is_table_exist(L"Emp"));
    EXPECT_TRUE(trace.contains("udb_database::is_table_exist(Emp)"));
    EXPECT_TRUE(trace.contains("table not found"));
}

TEST(udb_database, is_table_exist_follows_the_case_rule)
{
    struct case_t {
        bool case_sensitive;
        const wchar_t* listed;
        const wchar_t* asked;
        bool exists;
    } cases[] = {
        {true, L"Emp", L"EMP", false},
        {false, L"Emp", L"EMP", true},
        {true, L"Emp", L"Emp", true},
        {true, L"Emp", L"Em", false},
        {false, L"\u00c4rger", L"\u00e4RGER", true},
        {false, L"Emp", L"Emp2", false},
    };
    for (const auto& c : cases) {
        bare_database db(c.case_sensitive);
        db.tables = {L"Dept", c.listed};
        EXPECT_EQ(db.is_table_exist(c.asked), c.exists)
            << c.case_sensitive << " " << tk_to_utf8(c.listed) << " " << tk_to_utf8(c.asked);
    }
}

TEST(udb_database, is_table_exist_traces_the_question_and_the_answer)
{
    trace_capture trace;
    bare_database db(true);
    db.tables = {L"a", L"b", L"c"};
    EXPECT_TRUE(db.is_table_exist(L"b"));
    auto lines = trace.lines();
    std::vector<std::string> expected = {"udb_database::ctor(db)", "udb_database::is_table_exist(b)",
                                         "table exists"};
    EXPECT_EQ(lines, expected);
}

TEST(udb_database, delete_tab_removes_only_the_first_match_and_keeps_order)
{
    bare_database db(false);
    db.tables = {L"a", L"EMP", L"b", L"emp", L"c"};
    EXPECT_TRUE(db.delete_tab(L"Emp"));
    std::vector<std::wstring> expected = {L"a", L"b", L"emp", L"c"};
    EXPECT_EQ(db.tables, expected);
}

TEST(udb_database, delete_tab_of_unlisted_name_is_internal_error_and_keeps_list)
{
    bare_database db(true);
    db.tables = {L"Emp"};
    EXPECT_MAIL_ASSERTION(db.delete_tab(L"EMP"), "udb_db.cpp", 44);
    EXPECT_EQ(db.tables, std::vector<std::wstring>{L"Emp"});
}

TEST(udb_database, defaults_query_unsupported_and_relationships_nothing)
{
    bare_database db(true);
    EXPECT_MAIL_ASSERTION(db.query(L"select 1"), "udb_db.cpp", 70);
    db.create_relationships(udb_relationships());
    db.reserved_op(0);
    EXPECT_EQ(db.mode, 1);
    EXPECT_EQ(db.name, L"db");
}

TEST(udb_database, constructor_and_destructor_trace)
{
    trace_capture trace;
    { bare_database db(true); }
    EXPECT_EQ(trace.lines(),
              (std::vector<std::string>{"udb_database::ctor(db)", "udb_database::dtor"}));
}

TEST(udb_recordset, base_reports_end_of_data_at_once)
{
    trace_capture trace;
    bare_recordset rs(L"t");
    EXPECT_TRUE(rs.is_eof());
    EXPECT_EQ(rs.get_item(), nullptr);
    EXPECT_EQ(rs.rec_count, 0);
    EXPECT_EQ(rs.key_index, -1);
    // the driver's loop over it copies nothing
    udb_record record;
    rs.update(record);
    EXPECT_TRUE(trace.contains("udb_recordset::update"));
    rs.reset();
    rs.next();
    EXPECT_EQ(rs.appended, 0);
}

TEST(udb_recordset, is_query_tells_whether_there_is_a_query_text)
{
    bare_recordset table(L"t");
    bare_recordset query(L"t", L"select * from t");
    bare_recordset empty_text(L"t", L"");
    EXPECT_FALSE(table.is_query());
    EXPECT_TRUE(query.is_query());
    EXPECT_FALSE(empty_text.is_query());
    EXPECT_EQ(query.text, L"select * from t");
}

TEST(udb_recordset, key_index_is_the_first_unique_or_primary_index)
{
    trace_capture trace;
    bare_recordset rs(L"t");
    rs.add_index(make_index(L"plain", false, false));
    EXPECT_EQ(rs.key_index, -1);
    rs.add_index(make_index(L"uq", true, false));
    rs.add_index(make_index(L"pk", true, true));
    EXPECT_EQ(rs.key_index, 1);
    ASSERT_EQ(rs.indexes.size(), 3u);
    EXPECT_EQ(rs.indexes[1].name, L"uq");
    EXPECT_TRUE(trace.contains("udb_recordset::add_index (uq)"));
    EXPECT_TRUE(trace.contains("Store primary/unique key"));
}

TEST(udb_recordset, add_index_of_a_name_differing_in_case_adds_nothing)
{
    bare_recordset rs(L"t");
    rs.add_index(make_index(L"ix_a", false, false));
    rs.add_index(make_index(L"IX_A", true, true));
    EXPECT_EQ(rs.indexes.size(), 1u);
    EXPECT_FALSE(rs.indexes[0].unique);
    EXPECT_EQ(rs.key_index, -1);
    rs.add_index(make_index(L"pk", true, true));
    EXPECT_EQ(rs.key_index, 1);
}
