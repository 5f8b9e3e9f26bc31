#include "ora_writer_fixture.hpp"

#include "ora_except.hpp"
#include "ora_limits.hpp"
#include "ora_lobins.hpp"
#include "tk_utils.hpp"

namespace
{

// some 58 KB of utf-8 (several read pieces) with two-byte, three-byte and four-byte (surrogate) ones
std::wstring long_text()
{
    std::wstring piece = L"Grüße, €uro ";
    piece += wchar_t(0xD834);   // U+1D11E musical symbol g clef
    piece += wchar_t(0xDD1E);
    piece += L" ok\n";
    std::wstring out;
    while (out.size() < 40000)
        out += piece;
    return out;
}

std::vector<BYTE> pattern(size_t n)
{
    std::vector<BYTE> b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = BYTE((i * 7 + i / 256) & 0xFF);
    return b;
}

std::vector<BYTE> bytes_of(const udb_field& f)
{
    const BYTE* data = nullptr;
    unsigned n = f.get_bytes(data);
    return n ? std::vector<BYTE>(data, data + n) : std::vector<BYTE>();
}

} // namespace

using ora_lob_test = ora_writer_test;

TEST_F(ora_lob_test, non_ascii_clob_and_100_kb_blob_arrive_whole)
{
    auto t = create(L"LOBS", {col(L"ID", VT_I4), col(L"C", VT_BSTR, 0), col(L"B", VT_BLOB, 0)});
    ASSERT_TRUE(ora_is_lob_column(*t->schema.fields[1]));
    ASSERT_TRUE(ora_is_lob_column(*t->schema.fields[2]));
    const std::wstring clob = long_text();
    const std::vector<BYTE> blob = pattern(100 * 1024);
    t->append_record(*rec({{L"ID", num(1)}, {L"C", text(clob)}, {L"B", bytes(blob)}}));
    // a second row: the ROWID of each insert finds its own row
    t->append_record(*rec({{L"ID", num(2)}, {L"C", text(L"zwei")}, {L"B", bytes({1, 2, 3})}}));

    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT ID, C, B FROM LOBS ORDER BY ID");
    ASSERT_FALSE(q.is_eof());
    udb_record* r = q.get_item();
    EXPECT_EQ(r->fields[1]->to_wstring(), clob);
    EXPECT_EQ(bytes_of(*r->fields[2]), blob);
    ASSERT_FALSE(q.is_eof());
    r = q.get_item();
    EXPECT_EQ(r->fields[1]->to_wstring(), L"zwei");
    EXPECT_EQ(bytes_of(*r->fields[2]), (std::vector<BYTE>{1, 2, 3}));
}

TEST_F(ora_lob_test, text_longer_than_a_piece_arrives_exactly_across_piece_boundaries)
{
    auto t = create(L"LPC", {col(L"ID", VT_I4), col(L"C", VT_BSTR, 0)});
    const size_t piece = ora_lob_insert::clob_piece_units;
    const std::wstring g_clef = {wchar_t(0xD834), wchar_t(0xDD1E)};
    std::wstring text_units;
    while (text_units.size() < 2 * piece + 1000)
        text_units += L"Grüße, €uro ok\n";
    // a four-byte character across the first boundary, one ending at the second
    text_units.replace(piece - 1, 2, g_clef);
    text_units.replace(2 * piece - 2, 2, g_clef);
    // a lone high surrogate at the end of a piece converts as in the whole text: U+FFFD,
    // and the unit after it stays
    std::wstring lone = text_units;
    lone[piece - 1] = wchar_t(0xD800);
    lone[piece] = L'x';
    // one unit more than a piece, a pair at its end: still one piece
    const std::wstring one_more = text_units.substr(0, piece + 1);
    t->append_record(*rec({{L"ID", num(1)}, {L"C", text(text_units)}}));
    t->append_record(*rec({{L"ID", num(2)}, {L"C", text(lone)}}));
    t->append_record(*rec({{L"ID", num(3)}, {L"C", text(one_more)}}));

    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT C FROM LPC ORDER BY ID");
    ASSERT_FALSE(q.is_eof());
    // read back in pieces as well: a pair across a read piece arrives whole
    EXPECT_TRUE(q.get_item()->fields[0]->to_wstring() == text_units);
    ASSERT_FALSE(q.is_eof());
    const std::wstring lone_back = q.get_item()->fields[0]->to_wstring();
    EXPECT_TRUE(lone_back == tk_from_utf8(tk_to_utf8(lone)));
    EXPECT_EQ(lone_back.substr(piece - 2, 3), (std::wstring{lone[piece - 2], wchar_t(0xFFFD), L'x'}));
    ASSERT_FALSE(q.is_eof());
    EXPECT_TRUE(q.get_item()->fields[0]->to_wstring() == one_more);
}

TEST_F(ora_lob_test, clob_read_back_keeps_every_surrogate_pair_whatever_its_place)
{
    // a pair at every third unit: wherever the reads are cut, one lies across the cut
    std::wstring pairs;
    while (pairs.size() < 100000)
        pairs += {L'a', wchar_t(0xD83D), wchar_t(0xDE00)};
    auto t = create(L"LRP", {col(L"C", VT_BSTR, 0)});
    t->append_record(*rec({{L"C", text(pairs)}}));
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT C FROM LRP");
    ASSERT_FALSE(q.is_eof());
    const std::wstring back = q.get_item()->fields[0]->to_wstring();
    EXPECT_EQ(back.size(), pairs.size());
    EXPECT_TRUE(back == pairs);
}

TEST_F(ora_lob_test, null_stays_null_and_empty_stays_an_empty_lob)
{
    auto t = create(L"LN", {col(L"ID", VT_I4), col(L"C", VT_BSTR, 0), col(L"B", VT_BLOB, 0)});
    t->append_record(*rec({{L"ID", num(1)}, {L"C", null()}, {L"B", null()}}));
    t->append_record(*rec({{L"ID", num(2)}, {L"C", text(L"")}, {L"B", bytes({})}}));
    EXPECT_EQ(rows(L"SELECT ID FROM LN WHERE C IS NULL AND B IS NULL"), (ora_rows{{L"1"}}));
    EXPECT_EQ(rows(L"SELECT ID FROM LN WHERE C IS NOT NULL AND B IS NOT NULL"),
              (ora_rows{{L"2"}}));
    EXPECT_EQ(rows(L"SELECT C FROM LN WHERE ID=2"), (ora_rows{{L""}}));
}

TEST_F(ora_lob_test, not_null_large_column_refuses_a_null_and_keeps_an_empty_value)
{
    // a NULL is never made an empty large object
    exec(L"CREATE TABLE LNN (ID NUMBER(5,0), C CLOB NOT NULL)");
    auto t = open(L"LNN");
    try {
        t->append_record(*rec({{L"ID", num(1)}, {L"C", null()}}));
        ADD_FAILURE() << "a NULL went in";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_code(), ora_error_code(1400)) << e.what();
    }
    t->append_record(*rec({{L"ID", num(2)}, {L"C", text(L"")}}));
    EXPECT_EQ(rows(L"SELECT ID FROM LNN WHERE DBMS_LOB.GETLENGTH(C) = 0"), (ora_rows{{L"2"}}));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM LNN"), 1);
}

TEST_F(ora_lob_test, each_large_value_comes_from_the_field_of_its_column)
{
    auto t = create(L"LORD", {col(L"A", VT_BSTR, 0), col(L"B", VT_BSTR, 0)});
    // more fields than columns, in another order
    t->append_record(*rec({{L"X", text(L"not me")}, {L"B", text(L"bee")}, {L"A", text(L"ay")}}));
    // fewer fields than columns
    auto u = create(L"LFEW", {col(L"ID", VT_I4), col(L"A", VT_BSTR, 0), col(L"B", VT_BSTR, 0)});
    u->append_record(*rec({{L"B", text(L"only b")}}));

    EXPECT_EQ(rows(L"SELECT A, B FROM LORD"), (ora_rows{{L"ay", L"bee"}}));
    EXPECT_EQ(rows(L"SELECT B FROM LFEW WHERE A IS NULL"), (ora_rows{{L"only b"}}));
}

TEST_F(ora_lob_test, described_text_up_to_4000_travels_as_a_literal)
{
    exec(L"CREATE TABLE LIT4 (V VARCHAR2(3000))");
    auto t = open(L"LIT4");
    ASSERT_FALSE(ora_is_lob_column(*t->schema.fields[0]));
    const std::wstring v(3000, L'v');
    t->append_record(*rec({{L"V", text(v)}}));
    EXPECT_EQ(value(L"SELECT V FROM LIT4"), v);
}
