// the Oracle rules of the stand-in's SQL that the product's behaviour depends on

#include "ocisim_fixture.hpp"

using rows_t = std::vector<std::vector<std::string>>;

TEST_F(ocisim_test, refused_statements_give_the_oracle_error)
{
    run("CREATE TABLE \"P\" (\"ID\" NUMBER(5,0) NOT NULL, \"NAME\" VARCHAR2(3), "
        "\"N\" NVARCHAR2(3), \"R\" RAW(2), \"AMT\" NUMBER(5,2))");
    run("ALTER TABLE \"P\" ADD CONSTRAINT \"PK_P\" PRIMARY KEY (\"ID\")");
    run("INSERT INTO \"P\" (\"ID\") VALUES (1)");
    run("CREATE SEQUENCE \"S1\"");
    struct
    {
        const char *sql;
        int code;
    } cases[] = {
        {"CREATE TABLE \"P\" (\"X\" DATE)", 955},
        {"CREATE SEQUENCE \"P\"", 955},
        {"CREATE TABLE \"S1\" (\"X\" DATE)", 955},
        {"SELECT * FROM \"p\"", 942},
        {"SELECT \"NOPE\" FROM \"P\"", 904},
        {"INSERT INTO \"P\" (\"NAME\") VALUES ('a')", 1400},
        {"INSERT INTO \"P\" (\"ID\") VALUES (1)", 1},
        {"INSERT INTO \"P\" (\"ID\", \"NAME\") VALUES (2, 'abcd')", 12899},
        {"INSERT INTO \"P\" (\"ID\", \"N\") VALUES (2, 'äöüß')", 12899},
        {"INSERT INTO \"P\" (\"ID\", \"R\") VALUES (2, '0A0B0C')", 12899},
        {"INSERT INTO \"P\" (\"ID\", \"AMT\") VALUES (2, 1000)", 1438},
        {"INSERT INTO \"P\" (\"ID\", \"AMT\") VALUES (2, 'x')", 1722},
        {"INSERT INTO \"P\" (\"ID\", \"R\") VALUES (2, 'XYZ')", 1465},
        {"CREATE TABLE \"Q\" (\"A\" NVARCHAR2(2001))", 910},
        {"CREATE TABLE \"Q\" (\"A\" RAW(2001))", 910},
        {"CREATE TABLE \"Q\" (\"A\" VARCHAR2(4001))", 910},
        {"CREATE TABLE \"Q\" (\"A\" DATE, \"A\" DATE)", 957},
        {"CREATE TABLE \"Q\" ()", 904},
        {"CREATE INDEX \"I1\" ON \"P\" (\"ID\")", 1408},
        {"ALTER TABLE \"P\" ADD CONSTRAINT \"U1\" UNIQUE (\"ID\")", 2261},
        {"ALTER TABLE \"P\" ADD CONSTRAINT \"PK2\" PRIMARY KEY (\"NAME\")", 2260},
        {"ALTER TABLE \"P\" MODIFY \"NAME\" VARCHAR2(3) NULL", 1451},
        {"SELECT * FROM \"P\";", 911},
        {"SELECT * FROM \"P\" WHERE", 936},
        {"SELECT * \"P\"", 923},
        {"SELECT FROM \"P\"", 936},
        {"SELECT * FROM \"P\" \"X\" \"Y\"", 933},
        {"FROBNICATE", 900},
        {"INSERT INTO \"P\" (\"ID\", \"NAME\") VALUES (2)", 947},
        {"DROP TABLE \"NOPE\"", 942},
    };
    for (const auto &c : cases)
        EXPECT_EQ(s->exec(c.sql), c.code) << c.sql << ": " << env.text();
    // a text literal holds 4000 bytes: 2000 two-byte characters fit, one more does not
    std::string umlauts;
    for (int i = 0; i < 2000; ++i)
        umlauts += "\xc3\xa4";
    EXPECT_EQ(s->exec("SELECT LENGTH('" + umlauts + "') FROM \"P\""), 0) << env.text();
    EXPECT_EQ(s->exec("SELECT LENGTH('" + umlauts + "a') FROM \"P\""), 1704);
    EXPECT_EQ(s->exec("SELECT LENGTH(N'" + umlauts + "a') FROM \"P\""), 1704);
    // so is what || makes of text and of national text; a CLOB knows no limit
    const std::string piece = "'" + umlauts + "'";
    EXPECT_EQ(s->exec("SELECT LENGTH(" + piece + " || 'a') FROM \"P\""), 1489);
    EXPECT_EQ(s->exec("SELECT LENGTH(TO_NCHAR(" + piece + ") || TO_NCHAR('a')) FROM \"P\""), 1489);
    EXPECT_EQ(s->value("SELECT LENGTH(TO_CLOB(" + piece + ") || TO_CLOB(" + piece + ")) FROM \"P\""),
              "4000");
    // nothing of the refused statements stayed
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"P\""), "1");
}

TEST_F(ocisim_test, numbers_are_exact_decimals_rounded_and_shown_as_oracle_does)
{
    run("CREATE TABLE \"N\" (\"K\" NUMBER(3,0), \"BIG\" NUMBER(20,4), \"F\" NUMBER, "
        "\"M\" NUMBER(5,2))");
    run("INSERT INTO \"N\" VALUES (1, 1234567890123456.7891, .5, 1.005)");
    run("INSERT INTO \"N\" VALUES (2, -12, 1E+30, -0.004)");
    run("INSERT INTO \"N\" VALUES (3, 0, 123456789012345678901234567890123456789, 999.994)");
    EXPECT_EQ(s->rows("SELECT \"BIG\", \"F\", \"M\" FROM \"N\" ORDER BY \"K\""),
              (rows_t{{"1234567890123456.7891", ".5", "1.01"},
                      {"-12", "1E+30", "0"},
                      {"0", "1.2345678901234567890123456789012345679E+38", "999.99"}}));
    // numbers compare and sort as numbers, not as text
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"N\" WHERE \"BIG\" > 9 ORDER BY \"BIG\" DESC"),
              (rows_t{{"1"}}));
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"N\" ORDER BY \"BIG\""),
              (rows_t{{"2"}, {"3"}, {"1"}}));

    // a format mask rounds in decimal and pads as oracle does; FM drops the padding
    const std::pair<const char *, const char *> masked[] = {
        {"TO_CHAR(1234.5, 'FM9999990.00')", "1234.50"}, {"TO_CHAR(.5, 'FM9999990.00')", "0.50"},
        {"TO_CHAR(2.675, 'FM0.00')", "2.68"},           {"TO_CHAR(1.5, 'FM9.99')", "1.5"},
        {"TO_CHAR(-12.3, 'FM990.0')", "-12.3"},         {"TO_CHAR(.5, '9.99')", "  .50"},
        {"TO_CHAR(5, '9,999')", "     5"},              {"TO_CHAR(12345, '99,999')", " 12,345"},
        {"TO_CHAR(7, '000')", " 007"},                  {"TO_CHAR(0, '999')", "   0"},
        {"TO_CHAR(1234, '99')", "###"},                 {"TO_CHAR(\"M\", 'FM990.00')", "999.99"},
    };
    for (const auto &[expr, want] : masked)
        EXPECT_EQ(s->value(std::string("SELECT ") + expr + " FROM \"N\" WHERE \"K\" = 3"), want)
            << expr;
    EXPECT_EQ(s->exec("SELECT TO_CHAR(5, 'X9') FROM DUAL"), 1481);
}

TEST_F(ocisim_test, binary_float_and_double_keep_ieee_values_and_show_them_as_oracle_does)
{
    run("CREATE TABLE \"B\" (\"K\" NUMBER, \"F\" BINARY_FLOAT, \"D\" BINARY_DOUBLE, "
        "\"N\" BINARY_DOUBLE NOT NULL)");
    // NUMBER literals, binary literals, texts; beyond the single range an infinity
    run("INSERT INTO \"B\" VALUES (1, 1234.56, 1234.56, 1)");
    run("INSERT INTO \"B\" VALUES (2, 0.1d, 1e-300d, -2.5)");
    run("INSERT INTO \"B\" VALUES (3, '1.5', '-5e-324', 1.7976931348623157e308d)");
    run("INSERT INTO \"B\" VALUES (4, 1e39d, 0.1f, 0.1)");
    EXPECT_EQ(s->rows("SELECT TO_CHAR(\"F\"), TO_CHAR(\"D\"), \"N\" FROM \"B\" ORDER BY \"K\""),
              (rows_t{{"1.23456E+003", "1.23456E+003", "1.0E+000"},
                      {"1.0E-001", "1.0E-300", "-2.5E+000"},
                      {"1.5E+000", "-5.0E-324", "1.7976931348623157E+308"},
                      {"Inf", "1.0000000149011612E-001", "1.0E-001"}}));
    // a mask works on the value's digits; the values compare as numbers
    EXPECT_EQ(s->value("SELECT TO_CHAR(\"D\", 'FM9990.00') FROM \"B\" WHERE \"K\" = 1"),
              "1234.56");
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"B\" WHERE \"N\" < 1 ORDER BY \"N\""),
              (rows_t{{"2"}, {"4"}}));
    EXPECT_EQ(s->rows("SELECT DATA_TYPE, DATA_LENGTH, NULLABLE FROM USER_TAB_COLUMNS WHERE "
                      "TABLE_NAME = 'B' AND COLUMN_NAME <> 'K' ORDER BY COLUMN_ID"),
              (rows_t{{"BINARY_FLOAT", "4", "Y"}, {"BINARY_DOUBLE", "8", "Y"},
                      {"BINARY_DOUBLE", "8", "N"}}));
    EXPECT_EQ(s->exec("INSERT INTO \"B\" VALUES (5, 'x', 1, 1)"), 1722);
    EXPECT_EQ(s->exec("INSERT INTO \"B\" VALUES (5, DATE '2020-01-01', 1, 1)"), 932);
    EXPECT_EQ(s->exec("INSERT INTO \"B\" (\"K\") VALUES (5)"), 1400);
}

TEST_F(ocisim_test, empty_text_is_null_and_quoted_names_keep_their_case)
{
    run("CREATE TABLE \"T\" (\"A\" VARCHAR2(10))");
    run("CREATE TABLE \"t\" (\"a\" VARCHAR2(10), \"A\" VARCHAR2(10))");
    run("INSERT INTO \"T\" VALUES ('')");
    run("INSERT INTO t VALUES ('upper')");
    run("INSERT INTO \"t\" (\"a\", \"A\") VALUES ('lower', 'LOWER')");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"T\" WHERE \"A\" IS NULL"), "1");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"T\" WHERE \"A\" = ''"), "0");
    EXPECT_EQ(s->rows("SELECT \"a\", A FROM \"t\""), (rows_t{{"lower", "LOWER"}}));
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM USER_TABLES"), "2");
}

TEST_F(ocisim_test, composite_unique_collides_on_equal_non_null_parts_unless_all_null)
{
    run("CREATE TABLE \"U\" (\"A\" NUMBER, \"B\" NUMBER)");
    run("ALTER TABLE \"U\" ADD CONSTRAINT \"UQ\" UNIQUE (\"A\", \"B\")");
    run("INSERT INTO \"U\" VALUES (1, NULL)");
    run("INSERT INTO \"U\" VALUES (NULL, NULL)");
    run("INSERT INTO \"U\" VALUES (NULL, NULL)");
    run("INSERT INTO \"U\" VALUES (NULL, 1)");
    EXPECT_EQ(s->exec("INSERT INTO \"U\" VALUES (1, NULL)"), 1);
    EXPECT_EQ(env.text(), "ORA-00001: unique constraint (SCOTT.UQ) violated\n");
    run("INSERT INTO \"U\" VALUES (1.0, 2)");
    EXPECT_EQ(s->exec("INSERT INTO \"U\" VALUES (1, 2.00)"), 1);
}

TEST_F(ocisim_test, foreign_keys_are_enforced_from_the_catalogue)
{
    run("CREATE TABLE \"PAR\" (\"ID\" NUMBER NOT NULL)");
    run("ALTER TABLE \"PAR\" ADD CONSTRAINT \"PK_PAR\" PRIMARY KEY (\"ID\")");
    run("CREATE TABLE \"KID\" (\"ID\" NUMBER, \"PID\" NUMBER)");
    run("INSERT INTO \"PAR\" VALUES (1)");
    run("INSERT INTO \"KID\" VALUES (1, 1)");
    run("INSERT INTO \"KID\" VALUES (2, 7)");
    EXPECT_EQ(s->exec("ALTER TABLE \"KID\" ADD FOREIGN KEY (\"PID\") REFERENCES \"PAR\"(\"ID\")"),
              2298);
    run("DELETE FROM \"KID\" WHERE \"PID\" = 7");
    run("ALTER TABLE \"KID\" ADD FOREIGN KEY (\"PID\") REFERENCES \"PAR\"(\"ID\") ON DELETE CASCADE");
    EXPECT_EQ(s->exec("INSERT INTO \"KID\" VALUES (3, 9)"), 2291);
    run("INSERT INTO \"KID\" VALUES (4, NULL)");
    EXPECT_EQ(s->value("SELECT DELETE_RULE FROM USER_CONSTRAINTS WHERE CONSTRAINT_TYPE='R'"),
              "CASCADE");
    run("DELETE FROM \"PAR\" WHERE \"ID\" = 1");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"KID\""), "1");
    EXPECT_EQ(s->exec("DROP TABLE \"PAR\""), 2449);
    run("DROP TABLE \"PAR\" CASCADE CONSTRAINTS");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM USER_CONSTRAINTS"), "0");
    run("INSERT INTO \"KID\" VALUES (5, 42)");
}

TEST_F(ocisim_test, every_kind_of_constraint_shares_one_namespace_of_names)
{
    // a check is listed and holds its name as a key or a foreign key does (ORA-02264); its
    // condition is not checked here
    run("CREATE TABLE \"A\" (\"ID\" NUMBER CONSTRAINT \"A_PK\" PRIMARY KEY, \"R\" NUMBER "
        "CONSTRAINT \"A_FK\" REFERENCES \"A\"(\"ID\"), CONSTRAINT \"A_CK\" CHECK (\"ID\" > 0))");
    run("CREATE TABLE \"B\" (\"X\" NUMBER, \"Y\" NUMBER)");
    for (const char* name : {"A_PK", "A_FK", "A_CK"}) {
        EXPECT_EQ(s->exec("ALTER TABLE \"B\" ADD CONSTRAINT \"" + std::string(name)
                          + "\" UNIQUE (\"X\")"),
                  2264)
            << name;
        EXPECT_EQ(s->exec("ALTER TABLE \"B\" ADD CONSTRAINT \"" + std::string(name)
                          + "\" CHECK (\"Y\" > 0)"),
                  2264)
            << name;
    }
    EXPECT_EQ(s->rows("SELECT CONSTRAINT_NAME, CONSTRAINT_TYPE FROM USER_CONSTRAINTS ORDER BY 1"),
              (rows_t{{"A_CK", "C"}, {"A_FK", "R"}, {"A_PK", "P"}}));
    run("ALTER TABLE \"A\" DROP CONSTRAINT \"A_CK\"");
    run("ALTER TABLE \"B\" ADD CONSTRAINT \"A_CK\" UNIQUE (\"X\")");
    run("DROP TABLE \"A\" CASCADE CONSTRAINTS");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM USER_CONSTRAINTS"), "1");
}

TEST_F(ocisim_test, dates_raw_and_empty_lobs_from_the_literals_of_the_engine)
{
    run("CREATE TABLE \"D\" (\"K\" NUMBER, \"D\" DATE, \"R\" RAW(16), \"B\" BLOB, \"C\" CLOB)");
    run("INSERT INTO \"D\" VALUES (1, to_date('2024-02-29 13:14:15', 'YYYY-MM-DD HH24:MI:SS'), "
        "HEXTORAW('0A1B'), EMPTY_BLOB(), EMPTY_CLOB())");
    run("INSERT INTO \"D\" VALUES (2, to_date('2024-02-29', 'YYYY-MM-DD'), '0a1b', '00FF', "
        "'text')");
    run("INSERT INTO \"D\" (\"K\", \"D\") VALUES (3, to_date('13:14:15', 'HH24-MI-SS'))");
    EXPECT_EQ(s->exec("INSERT INTO \"D\" (\"K\", \"D\") VALUES (4, to_date('2023-02-29', "
                      "'YYYY-MM-DD'))"),
              1847);
    EXPECT_EQ(s->rows("SELECT TO_CHAR(\"D\", 'YYYY-MM-DD HH24:MI:SS'), RAWTOHEX(\"R\"), "
                      "DBMS_LOB.GETLENGTH(\"B\"), DBMS_LOB.GETLENGTH(\"C\") FROM \"D\" "
                      "WHERE \"K\" < 3 ORDER BY \"K\""),
              (rows_t{{"2024-02-29 13:14:15", "0A1B", "0", "0"},
                      {"2024-02-29 00:00:00", "0A1B", "2", "4"}}));
    // an empty LOB is not NULL
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"D\" WHERE \"B\" IS NULL"), "1");
    EXPECT_EQ(s->value("SELECT TO_CHAR(\"D\", 'HH24:MI:SS') FROM \"D\" WHERE \"K\" = 3"),
              "13:14:15");
}

TEST_F(ocisim_test, auto_increment_trigger_fills_the_column_from_its_sequence)
{
    run("CREATE TABLE \"A\" (\"ID\" NUMBER(11,0), \"V\" NVARCHAR2(5))");
    run("CREATE SEQUENCE \"A_0\" INCREMENT BY 1 START WITH 1 MAXVALUE 1.0E28 MINVALUE 1 NOCYCLE "
        "NOCACHE ORDER");
    run("CREATE OR REPLACE TRIGGER A__TRIGGER BEFORE INSERT ON A FOR EACH ROW WHEN (new.ID IS "
        "NULL) BEGIN select A_0.nextval into :new.ID from dual; END;");
    run("INSERT INTO \"A\" (\"V\") VALUES ('x')");
    run("INSERT INTO \"A\" VALUES (10, 'y')");
    run("INSERT INTO \"A\" VALUES (NULL, 'z')");
    EXPECT_EQ(s->rows("SELECT \"ID\", \"V\" FROM \"A\" ORDER BY \"V\""),
              (rows_t{{"1", "x"}, {"10", "y"}, {"2", "z"}}));
    // the trigger names its table unquoted: a lower-case table is not found
    run("CREATE TABLE \"low\" (\"ID\" NUMBER)");
    EXPECT_EQ(s->exec("CREATE OR REPLACE TRIGGER low__TRIGGER BEFORE INSERT ON low FOR EACH ROW "
                      "WHEN (new.ID IS NULL) BEGIN select A_0.nextval into :new.ID from dual; "
                      "END;"),
              942);
    EXPECT_EQ(s->exec("CREATE SEQUENCE \"A_0\""), 955);
}

TEST_F(ocisim_test, table_comments_are_listed_with_every_table_and_view_until_dropped)
{
    run("CREATE TABLE \"x y\" (\"n\" NUMBER)");
    run("CREATE TABLE \"T\" (\"n\" NUMBER)");
    run("CREATE VIEW \"V\" AS SELECT \"n\" FROM \"T\"");
    run("COMMENT ON TABLE \"x y\" IS 'it''s x y'");
    run("COMMENT ON TABLE \"T\" IS 'gone soon'");
    run("COMMENT ON TABLE \"T\" IS ''");
    EXPECT_EQ(s->rows("SELECT TABLE_NAME, TABLE_TYPE, COMMENTS FROM USER_TAB_COMMENTS ORDER BY 1"),
              (rows_t{{"T", "TABLE", "NULL"}, {"V", "VIEW", "NULL"}, {"x y", "TABLE", "it's x y"}}));
    EXPECT_EQ(s->exec("COMMENT ON TABLE \"nothing\" IS 'a'"), 942);
    // a table made again under the name has no comment
    run("DROP TABLE \"x y\"");
    run("CREATE TABLE \"x y\" (\"n\" NUMBER)");
    EXPECT_EQ(s->rows("SELECT COMMENTS FROM USER_TAB_COMMENTS WHERE TABLE_NAME = 'x y'"),
              (rows_t{{"NULL"}}));
}

TEST_F(ocisim_test, catalogue_views_answer_the_engine_queries)
{
    run("CREATE TABLE \"C\" (\"ID\" NUMBER(11,0) NOT NULL, \"NAME\" NVARCHAR2(100) DEFAULT "
        "'it''s' , \"N\" NUMBER(10,2) DEFAULT 5)");
    run("ALTER TABLE \"C\" ADD CONSTRAINT \"PK_C\" PRIMARY KEY (\"ID\")");
    run("CREATE INDEX \"IX_C\" ON \"C\" (\"NAME\", \"N\")");
    run("CREATE TABLE \"R\" (\"CID\" NUMBER(11,0))");
    run("ALTER TABLE \"R\" ADD CONSTRAINT \"FK_R\" FOREIGN KEY (\"CID\") REFERENCES \"C\" "
        "(\"ID\") ON DELETE SET NULL");
    run("COMMENT ON COLUMN \"C\".\"NAME\" IS 'the name'");
    run("CREATE VIEW \"V\" AS SELECT \"ID\" FROM \"C\"");
    EXPECT_EQ(s->rows("select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
                      "NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT' ORDER BY 1"),
              (rows_t{{"C", "NULL"}, {"R", "NULL"}}));
    EXPECT_EQ(s->rows("select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE from USER_TAB_COLUMNS where "
                      "table_name = 'C' ORDER BY COLUMN_ID"),
              (rows_t{{"ID", "NULL", "NUMBER"}, {"NAME", "'it''s' ", "NVARCHAR2"},
                      {"N", "5", "NUMBER"}}));
    EXPECT_EQ(s->rows("select COLUMN_NAME, COMMENTS from USER_COL_COMMENTS where table_name = 'C' "
                      "AND COMMENTS IS NOT NULL"),
              (rows_t{{"NAME", "the name"}}));
    EXPECT_EQ(s->rows("SELECT a.constraint_name, a.column_name FROM user_cons_columns a, "
                      "user_constraints b WHERE a.table_name='C' AND "
                      "a.constraint_name=b.constraint_name AND b.constraint_type='P' ORDER BY "
                      "a.constraint_name, a.position"),
              (rows_t{{"PK_C", "ID"}}));
    EXPECT_EQ(s->rows("SELECT user_indexes.index_name, user_indexes.uniqueness, "
                      "user_ind_columns.column_name FROM user_ind_columns, user_indexes where "
                      "user_ind_columns.table_name = 'C' AND user_indexes.generated='N' AND "
                      "user_ind_columns.index_name = user_indexes.index_name AND "
                      "user_ind_columns.table_name = user_indexes.table_name ORDER BY "
                      "user_indexes.index_name, user_ind_columns.column_position"),
              (rows_t{{"IX_C", "NONUNIQUE", "NAME"}, {"IX_C", "NONUNIQUE", "N"},
                      {"PK_C", "UNIQUE", "ID"}}));
    EXPECT_EQ(s->value("select count(*) from USER_CONSTRAINTS where R_CONSTRAINT_NAME='PK_C' and "
                       "CONSTRAINT_TYPE='R'"),
              "1");
    EXPECT_EQ(s->rows("select a.TABLE_NAME,a.CONSTRAINT_NAME,a.DELETE_RULE,b.COLUMN_NAME FROM "
                      "USER_CONSTRAINTS a, USER_CONS_COLUMNS b WHERE "
                      "a.CONSTRAINT_NAME=b.CONSTRAINT_NAME and a.CONSTRAINT_TYPE='R' and "
                      "a.R_CONSTRAINT_NAME='PK_C'"),
              (rows_t{{"R", "FK_R", "SET NULL", "CID"}}));
    EXPECT_EQ(s->rows("select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='SCOTT'"),
              (rows_t{{"V", "SELECT \"ID\" FROM \"C\""}}));
    EXPECT_EQ(s->rows("SELECT OBJECT_TYPE, COUNT(*) FROM USER_OBJECTS GROUP BY OBJECT_TYPE "
                      "ORDER BY 1"),
              (rows_t{{"INDEX", "2"}, {"TABLE", "2"}, {"VIEW", "1"}}));
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM (SELECT * FROM \"V\")"), "0");
}

TEST_F(ocisim_test, modify_to_null_keeps_type_and_sets_the_default)
{
    run("CREATE TABLE \"M\" (\"ID\" NUMBER NOT NULL, \"V\" NVARCHAR2(10) NOT NULL)");
    run("ALTER TABLE \"M\" ADD CONSTRAINT \"PK_M\" PRIMARY KEY (\"ID\")");
    EXPECT_EQ(s->exec("INSERT INTO \"M\" (\"ID\") VALUES (1)"), 1400);
    run("ALTER TABLE \"M\" MODIFY \"V\" NVARCHAR2(10)  DEFAULT 'x' NULL");
    run("INSERT INTO \"M\" (\"ID\") VALUES (1)");
    EXPECT_EQ(s->rows("SELECT \"V\" FROM \"M\""), (rows_t{{"x"}}));
    EXPECT_EQ(s->exec("ALTER TABLE \"M\" MODIFY \"ID\" NUMBER NULL"), 1451);
    EXPECT_EQ(s->exec("UPDATE \"M\" SET \"ID\" = NULL"), 1407);
    run("UPDATE \"M\" SET \"V\" = 'y' WHERE \"ID\" = 1");
    EXPECT_EQ(s->value("SELECT \"V\" FROM \"M\""), "y");
}

TEST_F(ocisim_test, joins_subqueries_and_row_ids)
{
    run("CREATE TABLE \"A1\" (\"ID\" NUMBER, \"V\" VARCHAR2(5))");
    run("CREATE TABLE \"B1\" (\"AID\" NUMBER, \"W\" VARCHAR2(5))");
    run("INSERT INTO \"A1\" VALUES (1, 'a')");
    run("INSERT INTO \"A1\" VALUES (2, 'b')");
    run("INSERT INTO \"B1\" VALUES (1, 'x')");
    EXPECT_EQ(s->rows("SELECT a.\"V\", b.\"W\" FROM \"A1\" a LEFT JOIN \"B1\" b ON b.\"AID\" = "
                      "a.\"ID\" ORDER BY a.\"ID\""),
              (rows_t{{"a", "x"}, {"b", "NULL"}}));
    run("INSERT INTO \"B1\" VALUES (9, 'y')");
    EXPECT_EQ(s->rows("SELECT a.\"V\", b.\"W\" FROM \"A1\" a FULL OUTER JOIN \"B1\" b ON "
                      "b.\"AID\" = a.\"ID\" ORDER BY b.\"W\", a.\"V\""),
              (rows_t{{"a", "x"}, {"NULL", "y"}, {"b", "NULL"}}));
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM (SELECT \"ID\" FROM \"A1\" WHERE \"ID\" IN (SELECT "
                       "\"AID\" FROM \"B1\"))"),
              "1");
    std::string rid = s->value("SELECT ROWID FROM \"A1\" WHERE \"ID\" = 2");
    EXPECT_EQ(rid.size(), 18u);
    EXPECT_EQ(s->value("SELECT \"V\" FROM \"A1\" WHERE ROWID = '" + rid + "'"), "b");
    EXPECT_EQ(s->exec("SELECT \"V\" FROM \"A1\" WHERE ROWID = 'nonsense'"), 1410);
}

TEST_F(ocisim_test, every_cut_statement_is_refused_with_an_oracle_error)
{
    run("CREATE TABLE \"W\" (\"ID\" NUMBER(5,0), \"S\" NVARCHAR2(10), \"C\" CLOB)");
    const char *statements[] = {
        "CREATE TABLE \"X\" (\"ID\" NUMBER(11,0) DEFAULT 5 NOT NULL, \"N\" NVARCHAR2(10) , "
        "CONSTRAINT \"PK_X\" PRIMARY KEY (\"ID\"))",
        "INSERT /*+ APPEND */ INTO \"W\" (\"ID\", \"S\", \"C\") VALUES(1, 'a''b', EMPTY_CLOB()) "
        "RETURNING ROWID INTO :1",
        "SELECT a.\"ID\", COUNT(*) FROM \"W\" a WHERE a.\"S\" LIKE 'x%' AND a.\"ID\" IN (1, 2) "
        "GROUP BY a.\"ID\" ORDER BY 2 DESC",
        "ALTER TABLE \"W\" ADD CONSTRAINT \"FK\" FOREIGN KEY (\"ID\") REFERENCES \"W\"(\"ID\") ON "
        "DELETE CASCADE",
        "CREATE SEQUENCE \"Q\" INCREMENT BY 1 START WITH 1 MAXVALUE 1.0E28 MINVALUE 1 NOCYCLE",
        "CREATE OR REPLACE TRIGGER W__TRIGGER BEFORE INSERT ON W FOR EACH ROW WHEN (new.ID IS "
        "NULL) BEGIN select Q.nextval into :new.ID from dual; END;",
        "UPDATE \"W\" SET \"S\"='x', \"ID\"=\"ID\" + 1 WHERE \"ID\" BETWEEN 1 AND 3",
        "SELECT * FROM (SELECT \"ID\" FROM \"W\") WHERE ROWID = 'AAAAABAAEAAAAAAAAB' FOR UPDATE",
    };
    for (const char *full : statements) {
        std::string text = full;
        for (size_t n = 1; n < text.size(); ++n) {
            std::string cut = text.substr(0, n);
            sword status = 0;
            int code = s->exec(cut, OCI_PARSE_ONLY, &status);
            EXPECT_NE(code, 600) << cut << ": " << env.text();
            EXPECT_TRUE(status == OCI_SUCCESS || status == OCI_ERROR ||
                        status == OCI_SUCCESS_WITH_INFO)
                << cut;
        }
    }
}

TEST_F(ocisim_test, refuses_what_oracle_refuses_of_large_objects_wide_tables_and_rowid)
{
    run("CREATE TABLE \"L\" (\"ID\" NUMBER, \"C\" CLOB, \"B\" BLOB, \"N\" NCLOB)");
    struct
    {
        std::string sql;
        int code;
    } cases[] = {
        {"CREATE INDEX \"I1\" ON \"L\" (\"C\")", 2327},
        {"CREATE UNIQUE INDEX \"I1\" ON \"L\" (\"ID\", \"B\")", 2327},
        {"ALTER TABLE \"L\" ADD CONSTRAINT \"P1\" PRIMARY KEY (\"C\")", 2329},
        {"ALTER TABLE \"L\" ADD CONSTRAINT \"U1\" UNIQUE (\"ID\", \"N\")", 2329},
        {"CREATE TABLE \"L2\" (\"B\" BLOB, CONSTRAINT \"P2\" PRIMARY KEY (\"B\"))", 2329},
        {"CREATE TABLE \"R\" (\"ROWID\" NUMBER)", 904},
        {"CREATE TABLE \"R\" (ROWID NUMBER)", 904},
        {"ALTER TABLE \"L\" ADD (\"ROWID\" NUMBER)", 904},
    };
    for (const auto &c : cases)
        EXPECT_EQ(s->exec(c.sql), c.code) << c.sql << ": " << env.text();
    // only the upper-case word is the pseudo-column
    run("CREATE TABLE \"R\" (\"rowid\" NUMBER, \"Rowid\" NUMBER)");
    run("INSERT INTO \"R\" VALUES (1, 2)");
    EXPECT_EQ(s->value("SELECT \"rowid\" + \"Rowid\" FROM \"R\""), "3");

    auto columns = [](int n) {
        std::string sql;
        for (int i = 1; i <= n; ++i)
            sql += (i > 1 ? ", \"C" : "\"C") + std::to_string(i) + "\" NUMBER";
        return sql;
    };
    run("CREATE TABLE \"W\" (" + columns(1000) + ")");
    EXPECT_EQ(s->exec("CREATE TABLE \"W2\" (" + columns(1001) + ")"), 1792);
    EXPECT_EQ(s->exec("ALTER TABLE \"W\" ADD (\"X\" NUMBER)"), 1792);
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM USER_TABLES WHERE TABLE_NAME IN ('W2', 'L2', 'R')"),
              "1");
}

TEST_F(ocisim_test, days_of_the_calendar_switch_become_the_first_gregorian_day)
{
    run("CREATE TABLE \"G\" (\"K\" NUMBER, \"D\" DATE, \"T\" TIMESTAMP)");
    run("INSERT INTO \"G\" VALUES (1, to_date('1582-10-04 10:11:12', 'YYYY-MM-DD HH24:MI:SS'), "
        "TIMESTAMP '1582-10-05 01:02:03')");
    run("INSERT INTO \"G\" VALUES (2, to_date('1582-10-10 10:11:12', 'YYYY-MM-DD HH24:MI:SS'), "
        "TIMESTAMP '1582-10-14 23:59:59')");
    run("INSERT INTO \"G\" VALUES (3, DATE '1582-10-14', TIMESTAMP '1582-10-15 00:00:00')");
    EXPECT_EQ(s->rows("SELECT TO_CHAR(\"D\", 'YYYY-MM-DD HH24:MI:SS'), "
                      "TO_CHAR(\"T\", 'YYYY-MM-DD HH24:MI:SS') FROM \"G\" ORDER BY \"K\""),
              (rows_t{{"1582-10-04 10:11:12", "1582-10-15 01:02:03"},
                      {"1582-10-15 10:11:12", "1582-10-15 23:59:59"},
                      {"1582-10-15 00:00:00", "1582-10-15 00:00:00"}}));
}

TEST_F(ocisim_test, lob_length_compares_as_a_number_in_a_where_clause)
{
    run("CREATE TABLE \"E\" (\"K\" NUMBER, \"C\" CLOB, \"B\" BLOB)");
    run("INSERT INTO \"E\" VALUES (1, EMPTY_CLOB(), EMPTY_BLOB())");
    run("INSERT INTO \"E\" VALUES (2, 'ab', '0A0B0C')");
    run("INSERT INTO \"E\" VALUES (3, 'abcdefghijk', NULL)");
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"E\" WHERE DBMS_LOB.GETLENGTH(\"C\") = 0"),
              (rows_t{{"1"}}));
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"E\" WHERE DBMS_LOB.GETLENGTH(\"C\") < 1"),
              (rows_t{{"1"}}));
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"E\" WHERE DBMS_LOB.GETLENGTH(\"C\") > 9 "),
              (rows_t{{"3"}}));
    EXPECT_EQ(s->rows("SELECT \"K\" FROM \"E\" WHERE DBMS_LOB.GETLENGTH(\"B\") = 3"),
              (rows_t{{"2"}}));
    EXPECT_EQ(s->rows("SELECT \"K\", LENGTH(\"C\") FROM \"E\" ORDER BY LENGTH(\"C\") DESC"),
              (rows_t{{"3", "11"}, {"2", "2"}, {"1", "0"}}));
}

TEST_F(ocisim_test, timestamp_columns_keep_the_fraction_their_scale_holds_rounded)
{
    run("CREATE TABLE \"F\" (\"K\" NUMBER, \"T0\" TIMESTAMP(0), \"T3\" TIMESTAMP(3), "
        "\"T6\" TIMESTAMP, \"T9\" TIMESTAMP(9))");
    EXPECT_EQ(s->rows("SELECT COLUMN_NAME, DATA_TYPE, DATA_SCALE FROM USER_TAB_COLUMNS WHERE "
                      "TABLE_NAME = 'F' AND COLUMN_NAME <> 'K' ORDER BY COLUMN_ID"),
              (rows_t{{"T0", "TIMESTAMP(0)", "0"},
                      {"T3", "TIMESTAMP(3)", "3"},
                      {"T6", "TIMESTAMP(6)", "6"},
                      {"T9", "TIMESTAMP(9)", "9"}}));
    const std::string mask = "'YYYY-MM-DD HH24:MI:SS.FF9'";
    struct
    {
        const char *text;
        const char *t0, *t3, *t6, *t9;
    } cases[] = {
        {"2024-05-06 10:00:00.75", "2024-05-06 10:00:01.000000000",
         "2024-05-06 10:00:00.750000000", "2024-05-06 10:00:00.750000000",
         "2024-05-06 10:00:00.750000000"},
        // half a unit goes up; below half stays
        {"2024-05-06 10:00:00.4999995", "2024-05-06 10:00:00.000000000",
         "2024-05-06 10:00:00.500000000", "2024-05-06 10:00:00.500000000",
         "2024-05-06 10:00:00.499999500"},
        // the carry reaches the next day, and the next year
        {"2024-12-31 23:59:59.9999995", "2025-01-01 00:00:00.000000000",
         "2025-01-01 00:00:00.000000000", "2025-01-01 00:00:00.000000000",
         "2024-12-31 23:59:59.999999500"},
        {"2024-02-28 23:59:59.9996", "2024-02-29 00:00:00.000000000",
         "2024-02-29 00:00:00.000000000", "2024-02-28 23:59:59.999600000",
         "2024-02-28 23:59:59.999600000"},
    };
    int k = 0;
    for (const auto &c : cases) {
        const std::string v = "TO_TIMESTAMP('" + std::string(c.text) + "', " + mask + ")";
        run("INSERT INTO \"F\" VALUES (" + std::to_string(++k) + ", " + v + ", " + v + ", " + v +
            ", " + v + ")");
        EXPECT_EQ(s->rows("SELECT TO_CHAR(\"T0\", " + mask + "), TO_CHAR(\"T3\", " + mask +
                          "), TO_CHAR(\"T6\", " + mask + "), TO_CHAR(\"T9\", " + mask +
                          ") FROM \"F\" WHERE \"K\" = " + std::to_string(k)),
                  (rows_t{{c.t0, c.t3, c.t6, c.t9}}))
            << c.text;
    }
    // a stored value compares with the literal of its own digits; TO_CHAR's FFn cuts
    EXPECT_EQ(s->rows("SELECT \"K\", TO_CHAR(\"T6\", 'HH24:MI:SS.FF2') FROM \"F\" WHERE \"T3\" = "
                      "TO_TIMESTAMP('2024-05-06 10:00:00.750', 'YYYY-MM-DD HH24:MI:SS.FF3')"),
              (rows_t{{"1", "10:00:00.75"}}));
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"F\" WHERE \"T6\" = TO_TIMESTAMP('2024-05-06 "
                       "10:00:00.5', 'YYYY-MM-DD HH24:MI:SS.FF')"),
              "1");

    struct
    {
        std::string sql;
        int code;
    } refused[] = {
        // FFn reads at most n digits; the rest is left over
        {"SELECT TO_TIMESTAMP('2024-05-06 10:00:00.123456', 'YYYY-MM-DD HH24:MI:SS.FF3') "
         "FROM DUAL", 1830},
        {"SELECT TO_TIMESTAMP('2024-05-06 10:00:00.1234567891', 'YYYY-MM-DD HH24:MI:SS.FF') "
         "FROM DUAL", 1830},
        {"SELECT TO_TIMESTAMP('2024-05-06 10:00:00.', 'YYYY-MM-DD HH24:MI:SS.FF') FROM DUAL",
         1858},
        // a DATE has no fractional seconds
        {"SELECT TO_DATE('2024-05-06 10:00:00.5', 'YYYY-MM-DD HH24:MI:SS.FF') FROM DUAL", 1821},
        {"INSERT INTO \"F\" (\"K\", \"T0\") VALUES (9, TO_TIMESTAMP('9999-12-31 23:59:59.5', "
         "'YYYY-MM-DD HH24:MI:SS.FF1'))", 1841},
    };
    for (const auto &c : refused)
        EXPECT_EQ(s->exec(c.sql), c.code) << c.sql << ": " << env.text();
}
