/* a plain C client of the Oracle Call Interface, as a program written against the real
   client would be: the documented call sequence, UTF-16 environment, byte lengths.

   c_client write DATASOURCE USER PASSWORD   creates a table, inserts a row returning its ROWID
                                             through a dynamic out-bind, writes its CLOB and BLOB
   c_client read DATASOURCE USER PASSWORD    describes and fetches the rows, reads the LOBs

   output: one line per fact; errors as "ERROR <code> <message>" and exit status 1 */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;
typedef int sword;
typedef unsigned char OraText;

typedef struct OCIEnv OCIEnv;
typedef struct OCIError OCIError;
typedef struct OCISvcCtx OCISvcCtx;
typedef struct OCIStmt OCIStmt;
typedef struct OCIBind OCIBind;
typedef struct OCIDefine OCIDefine;
typedef struct OCISnapshot OCISnapshot;
typedef struct OCILobLocator OCILobLocator;

sword OCIEnvCreate(OCIEnv **envp, ub4 mode, void *ctxp, void *(*m)(void *, size_t),
                   void *(*r)(void *, void *, size_t), void (*f)(void *, void *), size_t xtra,
                   void **usrmem);
sword OCIHandleAlloc(const void *parenth, void **hndlpp, ub4 type, size_t xtra, void **usrmem);
sword OCIHandleFree(void *hndlp, ub4 type);
sword OCIDescriptorAlloc(const void *parenth, void **descpp, ub4 type, size_t xtra, void **usrmem);
sword OCIDescriptorFree(void *descp, ub4 type);
sword OCILogon(OCIEnv *envhp, OCIError *errhp, OCISvcCtx **svchp, const OraText *username,
               ub4 uname_len, const OraText *password, ub4 passwd_len, const OraText *dbname,
               ub4 dbname_len);
sword OCILogoff(OCISvcCtx *svchp, OCIError *errhp);
sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate, sb4 *errcodep, OraText *bufp,
                  ub4 bufsiz, ub4 type);
sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot *snap_in, OCISnapshot *snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp, ub4 position,
                     void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *rlenp, ub2 *rcodep,
                     ub4 mode);
sword OCIBindByName(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, const OraText *placeholder,
                    sb4 placeh_len, void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *alenp,
                    ub2 *rcodep, ub4 maxarr_len, ub4 *curelep, ub4 mode);
sword OCIBindDynamic(OCIBind *bindp, OCIError *errhp, void *ictxp,
                     sb4 (*icbfp)(void *, OCIBind *, ub4, ub4, void **, ub4 *, ub1 *, void **),
                     void *octxp,
                     sb4 (*ocbfp)(void *, OCIBind *, ub4, ub4, void **, ub4 **, ub1 *, void **,
                                  ub2 **));
sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep,
                 ub4 attrtype, OCIError *errhp);
sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp, ub4 pos);
sword OCILobRead(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp, ub4 offset,
                 void *bufp, ub4 bufl, void *ctxp, sb4 (*cbfp)(void *, const void *, ub4, ub1),
                 ub2 csid, ub1 csfrm);
sword OCILobWrite(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp, ub4 offset,
                  void *bufp, ub4 buflen, ub1 piece, void *ctxp,
                  sb4 (*cbfp)(void *, void *, ub4 *, ub1 *), ub2 csid, ub1 csfrm);

#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_NEED_DATA 99
#define OCI_NO_DATA 100
#define OCI_ERROR (-1)
#define OCI_CONTINUE (-24200)
#define OCI_DEFAULT 0
#define OCI_UTF16 0x4000
#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_STMT 4
#define OCI_DTYPE_LOB 50
#define OCI_DTYPE_PARAM 53
#define OCI_NTV_SYNTAX 1
#define OCI_COMMIT_ON_SUCCESS 0x20
#define OCI_FETCH_NEXT 2
#define OCI_DATA_AT_EXEC 2
#define OCI_ONE_PIECE 0
#define OCI_ATTR_DATA_SIZE 1
#define OCI_ATTR_DATA_TYPE 2
#define OCI_ATTR_NAME 4
#define OCI_ATTR_PRECISION 5
#define OCI_ATTR_SCALE 6
#define OCI_ATTR_IS_NULL 7
#define OCI_ATTR_PARAM_COUNT 18
#define SQLT_INT 3
#define SQLT_STR 5
#define SQLT_DAT 12
#define SQLT_CLOB 112
#define SQLT_BLOB 113
#define SQLCS_IMPLICIT 1

static OCIEnv *env;
static OCIError *err;
static OCISvcCtx *svc;

/* ASCII and UTF-8 text into UTF-16 units; returns the byte length */
static ub4 to16(const char *s, ub2 *out, size_t cap)
{
    size_t n = 0;
    const unsigned char *p = (const unsigned char *)s;
    while (*p && n + 1 < cap) {
        unsigned c = *p++;
        if (c >= 0xE0) {
            c = ((c & 0x0F) << 12) | ((p[0] & 0x3F) << 6) | (p[1] & 0x3F);
            p += 2;
        } else if (c >= 0xC0) {
            c = ((c & 0x1F) << 6) | (p[0] & 0x3F);
            p += 1;
        }
        out[n++] = (ub2)c;
    }
    out[n] = 0;
    return (ub4)(n * 2);
}

/* UTF-16 units (BMP only) into UTF-8 */
static void to8(const ub2 *s, size_t n, char *out, size_t cap)
{
    size_t k = 0, i;
    for (i = 0; i < n && s[i] && k + 4 < cap; ++i) {
        unsigned c = s[i];
        if (c < 0x80) {
            out[k++] = (char)c;
        } else if (c < 0x800) {
            out[k++] = (char)(0xC0 | (c >> 6));
            out[k++] = (char)(0x80 | (c & 0x3F));
        } else {
            out[k++] = (char)(0xE0 | (c >> 12));
            out[k++] = (char)(0x80 | ((c >> 6) & 0x3F));
            out[k++] = (char)(0x80 | (c & 0x3F));
        }
    }
    out[k] = 0;
}

static void check(sword rc, const char *what)
{
    ub2 buf[512];
    char msg[1024];
    sb4 code = 0;
    if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO || rc == OCI_NO_DATA ||
        rc == OCI_NEED_DATA)
        return;
    if (rc != OCI_ERROR) {
        printf("ERROR %d status of %s\n", rc, what);
        exit(1);
    }
    OCIErrorGet(err, 1, NULL, &code, (OraText *)buf, sizeof buf, OCI_HTYPE_ERROR);
    to8(buf, 512, msg, sizeof msg);
    printf("ERROR %d %s", (int)code, msg);
    exit(1);
}

static OCIStmt *prepare(const char *sql)
{
    static ub2 text[4096];
    OCIStmt *st = NULL;
    ub4 len = to16(sql, text, 4096);
    check(OCIHandleAlloc(env, (void **)&st, OCI_HTYPE_STMT, 0, NULL), "alloc");
    check(OCIStmtPrepare(st, err, (OraText *)text, len, OCI_NTV_SYNTAX, OCI_DEFAULT), "prepare");
    return st;
}

static void run(const char *sql, ub4 mode)
{
    OCIStmt *st = prepare(sql);
    check(OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, mode), sql);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

/* the ROWID of RETURNING ... INTO :1 arrives through these */
static ub2 rowid_buf[256];
static ub4 rowid_len = sizeof rowid_buf;

static sb4 no_data(void *ctx, OCIBind *b, ub4 iter, ub4 index, void **bufp, ub4 *alenp,
                   ub1 *piecep, void **indp)
{
    (void)ctx, (void)b, (void)iter, (void)index;
    *bufp = NULL;
    *alenp = 0;
    *piecep = OCI_ONE_PIECE;
    *indp = NULL;
    return OCI_CONTINUE;
}

static sb4 get_data(void *ctx, OCIBind *b, ub4 iter, ub4 index, void **bufp, ub4 **alenp,
                    ub1 *piecep, void **indp, ub2 **rcodep)
{
    (void)ctx, (void)b, (void)iter, (void)index;
    *bufp = rowid_buf;
    *alenp = &rowid_len;
    *piecep = OCI_ONE_PIECE;
    *indp = NULL;
    *rcodep = NULL;
    return OCI_CONTINUE;
}

static void do_write(void)
{
    OCIStmt *st;
    OCIBind *bind = NULL;
    OCIDefine *d1 = NULL, *d2 = NULL;
    OCILobLocator *clob = NULL, *blob = NULL;
    sb2 i1 = 0, i2 = 0;
    ub2 ph[8], text[64];
    char rowid[64], sel[256];
    ub4 amount;
    unsigned char bytes[3] = {0x00, 0xFF, 0x10};

    run("CREATE TABLE \"DOC\" (\"ID\" NUMBER(11,0) NOT NULL, \"TITLE\" NVARCHAR2(20), "
        "\"BODY\" CLOB, \"DATA\" BLOB, \"MADE\" DATE)",
        OCI_DEFAULT);
    run("ALTER TABLE \"DOC\" ADD CONSTRAINT \"PK_DOC\" PRIMARY KEY (\"ID\")", OCI_DEFAULT);

    st = prepare("INSERT /*+ APPEND */ INTO \"DOC\" (\"ID\", \"TITLE\", \"BODY\", \"DATA\", "
                 "\"MADE\") VALUES(1, 'Grüße', EMPTY_CLOB(), EMPTY_BLOB(), "
                 "to_date('2013-03-11 14:05:09', 'YYYY-MM-DD HH24:MI:SS')) RETURNING ROWID INTO :1");
    check(OCIBindByName(st, &bind, err, (OraText *)ph, (sb4)to16(":1", ph, 8), rowid_buf,
                        sizeof rowid_buf, SQLT_STR, NULL, NULL, NULL, 0, NULL, OCI_DATA_AT_EXEC),
          "bind");
    check(OCIBindDynamic(bind, err, NULL, no_data, NULL, get_data), "bind dynamic");
    check(OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_COMMIT_ON_SUCCESS), "insert");
    to8(rowid_buf, rowid_len / 2, rowid, sizeof rowid);
    printf("rowid %s len %u\n", rowid, rowid_len);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    snprintf(sel, sizeof sel,
             "SELECT \"BODY\", \"DATA\" FROM \"DOC\" WHERE ROWID='%s' FOR UPDATE", rowid);
    st = prepare(sel);
    check(OCIDescriptorAlloc(env, (void **)&clob, OCI_DTYPE_LOB, 0, NULL), "lob");
    check(OCIDescriptorAlloc(env, (void **)&blob, OCI_DTYPE_LOB, 0, NULL), "lob");
    check(OCIDefineByPos(st, &d1, err, 1, &clob, -1, SQLT_CLOB, &i1, NULL, NULL, OCI_DEFAULT),
          "define clob");
    check(OCIDefineByPos(st, &d2, err, 2, &blob, -1, SQLT_BLOB, &i2, NULL, NULL, OCI_DEFAULT),
          "define blob");
    check(OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_DEFAULT), "select for update");
    /* the environment's UTF-16: the amount counts characters */
    amount = to16("héllo wörld", text, 64) / 2;
    check(OCILobWrite(svc, err, clob, &amount, 1, text, amount * 2, OCI_ONE_PIECE, NULL, NULL, 0,
                      SQLCS_IMPLICIT),
          "write clob");
    printf("clob written %u\n", amount);
    amount = 3;
    check(OCILobWrite(svc, err, blob, &amount, 1, bytes, 3, OCI_ONE_PIECE, NULL, NULL, 0,
                      SQLCS_IMPLICIT),
          "write blob");
    printf("blob written %u\n", amount);
    OCIDescriptorFree(clob, OCI_DTYPE_LOB);
    OCIDescriptorFree(blob, OCI_DTYPE_LOB);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    /* no commit here: the log-off commits */
}

static void do_read(void)
{
    OCIStmt *st = prepare("SELECT \"ID\", \"TITLE\", \"BODY\", \"DATA\", \"MADE\" FROM \"DOC\"");
    ub4 count = 0, i;
    sb4 id = 0;
    ub2 title[64];
    unsigned char made[7];
    OCILobLocator *clob = NULL, *blob = NULL;
    OCIDefine *defs[5] = {NULL, NULL, NULL, NULL, NULL};
    sb2 ind[5];
    sword rc;
    int rows = 0;

    /* describe without fetching */
    check(OCIStmtExecute(svc, st, err, 0, 0, NULL, NULL, OCI_DEFAULT), "describe");
    check(OCIAttrGet(st, OCI_HTYPE_STMT, &count, NULL, OCI_ATTR_PARAM_COUNT, err), "count");
    printf("columns %u\n", count);
    for (i = 1; i <= count; ++i) {
        void *p = NULL;
        ub2 type = 0, size = 0;
        sb2 prec = 0;
        sb1 scale = 0;
        ub1 nullable = 0;
        OraText *name = NULL;
        ub4 name_len = 0;
        char name8[64];
        check(OCIParamGet(st, OCI_HTYPE_STMT, err, &p, i), "param");
        check(OCIAttrGet(p, OCI_DTYPE_PARAM, &type, NULL, OCI_ATTR_DATA_TYPE, err), "type");
        check(OCIAttrGet(p, OCI_DTYPE_PARAM, &size, NULL, OCI_ATTR_DATA_SIZE, err), "size");
        check(OCIAttrGet(p, OCI_DTYPE_PARAM, &prec, NULL, OCI_ATTR_PRECISION, err), "prec");
        check(OCIAttrGet(p, OCI_DTYPE_PARAM, &scale, NULL, OCI_ATTR_SCALE, err), "scale");
        check(OCIAttrGet(p, OCI_DTYPE_PARAM, &nullable, NULL, OCI_ATTR_IS_NULL, err), "null");
        check(OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &name_len, OCI_ATTR_NAME, err), "name");
        to8((const ub2 *)name, name_len / 2, name8, sizeof name8);
        printf("column %u %s type %u size %u prec %d scale %d nullable %u\n", i, name8, type,
               size, prec, scale, nullable);
    }
    check(OCIDescriptorAlloc(env, (void **)&clob, OCI_DTYPE_LOB, 0, NULL), "lob");
    check(OCIDescriptorAlloc(env, (void **)&blob, OCI_DTYPE_LOB, 0, NULL), "lob");
    check(OCIDefineByPos(st, &defs[0], err, 1, &id, 4, SQLT_INT, &ind[0], NULL, NULL, OCI_DEFAULT),
          "d1");
    check(OCIDefineByPos(st, &defs[1], err, 2, title, sizeof title, SQLT_STR, &ind[1], NULL, NULL,
                         OCI_DEFAULT),
          "d2");
    check(OCIDefineByPos(st, &defs[2], err, 3, &clob, -1, SQLT_CLOB, &ind[2], NULL, NULL,
                         OCI_DEFAULT),
          "d3");
    check(OCIDefineByPos(st, &defs[3], err, 4, &blob, -1, SQLT_BLOB, &ind[3], NULL, NULL,
                         OCI_DEFAULT),
          "d4");
    check(OCIDefineByPos(st, &defs[4], err, 5, made, 7, SQLT_DAT, &ind[4], NULL, NULL,
                         OCI_DEFAULT),
          "d5");
    check(OCIStmtExecute(svc, st, err, 0, 0, NULL, NULL, OCI_DEFAULT), "execute");
    while ((rc = OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) != OCI_NO_DATA) {
        char t8[128], c8[256];
        ub2 piece[128];
        unsigned char b[16];
        ub4 amount = 0;
        check(rc, "fetch");
        to8(title, 64, t8, sizeof t8);
        /* an amount of 0 reads to the end of the LOB */
        check(OCILobRead(svc, err, clob, &amount, 1, piece, sizeof piece, NULL, NULL, 0,
                         SQLCS_IMPLICIT),
              "read clob");
        to8(piece, amount, c8, sizeof c8);
        printf("row id %d title %s body %s chars %u\n", id, t8, c8, amount);
        amount = 0;
        check(OCILobRead(svc, err, blob, &amount, 1, b, sizeof b, NULL, NULL, 0, SQLCS_IMPLICIT),
              "read blob");
        printf("data %u bytes %02X %02X %02X\n", amount, b[0], b[1], b[2]);
        printf("made %u %u %u %u %u %u %u\n", made[0], made[1], made[2], made[3], made[4], made[5],
               made[6]);
        ++rows;
    }
    printf("rows %d\n", rows);
    OCIDescriptorFree(clob, OCI_DTYPE_LOB);
    OCIDescriptorFree(blob, OCI_DTYPE_LOB);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

int main(int argc, char **argv)
{
    ub2 u[128], p[128], d[128];
    ub4 ul, pl, dl;
    if (argc != 5) {
        fprintf(stderr, "usage: c_client write|read DATASOURCE USER PASSWORD\n");
        return 2;
    }
    check(OCIEnvCreate(&env, OCI_UTF16, NULL, NULL, NULL, NULL, 0, NULL), "env");
    check(OCIHandleAlloc(env, (void **)&err, OCI_HTYPE_ERROR, 0, NULL), "error handle");
    dl = to16(argv[2], d, 128);
    ul = to16(argv[3], u, 128);
    pl = to16(argv[4], p, 128);
    check(OCILogon(env, err, &svc, (OraText *)u, ul, (OraText *)p, pl, (OraText *)d, dl), "logon");
    if (strcmp(argv[1], "write") == 0)
        do_write();
    else
        do_read();
    check(OCILogoff(svc, err), "logoff");
    OCIHandleFree(err, OCI_HTYPE_ERROR);
    OCIHandleFree(env, OCI_HTYPE_ENV);
    return 0;
}
