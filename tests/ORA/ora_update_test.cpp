// the update of merge with update: its own checks of the values, its commit, and the
// literals it sends

#include "ora_writer_fixture.hpp"

#include "ora_except.hpp"
#include "ora_session.hpp"
#include "ora_util.hpp"
#include "tk_except.hpp"

using ora_update_test = ora_writer_test;

namespace {

ole_variant date_of(const std::wstring& text)
{
    return ole_variant::from_wstring(text, VT_DATE);
}

} // namespace

TEST_F(ora_update_test, an_update_refuses_what_an_insert_refuses_and_keeps_the_row)
{
    exec(L"CREATE TABLE UC (ID NUMBER(5) PRIMARY KEY, N NUMBER(5,1), D DATE, C CLOB, "
         L"V NVARCHAR2(20))");
    exec(L"INSERT INTO UC VALUES (1, 1.5, TO_DATE('2024-01-02', 'YYYY-MM-DD'), 'old', 'old')");
    m_db->session().commit();
    auto t = open(L"UC");
    const ora_rows before = rows(L"SELECT ID, N, D, C, V FROM UC");
    const std::string structure
        = "The structure of data source does not conform to the destination table.";
    const struct {
        const char* what;
        const wchar_t* column;
        ole_variant value;
        std::string error;
    } cases[] = {
        {"a text with blanks", L"N", text(L" 1.25 "),
         "Column N cannot hold ' 1.25 ' exactly: Oracle would round it to 1 decimal places"},
        {"a double", L"N", dbl(0.15),
         "Column N cannot hold 0.15 exactly: Oracle would round it to 1 decimal places"},
        {"a day oracle lacks", L"D", date_of(L"1582-10-10"),
         "Column D holds 1582-10-10, a day that Oracle's calendar does not have (1582-10-05 to "
         "1582-10-14)"},
        {"bytes into a CLOB", L"C", bytes({0x41, 0x42}), structure},
        {"bytes into an NVARCHAR2", L"V", bytes({0x41, 0x42}), structure},
    };
    for (const auto& c : cases) {
        try {
            t->update(*rec({{L"ID", num(1)}, {c.column, c.value}}));
            ADD_FAILURE() << c.what << " was written";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.what(), c.error) << c.what;
            EXPECT_EQ(e.get_level(), 0) << c.what;
        }
        EXPECT_EQ(rows(L"SELECT ID, N, D, C, V FROM UC"), before) << c.what;
    }

    // a record that passes is committed with its large object at once
    t->update(*rec({{L"ID", num(1)}, {L"N", text(L" 2.5 ")}, {L"C", text(L"new")},
                    {L"V", text(L"new")}}));
    m_db->session().rollback();
    EXPECT_EQ(rows(L"SELECT ID, N, C, V FROM UC"), (ora_rows{{L"1", L"2.5", L"new", L"new"}}));
}

TEST_F(ora_update_test, a_failed_update_undoes_its_own_work_only)
{
    udb_indexes keys;
    keys.push_back(index_of(L"PK_UF", true, true, {L"ID"}));
    auto t = create(L"UF", {col(L"ID", VT_I4, 0, true), col(L"V", VT_BSTR, 10),
                            col(L"C", VT_BSTR)},
                    keys);
    for (int id : {1, 2, 3})
        t->append_record(*rec({{L"ID", num(id)}, {L"V", text(L"old")}, {L"C", text(L"old")}}));
    t->update(*rec({{L"ID", num(1)}, {L"V", text(L"new")}, {L"C", text(L"new")}}));
    // the large object of row 2 cannot be written: its row keeps its values
    inject_error("SELECT*WHERE \"ID\"=2 FOR UPDATE", 1555);
    try {
        t->update(*rec({{L"ID", num(2)}, {L"V", text(L"new")}, {L"C", text(L"new")}}));
        FAIL() << "a failed large-object write was reported as done";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.get_code(), ora_error_code(1555));
    }
    t->update(*rec({{L"ID", num(3)}, {L"V", text(L"new")}, {L"C", text(L"new")}}));
    EXPECT_EQ(rows(L"SELECT ID, V, C FROM UF ORDER BY ID"),
              (ora_rows{{L"1", L"new", L"new"}, {L"2", L"old", L"old"}, {L"3", L"new", L"new"}}));
}

TEST_F(ora_update_test, texts_cut_into_literal_pieces_keep_pairs_and_quotes_whole)
{
    // 1332 three-byte characters and one byte: a surrogate pair would end the first piece of
    // 4000 bytes half-way; 1333 and a doubled quote fill it exactly
    const std::wstring cjk3996(1332, wchar_t(0x4E2D));
    const std::wstring pair = L"a\xD83D\xDE00 tail";
    const std::wstring quote = std::wstring(1, wchar_t(0x4E2D)) + L"' tail";
    const std::pair<std::wstring, size_t> cases[] = {{cjk3996 + pair, 3997}, {cjk3996 + quote, 4000}};
    for (const auto& [body, bytes] : cases) {
        const std::wstring split
            = ora_split_text_literal(L"'" + ora_sql_text(body) + L"'", false);
        const std::wstring open = L"TO_NCHAR('";
        const size_t cut = split.find(L"') || " + open);
        ASSERT_EQ(split.compare(0, open.size(), open), 0);
        ASSERT_NE(cut, std::wstring::npos);
        // the first piece holds as many whole characters as 4000 bytes take
        std::wstring first = split.substr(open.size(), cut - open.size());
        for (size_t q = first.find(L"''"); q != std::wstring::npos; q = first.find(L"''", q + 1))
            first.erase(q, 1);
        EXPECT_EQ(tk_to_utf8(first).size(), bytes);
    }

    udb_indexes keys;
    keys.push_back(index_of(L"PK_CUT", true, true, {L"ID"}));
    auto t = create(L"CUT", {col(L"ID", VT_I4, 0, true), col(L"N", VT_BSTR, 2000)}, keys);
    t->append_record(*rec({{L"ID", num(1)}, {L"N", text(cjk3996 + pair)}}));
    t->append_record(*rec({{L"ID", num(2)}, {L"N", text(cjk3996 + quote)}}));
    EXPECT_EQ(rows(L"SELECT N FROM CUT ORDER BY ID"),
              (ora_rows{{cjk3996 + pair}, {cjk3996 + quote}}));
    t->update(*rec({{L"ID", num(1)}, {L"N", text(cjk3996 + quote)}}));
    t->update(*rec({{L"ID", num(2)}, {L"N", text(cjk3996 + pair)}}));
    EXPECT_EQ(rows(L"SELECT N FROM CUT ORDER BY ID"),
              (ora_rows{{cjk3996 + quote}, {cjk3996 + pair}}));
}
