// the stand-in seen through the client calls: logon, describe, define and fetch, LOBs,
// transactions, faults and handles

#include "ocisim_fixture.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <tuple>

using rows_t = std::vector<std::vector<std::string>>;

namespace
{

std::string run_c_client(const test_ora_schema &schema, const std::string &mode,
                         const std::string &source)
{
    std::string out, err;
    int rc = test_run_process({OCISIM_C_CLIENT, mode, source, "scott", "tiger"},
                              schema.environment(), "", &out, &err);
    EXPECT_EQ(rc, 0) << out << err;
    return out;
}

} // namespace

TEST(ocisim_client, c_client_writes_and_a_second_process_reads_the_committed_row)
{
    test_ora_schema schema;
    std::string w = run_c_client(schema, "write", "ORCL");
    EXPECT_NE(w.find("rowid "), std::string::npos) << w;
    EXPECT_NE(w.find(" len 36\n"), std::string::npos) << w;
    EXPECT_NE(w.find("clob written 11\nblob written 3\n"), std::string::npos) << w;
    std::string r = run_c_client(schema, "read", "//localhost:1521/ORCL");
    EXPECT_EQ(r, "columns 5\n"
                 "column 1 ID type 2 size 22 prec 11 scale 0 nullable 0\n"
                 "column 2 TITLE type 1 size 40 prec 0 scale 0 nullable 1\n"
                 "column 3 BODY type 112 size 4000 prec 0 scale 0 nullable 1\n"
                 "column 4 DATA type 113 size 4000 prec 0 scale 0 nullable 1\n"
                 "column 5 MADE type 12 size 7 prec 0 scale 0 nullable 1\n"
                 "row id 1 title Grüße body héllo wörld chars 11\n"
                 "data 3 bytes 00 FF 10\n"
                 "made 120 113 3 11 15 6 10\n"
                 "rows 1\n");
}

TEST(ocisim_logon, data_sources_users_and_passwords)
{
    test_ora_schema schema("SCOTT", "ti ger'\"x");
    schema.add_alias("ORCLNET");
    oci_env env;
    struct
    {
        const char *user, *password, *source;
        int code;
    } cases[] = {
        {"scott", "ti ger'\"x", "ORCL", 0},
        {"SCOTT", "ti ger'\"x", "orclnet", 0},
        {"scott", "ti ger'\"x", "//localhost:1521/ORCL", 0},
        {"scott", "ti ger'\"x", "//db1/orcl", 0},
        {"scott", "TI GER'\"X", "ORCL", 1017},
        {"nobody", "ti ger'\"x", "ORCL", 1017},
        {"scott", "ti ger'\"x", "NOSUCH", 12154},
        {"scott", "ti ger'\"x", "//localhost:1521/NOSUCH", 12514},
    };
    for (const auto &c : cases) {
        oci_session s(env, c.user, c.password, c.source);
        EXPECT_EQ(s.logon_code(), c.code) << c.user << "@" << c.source;
        EXPECT_EQ(s.ok(), c.code == 0);
    }
    oci_session bad(env, "scott", "wrong", "ORCL");
    EXPECT_EQ(env.text(), "ORA-01017: invalid username/password; logon denied\n");
    // a failed logon leaves nothing that keeps the next one from succeeding
    oci_session good(env, "scott", "ti ger'\"x", "ORCL");
    EXPECT_TRUE(good.ok());
}

TEST(ocisim_logon, named_listeners_refuse_other_ports_and_hosts)
{
    test_ora_schema schema;
    schema.add_listener("dbhost:1522");
    oci_env env;
    EXPECT_EQ(oci_session(env, "scott", "tiger", "//dbhost:1522/ORCL").logon_code(), 0);
    EXPECT_EQ(oci_session(env, "scott", "tiger", "//dbhost:1521/ORCL").logon_code(), 12541);
    EXPECT_EQ(oci_session(env, "scott", "tiger", "//otherhost:1522/ORCL").logon_code(), 12545);
    EXPECT_EQ(oci_session(env, "scott", "tiger", "ORCL").logon_code(), 0);
}

TEST(ocisim_orasql, prints_rows_tab_separated_with_escapes_and_nulls)
{
    test_ora_schema schema;
    schema.sql("CREATE TABLE \"T\" (\"K\" NUMBER, \"S\" VARCHAR2(20), \"D\" DATE, \"B\" BLOB, "
               "\"C\" CLOB);\n"
               "INSERT INTO \"T\" VALUES (1, 'a' || '\t' || 'b\\c', to_date('2001-02-03 04:05:06', "
               "'YYYY-MM-DD HH24:MI:SS'), HEXTORAW('00FF'), 'line1\nline2');\n"
               "INSERT INTO \"T\" (\"K\") VALUES (2);\n"
               "CREATE SEQUENCE \"S\";\n"
               "CREATE TRIGGER T__TRIGGER BEFORE INSERT ON T FOR EACH ROW WHEN (new.K IS NULL)\n"
               "BEGIN select S.nextval into :new.K from dual; END;\n"
               "/\n"
               "INSERT INTO \"T\" (\"S\") VALUES ('auto')\n"
               "/\n");
    EXPECT_EQ(schema.sql("SELECT * FROM \"T\" ORDER BY \"K\", \"S\";", {"-H", "-n", "NULL"}),
              "K\tS\tD\tB\tC\n"
              "1\ta\\tb\\\\c\t2001-02-03 04:05:06\t00FF\tline1\\nline2\n"
              "1\tauto\tNULL\tNULL\tNULL\n"
              "2\tNULL\tNULL\tNULL\tNULL\n");
    try {
        schema.sql("SELECT * FROM \"NOPE\";");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("ORA-00942: table or view does not exist"),
                  std::string::npos)
            << e.what();
    }
}

TEST(ocisim_loader, the_binding_names_a_missing_library_or_missing_calls)
{
    test_ora_schema schema;
    auto run_orasql = [&](const std::string &library_path) {
        std::string out, err;
        int rc = test_run_process({test_ora_schema::orasql_path(), "scott/tiger@ORCL",
                                   "SELECT * FROM DUAL"},
                                  {"OCISIM_DIR=" + schema.dir(), "LD_LIBRARY_PATH=" + library_path},
                                  "", &out, &err);
        return std::make_pair(rc, out + err);
    };
    auto [rc, text] = run_orasql(test_ora_schema::library_dir());
    EXPECT_EQ(rc, 0) << text;
    EXPECT_EQ(text, "X\n");
    std::tie(rc, text) = run_orasql("");
    EXPECT_EQ(rc, 2);
    EXPECT_NE(text.find("Oracle client library not found: libclntsh.so: "), std::string::npos)
        << text;
    EXPECT_NE(text.find("libclntsh.so.11.1"), std::string::npos) << text;
    std::tie(rc, text) = run_orasql(OCISIM_PARTIAL_DIR);
    EXPECT_EQ(rc, 2);
    EXPECT_NE(text.find("Oracle client library 'libclntsh.so' lacks OCIHandleAlloc, "
                        "OCIHandleFree"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("OCIEnvCreate"), std::string::npos) << text;
}

TEST(ocisim_logon, each_user_has_a_schema_of_its_own)
{
    test_ora_schema schema;
    schema.add_user("ADAMS", "pw");
    oci_env env;
    oci_session a(env, "scott", "tiger", "ORCL"), b(env, "adams", "pw", "ORCL");
    ASSERT_EQ(a.exec("CREATE TABLE \"X\" (\"A\" NUMBER)"), 0);
    EXPECT_EQ(b.exec("SELECT * FROM \"X\""), 942);
    EXPECT_EQ(b.value("SELECT COUNT(*) FROM USER_TABLES"), "0");
}

TEST_F(ocisim_test, describe_gives_codes_sizes_precision_scale_and_nullability)
{
    run("CREATE TABLE \"T\" (\"V\" VARCHAR2(30) NOT NULL, \"N\" NVARCHAR2(10), \"P\" "
        "NUMBER(10,2), \"F\" NUMBER, \"D\" DATE, \"R\" RAW(16), \"C\" CHAR(3), \"L\" CLOB, \"B\" "
        "BLOB, \"TS\" TIMESTAMP, \"TZ\" TIMESTAMP(3) WITH TIME ZONE, \"LZ\" TIMESTAMP WITH LOCAL "
        "TIME ZONE)");
    OCIStmt *st = s->prepare("SELECT \"T\".*, (SELECT COUNT(*) FROM \"T\") \"CNT\" FROM \"T\"");
    ASSERT_EQ(OCIStmtExecute(s->svc(), st, env.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << env.text();
    ub4 count = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, env.err);
    ASSERT_EQ(count, 13u);
    struct
    {
        const char *name;
        ub2 type, size;
        sb2 prec;
        sb1 scale;
        ub1 nullable;
    } want[] = {
        {"V", 1, 30, 0, 0, 0},      {"N", 1, 20, 0, 0, 1},   {"P", 2, 22, 10, 2, 1},
        {"F", 2, 22, 0, -127, 1},   {"D", 12, 7, 0, 0, 1},   {"R", 23, 16, 0, 0, 1},
        {"C", 96, 3, 0, 0, 1},      {"L", 112, 4000, 0, 0, 1}, {"B", 113, 4000, 0, 0, 1},
        {"TS", 187, 11, 0, 0, 1},   {"TZ", 188, 13, 0, 0, 1}, {"LZ", 231, 11, 0, 0, 1},
        {"CNT", 2, 22, 0, -127, 1},
    };
    for (ub4 i = 0; i < count; ++i) {
        void *p = nullptr;
        ASSERT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, env.err, &p, i + 1), OCI_SUCCESS);
        ub2 type = 0, size = 0;
        sb2 prec = 0;
        sb1 scale = 0;
        ub1 nullable = 9;
        OraText *name = nullptr;
        ub4 name_len = 0;
        OCIAttrGet(p, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &prec, nullptr, OCI_ATTR_PRECISION, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &nullable, nullptr, OCI_ATTR_IS_NULL, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &name_len, OCI_ATTR_NAME, env.err);
        EXPECT_EQ(u8(reinterpret_cast<const char16_t *>(name), name_len / 2), want[i].name);
        EXPECT_EQ(type, want[i].type) << want[i].name;
        EXPECT_EQ(size, want[i].size) << want[i].name;
        EXPECT_EQ(prec, want[i].prec) << want[i].name;
        EXPECT_EQ(scale, want[i].scale) << want[i].name;
        EXPECT_EQ(nullable, want[i].nullable) << want[i].name;
    }
    void *p = nullptr;
    EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, env.err, &p, 14), OCI_ERROR);
    EXPECT_EQ(env.code(), 24334);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(ocisim_test, fetch_fills_utf16_strings_dates_and_null_indicators)
{
    run("CREATE TABLE \"T\" (\"S\" NVARCHAR2(10), \"D\" DATE, \"N\" NUMBER)");
    run("INSERT INTO \"T\" VALUES ('Grüße', to_date('1999-12-31 23:59:58', 'YYYY-MM-DD "
        "HH24:MI:SS'), NULL)");
    run("INSERT INTO \"T\" VALUES (NULL, NULL, 7)");
    OCIStmt *st = s->prepare("SELECT \"S\", \"D\", \"N\" FROM \"T\" ORDER BY \"N\" NULLS FIRST");
    char16_t text[4];
    unsigned char date[7];
    sb4 n = 0;
    sb2 ind[3];
    ub2 len[3];
    OCIDefine *d[3] = {};
    OCIDefineByPos(st, &d[0], env.err, 1, text, sizeof text, SQLT_STR, &ind[0], &len[0], nullptr,
                   OCI_DEFAULT);
    OCIDefineByPos(st, &d[1], env.err, 2, date, 7, SQLT_DAT, &ind[1], &len[1], nullptr,
                   OCI_DEFAULT);
    OCIDefineByPos(st, &d[2], env.err, 3, &n, 4, SQLT_INT, &ind[2], &len[2], nullptr, OCI_DEFAULT);
    // an execute of one iteration fetches the first row; the text does not fit in 4 units
    EXPECT_EQ(OCIStmtExecute(s->svc(), st, env.err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(env.code(), 1406);
    EXPECT_EQ(std::u16string(text), u"Grü");
    EXPECT_EQ(ind[0], 10);  // the whole text's bytes
    EXPECT_EQ(std::vector<int>(date, date + 7), (std::vector<int>{119, 199, 12, 31, 24, 60, 59}));
    EXPECT_EQ(ind[2], -1);
    EXPECT_EQ(OCIStmtFetch(st, env.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(ind[0], -1);
    EXPECT_EQ(ind[1], -1);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(OCIStmtFetch(st, env.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    ub4 rows = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, env.err);
    EXPECT_EQ(rows, 2u);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    // a NULL fetched without an indicator is an error
    st = s->prepare("SELECT \"N\" FROM \"T\" ORDER BY \"N\" NULLS FIRST");
    OCIDefine *d0 = nullptr;
    OCIDefineByPos(st, &d0, env.err, 1, &n, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCIStmtExecute(s->svc(), st, env.err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 1405);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(ocisim_test, work_ends_with_commit_mode_ddl_or_logoff_and_a_failure_undoes_itself)
{
    run("CREATE TABLE \"T\" (\"A\" NUMBER NOT NULL)");
    oci_env env2;
    oci_session other(env2, "scott", "tiger", "ORCL");
    ASSERT_EQ(s->exec("INSERT INTO \"T\" VALUES (1)", OCI_DEFAULT), 0);
    EXPECT_EQ(other.value("SELECT COUNT(*) FROM \"T\""), "0");
    // the failed row goes, the open work stays
    EXPECT_EQ(s->exec("INSERT INTO \"T\" VALUES (NULL)", OCI_DEFAULT), 1400);
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"T\""), "1");
    ASSERT_EQ(s->exec("INSERT INTO \"T\" VALUES (2)", OCI_COMMIT_ON_SUCCESS), 0);
    EXPECT_EQ(other.value("SELECT COUNT(*) FROM \"T\""), "2");
    ASSERT_EQ(s->exec("INSERT INTO \"T\" VALUES (3)", OCI_DEFAULT), 0);
    run("CREATE TABLE \"U\" (\"A\" NUMBER)");
    EXPECT_EQ(other.value("SELECT COUNT(*) FROM \"T\""), "3");
    ASSERT_EQ(s->exec("INSERT INTO \"T\" VALUES (4)", OCI_DEFAULT), 0);
    s.reset();
    EXPECT_EQ(other.value("SELECT COUNT(*) FROM \"T\""), "4");
}

TEST_F(ocisim_test, parse_only_checks_the_statement_without_running_it)
{
    run("CREATE TABLE \"T\" (\"A\" NUMBER)");
    EXPECT_EQ(s->exec("INSERT INTO \"T\" VALUES (1)", OCI_PARSE_ONLY), 0);
    EXPECT_EQ(s->exec("DROP TABLE \"T\"", OCI_PARSE_ONLY), 0);
    EXPECT_EQ(s->exec("SELECT \"B\" FROM \"T\"", OCI_PARSE_ONLY), 904);
    EXPECT_EQ(s->exec("SELEC 1 FROM DUAL", OCI_PARSE_ONLY), 900);
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"T\""), "0");
}

namespace
{

// a row with an empty CLOB and an empty BLOB, its locators selected for update
struct locked_lobs
{
    OCIStmt *st = nullptr;
    OCILobLocator *clob = nullptr, *blob = nullptr;
    sb2 ind[2];
    locked_lobs(oci_session &s, const char *select = "SELECT \"C\", \"B\" FROM \"L\" FOR UPDATE")
    {
        OCIDescriptorAlloc(s.env().env, reinterpret_cast<void **>(&clob), OCI_DTYPE_LOB, 0,
                           nullptr);
        OCIDescriptorAlloc(s.env().env, reinterpret_cast<void **>(&blob), OCI_DTYPE_LOB, 0,
                           nullptr);
        st = s.prepare(select);
        OCIDefine *d1 = nullptr, *d2 = nullptr;
        OCIDefineByPos(st, &d1, s.env().err, 1, &clob, -1, SQLT_CLOB, &ind[0], nullptr, nullptr,
                       OCI_DEFAULT);
        OCIDefineByPos(st, &d2, s.env().err, 2, &blob, -1, SQLT_BLOB, &ind[1], nullptr, nullptr,
                       OCI_DEFAULT);
        EXPECT_EQ(OCIStmtExecute(s.svc(), st, s.env().err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
                  OCI_SUCCESS)
            << s.env().text();
    }
    ~locked_lobs()
    {
        OCIDescriptorFree(clob, OCI_DTYPE_LOB);
        OCIDescriptorFree(blob, OCI_DTYPE_LOB);
        OCIHandleFree(st, OCI_HTYPE_STMT);
    }
};

} // namespace

TEST_F(ocisim_test, lob_amounts_follow_the_character_set_of_the_buffer)
{
    run("CREATE TABLE \"L\" (\"C\" CLOB, \"B\" BLOB)");
    run("INSERT INTO \"L\" VALUES (EMPTY_CLOB(), EMPTY_BLOB())");
    locked_lobs l(*s);
    EXPECT_EQ(l.ind[0], 0);
    ub1 form = 9;
    OCILobCharSetForm(env.env, env.err, l.clob, &form);
    EXPECT_EQ(form, SQLCS_IMPLICIT);

    // UTF-8 (873): the amount in is bytes, the amount out characters
    std::string utf8 = "aé€😀z";
    ub4 amount = ub4(utf8.size());
    ASSERT_EQ(OCILobWrite(s->svc(), env.err, l.clob, &amount, 1, utf8.data(), ub4(utf8.size()),
                          OCI_ONE_PIECE, nullptr, nullptr, 873, SQLCS_IMPLICIT),
              OCI_SUCCESS)
        << env.text();
    EXPECT_EQ(amount, 6u);  // UTF-16 units: the emoji counts two
    // UTF-16 (0 in a UTF-16 environment): amounts and offsets count characters
    std::u16string more = u"XY";
    amount = 2;
    ASSERT_EQ(OCILobWrite(s->svc(), env.err, l.clob, &amount, 2, more.data(), 4, OCI_ONE_PIECE,
                          nullptr, nullptr, 0, SQLCS_IMPLICIT),
              OCI_SUCCESS);
    EXPECT_EQ(s->value("SELECT \"C\" FROM \"L\""), "aXY😀z") << "offset 2 overwrites é and €";
    run("COMMIT");

    locked_lobs r(*s, "SELECT \"C\", \"B\" FROM \"L\"");
    // a streaming read (amount 0) in pieces of a small buffer
    char16_t piece[3];
    std::u16string whole;
    ub4 offset = 1;
    for (int i = 0; i < 10; ++i) {
        amount = 0;
        sword rc = OCILobRead(s->svc(), env.err, r.clob, &amount, offset, piece, sizeof piece,
                              nullptr, nullptr, 0, SQLCS_IMPLICIT);
        ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_NEED_DATA || rc == OCI_NO_DATA) << rc;
        if (amount == 0)
            break;
        whole.append(piece, amount);
        offset += amount;
    }
    EXPECT_EQ(u8(whole.data(), whole.size()), "aXY😀z");
    // UTF-8 out: the amount read is bytes
    char bytes[64];
    amount = 0;
    EXPECT_EQ(OCILobRead(s->svc(), env.err, r.clob, &amount, 1, bytes, sizeof bytes, nullptr,
                         nullptr, 873, SQLCS_IMPLICIT),
              OCI_SUCCESS);
    EXPECT_EQ(std::string(bytes, amount), "aXY😀z");
    // a locator of a row that was not selected for update cannot write
    amount = 1;
    EXPECT_EQ(OCILobWrite(s->svc(), env.err, r.blob, &amount, 1, bytes, 1, OCI_ONE_PIECE, nullptr,
                          nullptr, 0, SQLCS_IMPLICIT),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 22920);
}

TEST_F(ocisim_test, pieces_gather_until_the_last_and_a_fresh_clob_keeps_its_text)
{
    run("CREATE TABLE \"L\" (\"ID\" NUMBER, \"C\" CLOB, \"B\" BLOB)");
    run("INSERT INTO \"L\" VALUES (1, EMPTY_CLOB(), EMPTY_BLOB())");
    run("INSERT INTO \"L\" VALUES (2, EMPTY_CLOB(), EMPTY_BLOB())");
    {
        locked_lobs l(*s, "SELECT \"C\", \"B\" FROM \"L\" WHERE \"ID\" = 1 FOR UPDATE");
        // UTF-8 pieces split inside the euro sign and the emoji
        const std::string pieces[] = {"a\xE2\x82", "\xAC\xF0\x9F", "\x98\x80z"};
        ub4 amount = 10;
        for (int i = 0; i < 3; ++i) {
            const ub1 kind = i == 0 ? OCI_FIRST_PIECE : i == 2 ? OCI_LAST_PIECE : OCI_NEXT_PIECE;
            EXPECT_EQ(OCILobWrite(s->svc(), env.err, l.clob, &amount, 1,
                                  const_cast<char *>(pieces[i].data()), ub4(pieces[i].size()),
                                  kind, nullptr, nullptr, 873, SQLCS_IMPLICIT),
                      i == 2 ? OCI_SUCCESS : OCI_NEED_DATA)
                << env.text();
        }
        EXPECT_EQ(amount, 5u);
        std::string bytes = "\x01\x00\x02";
        amount = 3;
        EXPECT_EQ(OCILobWrite(s->svc(), env.err, l.blob, &amount, 1, bytes.data(), 2,
                              OCI_FIRST_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT),
                  OCI_NEED_DATA);
        EXPECT_EQ(OCILobWrite(s->svc(), env.err, l.blob, &amount, 1, bytes.data() + 2, 1,
                              OCI_LAST_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT),
                  OCI_SUCCESS);
        EXPECT_EQ(amount, 3u);
        run("COMMIT");
    }
    EXPECT_EQ(s->value("SELECT \"C\" FROM \"L\" WHERE \"ID\" = 1"), "a\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_EQ(s->value("SELECT DBMS_LOB.GETLENGTH(\"B\") FROM \"L\" WHERE \"ID\" = 1"), "3");
    // text that is no well-formed UTF-8 is stored as the conversion gives it
    {
        locked_lobs l(*s, "SELECT \"C\", \"B\" FROM \"L\" WHERE \"ID\" = 2 FOR UPDATE");
        std::string bad = "x\xFFy\xC3";
        ub4 amount = ub4(bad.size());
        EXPECT_EQ(OCILobWrite(s->svc(), env.err, l.clob, &amount, 1, bad.data(), amount,
                              OCI_ONE_PIECE, nullptr, nullptr, 873, SQLCS_IMPLICIT),
                  OCI_SUCCESS);
        EXPECT_EQ(amount, 4u);
        run("COMMIT");
    }
    EXPECT_EQ(s->value("SELECT \"C\" FROM \"L\" WHERE \"ID\" = 2"),
              "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST_F(ocisim_test, blob_pieces_and_offsets_count_bytes)
{
    run("CREATE TABLE \"L\" (\"C\" CLOB, \"B\" BLOB)");
    run("INSERT INTO \"L\" VALUES (EMPTY_CLOB(), EMPTY_BLOB())");
    locked_lobs l(*s);
    std::string data(70001, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    ub4 amount = ub4(data.size());
    ASSERT_EQ(OCILobWrite(s->svc(), env.err, l.blob, &amount, 1, data.data(), amount,
                          OCI_ONE_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT),
              OCI_SUCCESS);
    std::string back;
    std::vector<char> buf(32768);
    ub4 offset = 1;
    std::vector<ub4> amounts;
    for (;;) {
        amount = 0;
        OCILobRead(s->svc(), env.err, l.blob, &amount, offset, buf.data(), ub4(buf.size()),
                   nullptr, nullptr, 0, SQLCS_IMPLICIT);
        amounts.push_back(amount);
        if (amount == 0)
            break;
        back.append(buf.data(), amount);
        offset += amount;
    }
    EXPECT_EQ(amounts, (std::vector<ub4>{32768, 32768, 4465, 0}));
    EXPECT_EQ(back, data);
}

TEST_F(ocisim_test, insert_returns_the_rowid_through_a_dynamic_out_bind)
{
    run("CREATE TABLE \"T\" (\"A\" NUMBER)");
    struct ctx_t
    {
        char16_t buf[256];
        ub4 len = sizeof buf;
        int in_calls = 0, out_calls = 0;
    } ctx;
    auto in_cb = [](void *c, OCIBind *, ub4, ub4, void **bufpp, ub4 *alenp, ub1 *piecep,
                    void **indp) -> sb4 {
        static_cast<ctx_t *>(c)->in_calls++;
        *bufpp = nullptr;
        *alenp = 0;
        *piecep = OCI_ONE_PIECE;
        *indp = nullptr;
        return OCI_CONTINUE;
    };
    auto out_cb = [](void *c, OCIBind *, ub4, ub4, void **bufpp, ub4 **alenp, ub1 *piecep,
                     void **indp, ub2 **rcodep) -> sb4 {
        ctx_t *x = static_cast<ctx_t *>(c);
        x->out_calls++;
        *bufpp = x->buf;
        *alenp = &x->len;
        *piecep = OCI_ONE_PIECE;
        *indp = nullptr;
        *rcodep = nullptr;
        return OCI_CONTINUE;
    };
    OCIStmt *st = s->prepare("INSERT /*+ APPEND */ INTO \"T\" (\"A\") VALUES(5) RETURNING ROWID INTO :1");
    OCIBind *b = nullptr;
    std::u16string ph = u":1";
    ASSERT_EQ(OCIBindByName(st, &b, env.err, reinterpret_cast<const OraText *>(ph.c_str()), 4,
                            ctx.buf, sizeof ctx.buf, SQLT_STR, nullptr, nullptr, nullptr, 0,
                            nullptr, OCI_DATA_AT_EXEC),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindDynamic(b, env.err, &ctx, in_cb, &ctx, out_cb), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(s->svc(), st, env.err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS),
              OCI_SUCCESS)
        << env.text();
    EXPECT_EQ(ctx.in_calls, 1);
    EXPECT_EQ(ctx.out_calls, 1);
    EXPECT_EQ(ctx.len, 36u);
    std::string rowid = u8(ctx.buf, ctx.len / 2);
    EXPECT_EQ(s->value("SELECT \"A\" FROM \"T\" WHERE ROWID='" + rowid + "'"), "5");
    // a placeholder the statement does not hold
    std::u16string bad = u":2";
    OCIBind *b2 = nullptr;
    EXPECT_EQ(OCIBindByName(st, &b2, env.err, reinterpret_cast<const OraText *>(bad.c_str()), 4,
                            ctx.buf, 8, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                            OCI_DEFAULT),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 1036);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(ocisim_test, injected_faults_match_statement_patterns)
{
    run("CREATE TABLE \"T\" (\"A\" NUMBER)");
    setenv("OCISIM_FAULTS", "54:DROP TABLE*;ORA-01031:create sequence \"T_*", 1);
    EXPECT_EQ(s->exec("DROP TABLE \"T\""), 54);
    EXPECT_EQ(env.text(),
              "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired\n");
    EXPECT_EQ(s->exec("CREATE SEQUENCE \"T_0\""), 1031);
    EXPECT_EQ(s->exec("CREATE SEQUENCE \"S_0\""), 0);
    unsetenv("OCISIM_FAULTS");
    EXPECT_EQ(s->exec("DROP TABLE \"T\""), 0);
}

TEST_F(ocisim_test, an_injected_commit_fault_matches_the_transaction_and_rolls_it_back)
{
    run("CREATE TABLE \"T\" (\"A\" NUMBER)");
    setenv("OCISIM_FAULTS", "2091:COMMIT*\"A\"=2*", 1);
    // a transaction without a matching statement commits
    EXPECT_EQ(s->exec("UPDATE \"T\" SET \"A\"=1", OCI_DEFAULT), 0);
    EXPECT_EQ(s->exec("INSERT INTO \"T\" VALUES (1)", OCI_DEFAULT), 0);
    EXPECT_EQ(OCITransCommit(s->svc(), env.err, OCI_DEFAULT), OCI_SUCCESS);
    // one with a matching statement is rolled back whole
    EXPECT_EQ(s->exec("INSERT INTO \"T\" VALUES (3)", OCI_DEFAULT), 0);
    EXPECT_EQ(s->exec("UPDATE \"T\" SET \"A\"=2 WHERE \"A\"=1", OCI_DEFAULT), 0);
    EXPECT_EQ(OCITransCommit(s->svc(), env.err, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(env.code(), 2091);
    // the next transaction starts empty
    EXPECT_EQ(s->exec("INSERT INTO \"T\" VALUES (4)", OCI_DEFAULT), 0);
    EXPECT_EQ(OCITransCommit(s->svc(), env.err, OCI_DEFAULT), OCI_SUCCESS);
    unsetenv("OCISIM_FAULTS");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"T\" WHERE \"A\" IN (1, 4)"), "2");
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM \"T\""), "2");
}

TEST_F(ocisim_test, wrong_handles_are_invalid_handles)
{
    OCIStmt *st = nullptr;
    EXPECT_EQ(OCIHandleAlloc(env.err, reinterpret_cast<void **>(&st), OCI_HTYPE_STMT, 0, nullptr),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIHandleFree(env.err, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIStmtPrepare(reinterpret_cast<OCIStmt *>(env.err), env.err,
                             reinterpret_cast<const OraText *>(u"x"), 2, OCI_NTV_SYNTAX,
                             OCI_DEFAULT),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCILogoff(reinterpret_cast<OCISvcCtx *>(env.env), env.err), OCI_INVALID_HANDLE);
    st = s->prepare("SELECT 1 FROM DUAL");
    EXPECT_EQ(OCIStmtExecute(s->svc(), st, reinterpret_cast<OCIError *>(env.env), 1, 0, nullptr,
                             nullptr, OCI_DEFAULT),
              OCI_INVALID_HANDLE);
    // a statement other than a query needs an iteration
    OCIStmt *ins = s->prepare("CREATE TABLE \"Z\" (\"A\" NUMBER)");
    EXPECT_EQ(OCIStmtExecute(s->svc(), ins, env.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 24333);
    OCIHandleFree(ins, OCI_HTYPE_STMT);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(ocisim_test, version_banner_comes_from_the_environment)
{
    EXPECT_EQ(s->value("select * from v$version"),
              "Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production");
    setenv("OCISIM_BANNER", "Oracle8i Release 8.1.7.0.0 - Production\nPL/SQL Release 8.1.7.0.0", 1);
    oci_session old(env, "scott", "tiger", "ORCL");
    EXPECT_EQ(old.rows("SELECT BANNER FROM V$VERSION"),
              (rows_t{{"Oracle8i Release 8.1.7.0.0 - Production"}, {"PL/SQL Release 8.1.7.0.0"}}));
    // before 12.2 identifiers have at most 30 characters
    EXPECT_EQ(old.exec("CREATE TABLE \"ABCDEFGHIJKLMNOPQRSTUVWXYZ12345\" (\"A\" NUMBER)"), 972);
    unsetenv("OCISIM_BANNER");
}

TEST_F(ocisim_test, ddl_runs_beside_open_queries_of_the_session)
{
    run("CREATE TABLE \"T\" (\"A\" NUMBER NOT NULL)");
    run("INSERT INTO \"T\" VALUES (1)");
    run("INSERT INTO \"T\" VALUES (2)");
    sb4 a = 0;
    sb2 ind = 0;
    OCIDefine *d = nullptr;
    // a query described and executed but not yet read keeps working after DDL on its table
    OCIStmt *waiting = s->prepare("SELECT \"A\" FROM \"T\" ORDER BY \"A\"");
    OCIDefineByPos(waiting, &d, env.err, 1, &a, 4, SQLT_INT, &ind, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtExecute(s->svc(), waiting, env.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    run("ALTER TABLE \"T\" MODIFY \"A\" NUMBER NULL");
    EXPECT_EQ(OCIStmtFetch(waiting, env.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS)
        << env.text();
    EXPECT_EQ(a, 1);
    // a query in the middle of its rows ends when its table is dropped
    run("DROP TABLE \"T\"");
    EXPECT_EQ(OCIStmtFetch(waiting, env.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    OCIHandleFree(waiting, OCI_HTYPE_STMT);
    EXPECT_EQ(s->value("SELECT COUNT(*) FROM USER_TABLES"), "0");
}

TEST_F(ocisim_test, lob_text_goes_in_and_out_only_in_the_form_of_the_lob)
{
    // ORA-24806: the character-set form of the buffer must be that of the LOB
    run("CREATE TABLE \"L\" (\"C\" NCLOB, \"B\" BLOB, \"P\" CLOB)");
    run("INSERT INTO \"L\" VALUES (EMPTY_CLOB(), EMPTY_BLOB(), EMPTY_CLOB())");
    locked_lobs l(*s);
    ub1 form = 9;
    ASSERT_EQ(OCILobCharSetForm(env.env, env.err, l.clob, &form), OCI_SUCCESS);
    EXPECT_EQ(form, SQLCS_NCHAR);
    const std::string text = "Grüße 😀";
    ub4 amount = ub4(text.size());
    EXPECT_EQ(OCILobWrite(s->svc(), env.err, l.clob, &amount, 1, const_cast<char *>(text.data()),
                          amount, OCI_ONE_PIECE, nullptr, nullptr, 873, SQLCS_IMPLICIT),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 24806);
    EXPECT_EQ(s->value("SELECT LENGTH(\"C\") FROM \"L\""), "0") << "nothing was written";
    amount = ub4(text.size());
    ASSERT_EQ(OCILobWrite(s->svc(), env.err, l.clob, &amount, 1, const_cast<char *>(text.data()),
                          amount, OCI_ONE_PIECE, nullptr, nullptr, 873, SQLCS_NCHAR),
              OCI_SUCCESS)
        << env.text();
    // a BLOB has no form: whatever is passed
    amount = 1;
    EXPECT_EQ(OCILobWrite(s->svc(), env.err, l.blob, &amount, 1, const_cast<char *>("x"), 1,
                          OCI_ONE_PIECE, nullptr, nullptr, 0, SQLCS_NCHAR),
              OCI_SUCCESS)
        << env.text();
    run("COMMIT");

    // reads ask in the LOB's form as well, and a CLOB refuses the national one
    locked_lobs r(*s, "SELECT \"C\", \"B\" FROM \"L\"");
    char bytes[64];
    amount = 0;
    EXPECT_EQ(OCILobRead(s->svc(), env.err, r.clob, &amount, 1, bytes, sizeof bytes, nullptr,
                         nullptr, 873, SQLCS_IMPLICIT),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 24806);
    amount = 0;
    ASSERT_EQ(OCILobRead(s->svc(), env.err, r.clob, &amount, 1, bytes, sizeof bytes, nullptr,
                         nullptr, 873, SQLCS_NCHAR),
              OCI_SUCCESS)
        << env.text();
    EXPECT_EQ(std::string(bytes, amount), text);
    locked_lobs p(*s, "SELECT \"P\", \"B\" FROM \"L\" FOR UPDATE");
    amount = 1;
    EXPECT_EQ(OCILobWrite(s->svc(), env.err, p.clob, &amount, 1, const_cast<char *>("x"), 1,
                          OCI_ONE_PIECE, nullptr, nullptr, 873, SQLCS_NCHAR),
              OCI_ERROR);
    EXPECT_EQ(env.code(), 24806);
}

TEST_F(ocisim_test, binary_float_and_double_describe_and_fetch_as_ieee_values)
{
    run("CREATE TABLE \"B\" (\"K\" NUMBER, \"F\" BINARY_FLOAT NOT NULL, \"D\" BINARY_DOUBLE)");
    // 0.1 rounds to the nearest single; the smallest subnormal double stays what it is
    run("INSERT INTO \"B\" VALUES (1, 0.1d, -4.9406564584124654e-324d)");
    run("INSERT INTO \"B\" VALUES (2, 16777217, NULL)");
    OCIStmt *st = s->prepare("SELECT \"F\", \"D\" FROM \"B\" ORDER BY \"K\"");
    ASSERT_EQ(OCIStmtExecute(s->svc(), st, env.err, 0, 0, nullptr, nullptr, OCI_DESCRIBE_ONLY),
              OCI_SUCCESS)
        << env.text();
    const struct
    {
        ub2 type, size;
        ub1 nullable;
    } want[] = {{SQLT_IBFLOAT, 4, 0}, {SQLT_IBDOUBLE, 8, 1}};
    for (ub4 i = 0; i < 2; ++i) {
        void *p = nullptr;
        ASSERT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, env.err, &p, i + 1), OCI_SUCCESS);
        ub2 type = 0, size = 0;
        ub1 nullable = 9;
        OCIAttrGet(p, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, env.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &nullable, nullptr, OCI_ATTR_IS_NULL, env.err);
        EXPECT_EQ(type, want[i].type) << i;
        EXPECT_EQ(size, want[i].size) << i;
        EXPECT_EQ(nullable, want[i].nullable) << i;
    }
    float f = 0;
    double d = 0;
    sb2 ind[2] = {};
    OCIDefine *def[2] = {};
    OCIDefineByPos(st, &def[0], env.err, 1, &f, sizeof f, SQLT_BFLOAT, &ind[0], nullptr, nullptr,
                   OCI_DEFAULT);
    OCIDefineByPos(st, &def[1], env.err, 2, &d, sizeof d, SQLT_BDOUBLE, &ind[1], nullptr,
                   nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtExecute(s->svc(), st, env.err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << env.text();
    EXPECT_EQ(f, 0.1f);
    EXPECT_EQ(d, -std::numeric_limits<double>::denorm_min());
    ASSERT_EQ(OCIStmtFetch(st, env.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(f, 16777216.0f) << "2^24 + 1 has no single";
    EXPECT_EQ(ind[1], -1);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}
