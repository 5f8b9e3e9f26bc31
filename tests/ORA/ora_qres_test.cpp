#include "ora_except.hpp"
#include "ora_qres.hpp"
#include "ora_schema_fixture.hpp"
#include "ora_stmt.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"

#include <gtest/gtest.h>

namespace {

class ora_rows : public ora_schema_test {
protected:
    void SetUp() override
    {
        ora_schema_test::SetUp();
        exec(L"CREATE TABLE T (ID NUMBER(10,0) NOT NULL, NAME VARCHAR2(20), "
             L"AMOUNT NUMBER(12,2), RATIO NUMBER, WHEN DATE, BITS RAW(16), "
             L"NOTE NVARCHAR2(50), STAMP TIMESTAMP)");
        exec(L"INSERT INTO T VALUES (1, 'one', 10.25, .5, "
             L"to_date('2013-03-11 14:05:09', 'YYYY-MM-DD HH24:MI:SS'), HEXTORAW('0A0B0C'), "
             L"'\u00e4\u00f6\u00fc', to_date('2020-01-02', 'YYYY-MM-DD'))");
        exec(L"INSERT INTO T VALUES (2, NULL, NULL, -12, NULL, NULL, NULL, NULL)");
        exec(L"INSERT INTO T VALUES (3, 'three', 1E+3, 1E+30, NULL, NULL, NULL, NULL)");
    }
};

// writes a large value straight through the client: select the locator FOR UPDATE, write
// utf-8 text (or bytes) in one piece
void write_lob(const std::wstring& select, const std::string& bytes, bool clob)
{
    ora_engine& engine = ora_engine::instance();
    const ora_handles& h = engine.handles();
    void* locator = nullptr;
    engine.check_status(oci().OCIDescriptorAlloc(h.env, &locator, OCI_DTYPE_LOB, 0, nullptr));
    ora_stmt stmt(ora_engine::instance().session());
    stmt.prepare(select);
    OCIDefine* def = nullptr;
    sb2 ind = 0;
    engine.check_status(oci().OCIDefineByPos(stmt, &def, h.err, 1, &locator, -1,
                                             clob ? SQLT_CLOB : SQLT_BLOB, &ind, nullptr,
                                             nullptr, OCI_DEFAULT));
    ASSERT_NE(stmt.execute(1), OCI_NO_DATA);
    ub4 amount = ub4(bytes.size());
    std::string data = bytes;
    engine.check_status(oci().OCILobWrite(h.svc, h.err, static_cast<OCILobLocator*>(locator),
                                          &amount, 1, data.data(), ub4(data.size()),
                                          OCI_ONE_PIECE, nullptr, nullptr,
                                          clob ? OCI_AL32UTF8_ID : 0, SQLCS_IMPLICIT));
    oci().OCIDescriptorFree(locator, OCI_DTYPE_LOB);
}

std::wstring text(const udb_record* rec, size_t i)
{
    return rec ? ora_query_results::field_text(*rec, i) : L"<no record>";
}

} // namespace

TEST_F(ora_rows, a_query_without_rows_is_at_its_end_at_once)
{
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT ID FROM T WHERE ID > 100");
    EXPECT_TRUE(q.is_eof());
    EXPECT_EQ(q.get_item(), nullptr);
}

TEST_F(ora_rows, each_is_eof_fetches_and_get_item_fetches_when_none_was_made)
{
    ora_query_results q(ora_engine::instance().session(), 1, L"SELECT ID FROM T ORDER BY ID");
    EXPECT_FALSE(q.is_eof());
    EXPECT_FALSE(q.is_eof());   // skips row 1
    EXPECT_EQ(text(q.get_item(), 0), L"2");
    EXPECT_EQ(text(q.get_item(), 0), L"3");   // fetches by itself
    EXPECT_EQ(q.get_item(), nullptr);
    EXPECT_TRUE(q.is_eof());
    EXPECT_EQ(q.get_item(), nullptr);
}

TEST_F(ora_rows, column_count_limits_the_columns_and_zero_reads_them_all)
{
    ora_query_results one(ora_engine::instance().session(), 1, L"SELECT ID, NAME FROM T ORDER BY ID");
    ASSERT_EQ(one.schema.fields.size(), 1u);
    udb_record* rec = one.next_record();
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->fields.size(), 1u);

    ora_query_results all(ora_engine::instance().session(), 0, L"SELECT * FROM T");
    EXPECT_EQ(all.get_column_count(), 8u);
    EXPECT_EQ(all.schema.fields.size(), 8u);
}

TEST_F(ora_rows, described_columns_become_field_descriptors)
{
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT * FROM T");
    const auto& f = q.schema.fields;
    ASSERT_EQ(f.size(), 8u);
    struct expect {
        const wchar_t* name;
        VARTYPE vt;
        int reserved;
        bool not_null;
    } cases[] = {
        {L"ID", VT_I8, 0, true},
        {L"NAME", VT_BSTR, 0, false},
        {L"AMOUNT", VT_DECIMAL, (12 << 8) | 2, false},
        {L"RATIO", VT_R8, 0, false},
        {L"WHEN", VT_DATE, 1, false},
        {L"BITS", VT_BLOB, 0, false},
        {L"NOTE", VT_BSTR, 0, false},
        {L"STAMP", VT_DATE, 1, false},
    };
    for (size_t i = 0; i < f.size(); ++i) {
        EXPECT_EQ(f[i]->name, cases[i].name);
        EXPECT_EQ(f[i]->vartype, cases[i].vt) << i;
        EXPECT_EQ(f[i]->reserved, cases[i].reserved) << i;
        EXPECT_EQ(f[i]->b_not_null, cases[i].not_null) << i;
    }
    EXPECT_EQ(f[5]->size, 16);
    // a query's NVARCHAR2 keeps the byte size of the describe
    EXPECT_EQ(f[6]->size, 100);
}

TEST_F(ora_rows, fetched_values_keep_their_types_and_nulls_are_empty)
{
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT * FROM T ORDER BY ID");
    udb_record* rec = q.next_record();
    ASSERT_NE(rec, nullptr);
    ASSERT_EQ(rec->fields.size(), 8u);
    EXPECT_EQ(rec->fields[0]->get_type(), VT_I8);
    EXPECT_EQ(rec->fields[0]->to_wstring(), L"1");
    EXPECT_EQ(rec->fields[1]->to_wstring(), L"one");
    EXPECT_EQ(rec->fields[2]->get_type(), VT_DECIMAL);
    EXPECT_EQ(rec->fields[2]->to_wstring(), L"10.25");
    EXPECT_DOUBLE_EQ(rec->fields[3]->to_double(), 0.5);
    EXPECT_EQ(rec->fields[4]->get_type(), VT_DATE);
    EXPECT_EQ(rec->fields[4]->to_wstring(), L"2013-03-11 14:05:09");
    // a RAW value has the length it was fetched with, not the column's
    const BYTE* bytes = nullptr;
    ASSERT_EQ(rec->fields[5]->get_bytes(bytes), 3u);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[2], 0x0C);
    EXPECT_EQ(rec->fields[6]->to_wstring(), L"\u00e4\u00f6\u00fc");
    EXPECT_EQ(rec->fields[7]->to_wstring(), L"2020-01-02");

    rec = q.next_record();
    ASSERT_NE(rec, nullptr);
    for (size_t i : {1u, 2u, 4u, 5u, 6u, 7u})
        EXPECT_EQ(rec->fields[i]->get_type(), VT_EMPTY) << i;
    EXPECT_DOUBLE_EQ(rec->fields[3]->to_double(), -12.0);

    rec = q.next_record();
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->fields[2]->to_wstring(), L"1000");
    EXPECT_DOUBLE_EQ(rec->fields[3]->to_double(), 1e30);
    EXPECT_EQ(q.next_record(), nullptr);
}

TEST_F(ora_rows, large_objects_are_read_whole_in_pieces)
{
    exec(L"CREATE TABLE L (ID NUMBER(5,0), C CLOB, B BLOB)");
    exec(L"INSERT INTO L VALUES (1, EMPTY_CLOB(), EMPTY_BLOB())");
    exec(L"INSERT INTO L VALUES (2, NULL, NULL)");
    // a text of several 32768-byte pieces with two- and three-byte characters
    std::wstring big;
    for (int i = 0; i < 9000; ++i)
        big += L"a\u00e4\u20ac" + std::to_wstring(i % 10);
    exec(L"INSERT INTO L VALUES (3, 'short', HEXTORAW('00FF'))");
    exec(L"INSERT INTO L VALUES (4, EMPTY_CLOB(), EMPTY_BLOB())");
    write_lob(L"SELECT C FROM L WHERE ID=4 FOR UPDATE", tk_to_utf8(big), true);
    std::string blob(100 * 1024, '\0');
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = char(i * 7 % 251);
    write_lob(L"SELECT B FROM L WHERE ID=4 FOR UPDATE", blob, false);
    {
        ora_query_results q(ora_engine::instance().session(), 0, L"SELECT * FROM L ORDER BY ID");
        udb_record* rec = q.next_record();
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->fields[1]->get_type(), VT_BSTR);
        EXPECT_EQ(rec->fields[1]->to_wstring(), L"");
        const BYTE* bytes = nullptr;
        EXPECT_EQ(rec->fields[2]->get_bytes(bytes), 0u);
        rec = q.next_record();
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->fields[1]->get_type(), VT_EMPTY);
        EXPECT_EQ(rec->fields[2]->get_type(), VT_EMPTY);
        rec = q.next_record();
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->fields[1]->to_wstring(), L"short");
        ASSERT_EQ(rec->fields[2]->get_bytes(bytes), 2u);
        EXPECT_EQ(bytes[1], 0xFF);

        rec = q.next_record();
        ASSERT_NE(rec, nullptr);
        const std::wstring read = rec->fields[1]->to_wstring();
        EXPECT_EQ(read.size(), big.size());
        EXPECT_TRUE(read == big) << "the text read back differs";
        ASSERT_EQ(rec->fields[2]->get_bytes(bytes), blob.size());
        EXPECT_TRUE(std::equal(blob.begin(), blob.end(), reinterpret_cast<const char*>(bytes)));
    }
}

TEST_F(ora_rows, long_raw_reads_as_bytes_and_rowid_as_text)
{
    exec(L"CREATE TABLE LR (ID NUMBER(5,0), V LONG RAW)");
    exec(L"INSERT INTO LR VALUES (1, HEXTORAW('0A1BFF'))");
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT V, ROWID FROM LR");
    ASSERT_EQ(q.schema.fields.size(), 2u);
    EXPECT_EQ(q.schema.fields[0]->vartype, VT_BLOB);
    EXPECT_EQ(q.schema.fields[1]->vartype, VT_BSTR);
    udb_record* rec = q.next_record();
    ASSERT_NE(rec, nullptr);
    const BYTE* bytes = nullptr;
    ASSERT_EQ(rec->fields[0]->get_bytes(bytes), 3u);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_FALSE(rec->fields[1]->to_wstring().empty());
}

TEST_F(ora_rows, errors_of_the_statement_leave_the_constructor)
{
    EXPECT_THROW(ora_query_results(ora_engine::instance().session(), 0, L"SELECT NOSUCH FROM T"), ora_exception);
    EXPECT_THROW(ora_query_results(ora_engine::instance().session(), 0, L"SELEC ID FROM T"), ora_exception);
    ora_query_results q(ora_engine::instance().session(), 0, L"SELECT ID FROM T");
    EXPECT_THROW(q.append_record(*q.next_record()), tk_mail_assertion);
}
