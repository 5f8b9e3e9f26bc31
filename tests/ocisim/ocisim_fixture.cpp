#include "ocisim_fixture.hpp"

#include "ocs_util.hpp"

#include <cstdio>

std::u16string u16(const std::string &s)
{
    return ocs::utf8_to_utf16(s);
}

std::string u8(const char16_t *s, size_t n)
{
    return ocs::utf16_to_utf8(s, n);
}

oci_env::oci_env()
{
    OCIEnvCreate(&env, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&err), OCI_HTYPE_ERROR, 0, nullptr);
}

oci_env::~oci_env()
{
    OCIHandleFree(err, OCI_HTYPE_ERROR);
    OCIHandleFree(env, OCI_HTYPE_ENV);
}

int oci_env::code() const
{
    sb4 code = 0;
    char16_t buf[256];
    if (OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf,
                    OCI_HTYPE_ERROR) != OCI_SUCCESS)
        return 0;
    return code;
}

std::string oci_env::text() const
{
    sb4 code = 0;
    char16_t buf[512] = {0};
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf,
                OCI_HTYPE_ERROR);
    size_t n = 0;
    while (n < 511 && buf[n])
        ++n;
    return u8(buf, n);
}

oci_session::oci_session(oci_env &e, const std::string &user, const std::string &password,
                         const std::string &source)
    : e_(e)
{
    std::u16string u = u16(user), p = u16(password), d = u16(source);
    sword rc = OCILogon(e.env, e.err, &svc_, reinterpret_cast<const OraText *>(u.c_str()),
                        ub4(u.size() * 2), reinterpret_cast<const OraText *>(p.c_str()),
                        ub4(p.size() * 2), reinterpret_cast<const OraText *>(d.c_str()),
                        ub4(d.size() * 2));
    if (rc != OCI_SUCCESS) {
        svc_ = nullptr;
        logon_code_ = e.code();
    }
}

oci_session::~oci_session()
{
    if (svc_)
        OCILogoff(svc_, e_.err);
}

OCIStmt *oci_session::prepare(const std::string &sql)
{
    OCIStmt *st = nullptr;
    OCIHandleAlloc(e_.env, reinterpret_cast<void **>(&st), OCI_HTYPE_STMT, 0, nullptr);
    std::u16string t = u16(sql);
    OCIStmtPrepare(st, e_.err, reinterpret_cast<const OraText *>(t.c_str()), ub4(t.size() * 2),
                   OCI_NTV_SYNTAX, OCI_DEFAULT);
    return st;
}

int oci_session::exec(const std::string &sql, ub4 mode, sword *status)
{
    OCIStmt *st = prepare(sql);
    sword rc = OCIStmtExecute(svc_, st, e_.err, 1, 0, nullptr, nullptr, mode);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    if (status)
        *status = rc;
    return rc == OCI_ERROR ? e_.code() : 0;
}

std::vector<std::vector<std::string>> oci_session::rows(const std::string &sql)
{
    std::vector<std::vector<std::string>> out;
    OCIStmt *st = prepare(sql);
    if (OCIStmtExecute(svc_, st, e_.err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS) {
        ADD_FAILURE() << sql << ": " << e_.text();
        OCIHandleFree(st, OCI_HTYPE_STMT);
        return out;
    }
    ub4 n = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_PARAM_COUNT, e_.err);
    std::vector<std::vector<char16_t>> bufs(n, std::vector<char16_t>(4001));
    std::vector<sb2> ind(n);
    for (ub4 i = 0; i < n; ++i) {
        OCIDefine *d = nullptr;
        OCIDefineByPos(st, &d, e_.err, i + 1, bufs[i].data(), sb4(bufs[i].size() * 2), SQLT_STR,
                       &ind[i], nullptr, nullptr, OCI_DEFAULT);
    }
    sword rc;
    while ((rc = OCIStmtFetch(st, e_.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) != OCI_NO_DATA) {
        if (rc == OCI_ERROR) {
            ADD_FAILURE() << sql << ": " << e_.text();
            break;
        }
        std::vector<std::string> row;
        for (ub4 i = 0; i < n; ++i) {
            size_t len = 0;
            while (bufs[i][len])
                ++len;
            row.push_back(ind[i] == -1 ? "NULL" : u8(bufs[i].data(), len));
        }
        out.push_back(row);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
}

std::string oci_session::value(const std::string &sql)
{
    auto r = rows(sql);
    return r.empty() || r[0].empty() ? "<no row>" : r[0][0];
}
