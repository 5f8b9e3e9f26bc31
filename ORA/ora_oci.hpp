#pragma once

// our own declarations of the part of the Oracle Call Interface that the Oracle engine calls,
// with the client's real C types, constant values and signatures. the client library is bound
// at run time (ora_oci::load); nothing here links against it.
//
// only ORA/ sources (and the test tree's stand-in client) include this header; no public header
// of another subsystem may.

#include <cstddef>
#include <stdexcept>
#include <string>

extern "C" {

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;
typedef int sword;
typedef unsigned char OraText;

// opaque handles and descriptors
struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIServer;
struct OCIStmt;
struct OCIBind;
struct OCIDefine;
struct OCIParam;
struct OCISnapshot;
struct OCILobLocator;

typedef sb4 (*OCICallbackInBind)(void *ictxp, OCIBind *bindp, ub4 iter, ub4 index, void **bufpp,
                                 ub4 *alenp, ub1 *piecep, void **indp);
typedef sb4 (*OCICallbackOutBind)(void *octxp, OCIBind *bindp, ub4 iter, ub4 index, void **bufpp,
                                  ub4 **alenp, ub1 *piecep, void **indp, ub2 **rcodep);
typedef sb4 (*OCICallbackLobRead)(void *ctxp, const void *bufp, ub4 len, ub1 piece);
typedef sb4 (*OCICallbackLobWrite)(void *ctxp, void *bufp, ub4 *lenp, ub1 *piece);

typedef void *(*OCIMallocFn)(void *ctxp, size_t size);
typedef void *(*OCIReallocFn)(void *ctxp, void *memptr, size_t newsize);
typedef void (*OCIFreeFn)(void *ctxp, void *memptr);

} // extern "C"

// statuses
constexpr sword OCI_SUCCESS = 0;
constexpr sword OCI_SUCCESS_WITH_INFO = 1;
constexpr sword OCI_NEED_DATA = 99;
constexpr sword OCI_NO_DATA = 100;
constexpr sword OCI_ERROR = -1;
constexpr sword OCI_INVALID_HANDLE = -2;
constexpr sword OCI_STILL_EXECUTING = -3123;
constexpr sword OCI_CONTINUE = -24200;

// modes
constexpr ub4 OCI_DEFAULT = 0x00000000;
constexpr ub4 OCI_THREADED = 0x00000001;
constexpr ub4 OCI_OBJECT = 0x00000002;
constexpr ub4 OCI_UTF16 = 0x00004000;

// handle types
constexpr ub4 OCI_HTYPE_ENV = 1;
constexpr ub4 OCI_HTYPE_ERROR = 2;
constexpr ub4 OCI_HTYPE_SVCCTX = 3;
constexpr ub4 OCI_HTYPE_STMT = 4;
constexpr ub4 OCI_HTYPE_BIND = 5;
constexpr ub4 OCI_HTYPE_DEFINE = 6;
constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
constexpr ub4 OCI_HTYPE_SERVER = 8;
constexpr ub4 OCI_HTYPE_SESSION = 9;
constexpr ub4 OCI_HTYPE_TRANS = 10;

// descriptor types
constexpr ub4 OCI_DTYPE_LOB = 50;
constexpr ub4 OCI_DTYPE_SNAP = 51;
constexpr ub4 OCI_DTYPE_RSET = 52;
constexpr ub4 OCI_DTYPE_PARAM = 53;
constexpr ub4 OCI_DTYPE_ROWID = 54;

// statement syntax
constexpr ub4 OCI_NTV_SYNTAX = 1;
constexpr ub4 OCI_V7_SYNTAX = 2;
constexpr ub4 OCI_V8_SYNTAX = 3;

// execute modes
constexpr ub4 OCI_BATCH_MODE = 0x00000001;
constexpr ub4 OCI_EXACT_FETCH = 0x00000002;
constexpr ub4 OCI_STMT_SCROLLABLE_READONLY = 0x00000008;
constexpr ub4 OCI_DESCRIBE_ONLY = 0x00000010;
constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x00000020;
constexpr ub4 OCI_NON_BLOCKING = 0x00000040;
constexpr ub4 OCI_BATCH_ERRORS = 0x00000080;
constexpr ub4 OCI_PARSE_ONLY = 0x00000100;

// fetch orientations
constexpr ub2 OCI_FETCH_CURRENT = 0x01;
constexpr ub2 OCI_FETCH_NEXT = 0x02;
constexpr ub2 OCI_FETCH_FIRST = 0x04;
constexpr ub2 OCI_FETCH_LAST = 0x08;
constexpr ub2 OCI_FETCH_PRIOR = 0x10;
constexpr ub2 OCI_FETCH_ABSOLUTE = 0x20;
constexpr ub2 OCI_FETCH_RELATIVE = 0x40;

// bind and define modes
constexpr ub4 OCI_SB2_IND_PTR = 0x00000001;
constexpr ub4 OCI_DATA_AT_EXEC = 0x00000002;
constexpr ub4 OCI_DYNAMIC_FETCH = 0x00000002;
constexpr ub4 OCI_PIECEWISE = 0x00000004;

// pieces
constexpr ub1 OCI_ONE_PIECE = 0;
constexpr ub1 OCI_FIRST_PIECE = 1;
constexpr ub1 OCI_NEXT_PIECE = 2;
constexpr ub1 OCI_LAST_PIECE = 3;

// character-set forms and ids
constexpr ub1 SQLCS_IMPLICIT = 1;
constexpr ub1 SQLCS_NCHAR = 2;
constexpr ub1 SQLCS_EXPLICIT = 3;
constexpr ub1 SQLCS_FLEXIBLE = 4;
constexpr ub1 SQLCS_LIT_NULL = 5;
constexpr ub2 OCI_UTF16ID = 1000;
constexpr ub2 OCI_AL32UTF8_ID = 873;   // AL32UTF8
constexpr ub2 OCI_UTF8_ID = 871;       // UTF8 (CESU-8)

// the longest message OCIErrorGet gives, in bytes
constexpr ub4 OCI_ERROR_MAXMSG_SIZE2 = 3072;

// attributes of handles. widths: ROW_COUNT ub4, PARAM_COUNT ub4, STMT_TYPE ub2
constexpr ub4 OCI_ATTR_ENV = 5;
constexpr ub4 OCI_ATTR_SERVER = 6;
constexpr ub4 OCI_ATTR_SESSION = 7;
constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
constexpr ub4 OCI_ATTR_PREFETCH_ROWS = 11;
constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;
constexpr ub4 OCI_ATTR_ROWID = 19;
constexpr ub4 OCI_ATTR_USERNAME = 22;
constexpr ub4 OCI_ATTR_PASSWORD = 23;
constexpr ub4 OCI_ATTR_STMT_TYPE = 24;

// attributes of parameter descriptors. widths: DATA_SIZE ub2, DATA_TYPE ub2, NAME OraText*
// with its length in bytes, PRECISION sb2 (of a select-list item), SCALE sb1, IS_NULL ub1,
// CHARSET_ID ub2, CHARSET_FORM ub1, CHAR_USED ub1, CHAR_SIZE ub2
constexpr ub4 OCI_ATTR_DATA_SIZE = 1;
constexpr ub4 OCI_ATTR_DATA_TYPE = 2;
constexpr ub4 OCI_ATTR_DISP_SIZE = 3;
constexpr ub4 OCI_ATTR_NAME = 4;
constexpr ub4 OCI_ATTR_PRECISION = 5;
constexpr ub4 OCI_ATTR_SCALE = 6;
constexpr ub4 OCI_ATTR_IS_NULL = 7;
constexpr ub4 OCI_ATTR_TYPE_NAME = 8;
constexpr ub4 OCI_ATTR_SCHEMA_NAME = 9;
constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
constexpr ub4 OCI_ATTR_CHAR_USED = 285;
constexpr ub4 OCI_ATTR_CHAR_SIZE = 286;

// statement types (OCI_ATTR_STMT_TYPE)
constexpr ub2 OCI_STMT_SELECT = 1;
constexpr ub2 OCI_STMT_UPDATE = 2;
constexpr ub2 OCI_STMT_DELETE = 3;
constexpr ub2 OCI_STMT_INSERT = 4;
constexpr ub2 OCI_STMT_CREATE = 5;
constexpr ub2 OCI_STMT_DROP = 6;
constexpr ub2 OCI_STMT_ALTER = 7;
constexpr ub2 OCI_STMT_BEGIN = 8;
constexpr ub2 OCI_STMT_DECLARE = 9;

// external data types (SQLT_*) and describe codes
constexpr ub2 SQLT_CHR = 1;
constexpr ub2 SQLT_NUM = 2;
constexpr ub2 SQLT_INT = 3;
constexpr ub2 SQLT_FLT = 4;
constexpr ub2 SQLT_STR = 5;
constexpr ub2 SQLT_VNU = 6;
constexpr ub2 SQLT_PDN = 7;
constexpr ub2 SQLT_LNG = 8;
constexpr ub2 SQLT_VCS = 9;
constexpr ub2 SQLT_RID = 11;
constexpr ub2 SQLT_DAT = 12;
constexpr ub2 SQLT_BFLOAT = 21;
constexpr ub2 SQLT_BDOUBLE = 22;
constexpr ub2 SQLT_BIN = 23;
constexpr ub2 SQLT_LBI = 24;
constexpr ub2 SQLT_UIN = 68;
constexpr ub2 SQLT_LVC = 94;
constexpr ub2 SQLT_LVB = 95;
constexpr ub2 SQLT_AFC = 96;
constexpr ub2 SQLT_AVC = 97;
constexpr ub2 SQLT_IBFLOAT = 100;
constexpr ub2 SQLT_IBDOUBLE = 101;
constexpr ub2 SQLT_RDD = 104;
constexpr ub2 SQLT_LAB = 105;
constexpr ub2 SQLT_CLOB = 112;
constexpr ub2 SQLT_BLOB = 113;
constexpr ub2 SQLT_BFILEE = 114;
constexpr ub2 SQLT_TIMESTAMP = 187;
constexpr ub2 SQLT_TIMESTAMP_TZ = 188;
constexpr ub2 SQLT_INTERVAL_YM = 189;
constexpr ub2 SQLT_INTERVAL_DS = 190;
constexpr ub2 SQLT_TIMESTAMP_LTZ = 232;

// every client call the product makes: one line each. the symbol table, the function-pointer
// types and the stand-in's exports are all generated from this list.
//   X(name, parameter list)   every call returns sword
#define ORA_OCI_CALLS(X)                                                                          \
    X(OCIEnvCreate, (OCIEnv * *envp, ub4 mode, void *ctxp, OCIMallocFn malocfp,                   \
                     OCIReallocFn ralocfp, OCIFreeFn mfreefp, size_t xtramem_sz,                  \
                     void **usrmempp))                                                            \
    X(OCIHandleAlloc, (const void *parenth, void **hndlpp, ub4 type, size_t xtramem_sz,           \
                       void **usrmempp))                                                          \
    X(OCIHandleFree, (void *hndlp, ub4 type))                                                     \
    X(OCIDescriptorAlloc, (const void *parenth, void **descpp, ub4 type, size_t xtramem_sz,       \
                           void **usrmempp))                                                      \
    X(OCIDescriptorFree, (void *descp, ub4 type))                                                 \
    X(OCIServerAttach, (OCIServer * srvhp, OCIError *errhp, const OraText *dblink,                \
                        sb4 dblink_len, ub4 mode))                                                \
    X(OCIServerDetach, (OCIServer * srvhp, OCIError *errhp, ub4 mode))                            \
    X(OCILogon, (OCIEnv * envhp, OCIError *errhp, OCISvcCtx **svchp, const OraText *username,     \
                 ub4 uname_len, const OraText *password, ub4 passwd_len, const OraText *dbname,   \
                 ub4 dbname_len))                                                                 \
    X(OCILogoff, (OCISvcCtx * svchp, OCIError *errhp))                                            \
    X(OCIErrorGet, (void *hndlp, ub4 recordno, OraText *sqlstate, sb4 *errcodep, OraText *bufp,  \
                    ub4 bufsiz, ub4 type))                                                        \
    X(OCIStmtPrepare, (OCIStmt * stmtp, OCIError *errhp, const OraText *stmt, ub4 stmt_len,       \
                       ub4 language, ub4 mode))                                                   \
    X(OCIStmtExecute, (OCISvcCtx * svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters,             \
                       ub4 rowoff, const OCISnapshot *snap_in, OCISnapshot *snap_out, ub4 mode))  \
    X(OCIStmtFetch, (OCIStmt * stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, ub4 mode))     \
    X(OCIDefineByPos, (OCIStmt * stmtp, OCIDefine **defnp, OCIError *errhp, ub4 position,         \
                       void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *rlenp, ub2 *rcodep,  \
                       ub4 mode))                                                                 \
    X(OCIBindByName, (OCIStmt * stmtp, OCIBind **bindp, OCIError *errhp,                          \
                      const OraText *placeholder, sb4 placeh_len, void *valuep, sb4 value_sz,     \
                      ub2 dty, void *indp, ub2 *alenp, ub2 *rcodep, ub4 maxarr_len, ub4 *curelep, \
                      ub4 mode))                                                                  \
    X(OCIBindDynamic, (OCIBind * bindp, OCIError *errhp, void *ictxp, OCICallbackInBind icbfp,    \
                       void *octxp, OCICallbackOutBind ocbfp))                                    \
    X(OCIAttrGet, (const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep,           \
                   ub4 attrtype, OCIError *errhp))                                                \
    X(OCIAttrSet, (void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 size, ub4 attrtype,     \
                   OCIError *errhp))                                                              \
    X(OCIParamGet, (const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp, ub4 pos))      \
    X(OCILobRead, (OCISvcCtx * svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp,            \
                   ub4 offset, void *bufp, ub4 bufl, void *ctxp, OCICallbackLobRead cbfp,         \
                   ub2 csid, ub1 csfrm))                                                          \
    X(OCILobWrite, (OCISvcCtx * svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp,           \
                    ub4 offset, void *bufp, ub4 buflen, ub1 piece, void *ctxp,                    \
                    OCICallbackLobWrite cbfp, ub2 csid, ub1 csfrm))                               \
    X(OCILobCharSetForm, (OCIEnv * envhp, OCIError *errhp, const OCILobLocator *locp,             \
                          ub1 *csfrm))                                                            \
    X(OCITransCommit, (OCISvcCtx * svchp, OCIError *errhp, ub4 flags))                            \
    X(OCITransRollback, (OCISvcCtx * svchp, OCIError *errhp, ub4 flags))

namespace ora_oci
{

#define ORA_OCI_FN_TYPE(name, params) using name##_fn = sword(*) params;
ORA_OCI_CALLS(ORA_OCI_FN_TYPE)
#undef ORA_OCI_FN_TYPE

// the resolved entry points of the loaded client: oci.OCIStmtPrepare(...)
struct symbols
{
#define ORA_OCI_FN_SLOT(name, params) name##_fn name = nullptr;
    ORA_OCI_CALLS(ORA_OCI_FN_SLOT)
#undef ORA_OCI_FN_SLOT
};

// the client library could not be loaded, or lacks a call. what() tells which library names
// were tried with the loader's own message, or which symbol is missing in which library.
class load_error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// the library names tried, in order
extern const char *const library_names[];

// loads the client and resolves every call, once per process; later calls return the same
// table. a failure throws load_error before any client call was made, and the next call tries
// again. every dlerror() text is copied into the trace (level 1). a loaded library is never
// unloaded. the engine's probe catches load_error and raises its own level-1 "client not
// found" error; nothing else of the client is touched before load() succeeded.
//
//   const ora_oci::symbols &oci = ora_oci::load();
//   sword rc = oci.OCIEnvCreate(&env, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
//
// OCIErrorGet gives the message as the client formats it: "ORA-NNNNN: text" and a line feed.
const symbols &load();

// the table after a successful load(); calling it before one is an internal error
const symbols &api();

// the name of the library that load() opened, empty before
const std::string &loaded_library();

} // namespace ora_oci
