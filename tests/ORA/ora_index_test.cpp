#include "ora_writer_fixture.hpp"

#include "ora_except.hpp"
#include "ora_idxinit.hpp"
#include "ora_schinit.hpp"

namespace
{

ora_rows constraints_of(const std::wstring& table)
{
    return ora_writer_test::rows(L"SELECT CONSTRAINT_NAME, CONSTRAINT_TYPE FROM USER_CONSTRAINTS "
                                 L"WHERE TABLE_NAME='"
                                 + table + L"' AND CONSTRAINT_TYPE IN ('P', 'U') ORDER BY "
                                           L"CONSTRAINT_NAME");
}

ora_rows index_columns(const std::wstring& index)
{
    return ora_writer_test::rows(L"SELECT COLUMN_NAME FROM USER_IND_COLUMNS WHERE INDEX_NAME='"
                                 + index + L"' ORDER BY COLUMN_POSITION");
}

} // namespace

using ora_index_test = ora_writer_test;

TEST_F(ora_index_test, primary_unique_and_plain_indexes_are_built_and_pk_twins_skipped)
{
    udb_indexes source;
    source.push_back(index_of(L"IX_PK", true, true, {L"A", L"B"}));
    source.push_back(index_of(L"IX_UQ", true, false, {L"C"}));
    source.push_back(index_of(L"IX_PLAIN", false, false, {L"D", L"C"}));
    source.push_back(index_of(L"IX_PK_TWIN_U", true, false, {L"B", L"A"}));
    source.push_back(index_of(L"IX_PK_TWIN", false, false, {L"A", L"B"}));
    source.push_back(index_of(L"IX_PK_MORE", false, false, {L"A", L"B", L"C"}));
    auto made = create(L"IDX",
                       {col(L"A", VT_I4), col(L"B", VT_I4), col(L"C", VT_I4), col(L"D", VT_I4)},
                       source);

    EXPECT_EQ(constraints_of(L"IDX"), (ora_rows{{L"IX_PK", L"P"}, {L"IX_UQ", L"U"}}));
    EXPECT_EQ(index_columns(L"IX_PK"), (ora_rows{{L"A"}, {L"B"}}));
    EXPECT_EQ(index_columns(L"IX_PLAIN"), (ora_rows{{L"D"}, {L"C"}}));
    EXPECT_EQ(index_columns(L"IX_PK_MORE"), (ora_rows{{L"A"}, {L"B"}, {L"C"}}));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_INDEXES WHERE INDEX_NAME LIKE 'IX_PK_TWIN%'"), 0);
    // the twins are left out as repeats of the key, for the run to report
    EXPECT_EQ(made->get_left_out_indexes(),
              (std::vector<ora_left_out_index>{{L"IX_PK_TWIN_U", L"", L"IX_PK"},
                                               {L"IX_PK_TWIN", L"", L"IX_PK"}}));

    // the key is read back as the table's record key
    auto t = open(L"IDX");
    ASSERT_GE(t->key_index, 0);
    EXPECT_TRUE(t->indexes[size_t(t->key_index)].primary);
}

TEST_F(ora_index_test, indexes_over_large_columns_are_left_out)
{
    udb_indexes source;
    source.push_back(index_of(L"LPK", true, true, {L"T"}));
    source.push_back(index_of(L"LUQ", true, false, {L"T"}));
    source.push_back(index_of(L"LOK", true, false, {L"ID"}));
    source.push_back(index_of(L"L2001", false, false, {L"ID", L"T2001"}));
    source.push_back(index_of(L"L2000", false, false, {L"T2000"}));
    source.push_back(index_of(L"LBIN", false, false, {L"B"}));
    auto t = create(L"LIX", {col(L"ID", VT_I4), col(L"T", VT_BSTR, 0),
                             col(L"T2001", VT_BSTR, 2001), col(L"T2000", VT_BSTR, 2000),
                             col(L"B", VT_BLOB, 0)},
                    source);
    // no primary key: the unique index over ID is no twin of it
    EXPECT_EQ(constraints_of(L"LIX"), (ora_rows{{L"LOK", L"U"}}));
    EXPECT_EQ(index_columns(L"L2000"), (ora_rows{{L"T2000"}}));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_INDEXES WHERE INDEX_NAME='L2001'"), 0);
    // each one left out is kept for the run to report, with the column that stopped it
    EXPECT_EQ(t->get_left_out_indexes(),
              (std::vector<ora_left_out_index>{
                  {L"LPK", L"T", L""}, {L"LUQ", L"T", L""}, {L"L2001", L"T2001", L""},
                  {L"LBIN", L"B", L""}}));
}

TEST_F(ora_index_test, left_out_index_names_the_source_field_and_frees_its_name)
{
    // upper-case mode renames the column; the user knows the source names
    db().upper_case = true;
    udb_indexes source;
    source.push_back(index_of(L"body_pk", true, true, {L"body"}));
    auto t = create(L"UPLIX", {col(L"body", VT_BSTR, 0), col(L"n", VT_I4)}, source);
    EXPECT_EQ(t->get_left_out_indexes(),
              (std::vector<ora_left_out_index>{{L"body_pk", L"body", L""}}));
    // the name was not taken: a later table's index gets it unchanged
    db().upper_case = false;
    udb_indexes later;
    later.push_back(index_of(L"body_pk", true, true, {L"N"}));
    auto other = create(L"UPLIX2", {col(L"N", VT_I4)}, later);
    EXPECT_TRUE(other->get_left_out_indexes().empty());
    EXPECT_EQ(constraints_of(L"UPLIX2"), (ora_rows{{L"body_pk", L"P"}}));
    // a table that already exists gets no index and reports none
    auto again = create(L"UPLIX", {col(L"body", VT_BSTR, 0)}, source);
    EXPECT_TRUE(again->get_left_out_indexes().empty());
}

TEST_F(ora_index_test, index_names_stay_unique_in_the_schema_across_tables)
{
    exec(L"CREATE TABLE OLD (X NUMBER)");
    exec(L"CREATE INDEX \"TAKEN\" ON OLD (X)");
    // the run's validator reads the schema's names when it is built
    m_names.reset();
    m_names = std::make_unique<ora_in_validator>(ora_engine::instance().session());

    udb_indexes first;
    first.push_back(index_of(L"TAKEN", false, false, {L"A"}));
    first.push_back(index_of(L"SHARED", false, false, {L"B"}));
    create(L"I1", {col(L"A", VT_I4), col(L"B", VT_I4)}, first);
    udb_indexes second;
    second.push_back(index_of(L"SHARED", true, false, {L"A"}));
    create(L"I2", {col(L"A", VT_I4)}, second);

    EXPECT_EQ(rows(L"SELECT INDEX_NAME FROM USER_INDEXES WHERE TABLE_NAME='I1' ORDER BY "
                   L"INDEX_NAME"),
              (ora_rows{{L"SHARED"}, {L"TAKEN00000"}}));
    EXPECT_EQ(constraints_of(L"I2"), (ora_rows{{L"SHARED00000", L"U"}}));
}

TEST_F(ora_index_test, index_over_a_renamed_column_names_the_generated_column)
{
    udb_indexes source;
    source.push_back(index_of(L"REN_PK", true, true, {L"ID"}));
    source.push_back(index_of(L"REN_LOW", false, false, {L"id"}));
    create(L"RENIX", {col(L"id", VT_I4), col(L"ID", VT_I4)}, source);
    EXPECT_EQ(index_columns(L"REN_PK"), (ora_rows{{L"ID00000"}}));
    EXPECT_EQ(index_columns(L"REN_LOW"), (ora_rows{{L"id"}}));
}

TEST_F(ora_index_test, index_over_columns_already_indexed_is_ignored)
{
    udb_indexes source;
    source.push_back(index_of(L"DUP_UQ", true, false, {L"A"}));
    source.push_back(index_of(L"DUP_PLAIN", false, false, {L"A"}));
    source.push_back(index_of(L"AFTER", false, false, {L"B"}));
    EXPECT_NO_THROW(create(L"DUPIX", {col(L"A", VT_I4), col(L"B", VT_I4)}, source));
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_INDEXES WHERE INDEX_NAME='DUP_PLAIN'"), 0);
    EXPECT_EQ(count(L"SELECT COUNT(*) FROM USER_INDEXES WHERE INDEX_NAME='AFTER'"), 1);
}

TEST_F(ora_index_test, other_server_errors_leave_the_builder)
{
    exec(L"CREATE TABLE BAD (A NUMBER)");
    udb_indexes source;
    source.push_back(index_of(L"BAD_IX", false, false, {L"A"}));
    // the builder runs against a table that lacks the column it names
    udb_schema other;
    other.add_field(std::make_unique<t_ftd>(col(L"A", VT_I4)));
    t_names_map names;
    names.add(L"A", L"A");
    ora_indexes_initializer builder(db().session(), L"MISSING", other, source, names);
    try {
        builder.build_indexes();
        FAIL() << "an index on a missing table was reported as built";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.get_code(), ora_error_code(942));
    }
}
