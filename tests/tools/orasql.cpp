// orasql: runs SQL statements through the product's Oracle binding and prints query rows as
// tab-separated text, so that tests, the demo and people can set up and inspect a schema.
//
//   orasql [-H] [-c] [-n NULLTEXT] (-u USER -p PASSWORD -d DATASOURCE | USER/PASSWORD@DATASOURCE)
//          [STATEMENT ...]
//
// without statements on the command line they are read from standard input: a statement ends
// with ';' at the end of a line, or with a line that holds only '/' (needed for triggers, whose
// text holds semicolons). every statement commits on success.
// in the output a value's backslash, tab, line feed and carriage return are written as \\, \t,
// \n and \r; NULL is written as NULLTEXT (empty by default); dates as YYYY-MM-DD HH:MM:SS;
// BLOB and RAW values as hexadecimal digits.
// exit status: 0 all statements ran, 1 a statement failed (its message on standard error),
// 2 bad usage, no client or no logon.

#include "ora_oci.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

const ora_oci::symbols *oci = nullptr;
OCIEnv *env = nullptr;
OCIError *err = nullptr;
OCISvcCtx *svc = nullptr;

std::u16string to16(const std::string &utf8)
{
    std::wstring w = tk_from_utf8(utf8);
    return std::u16string(w.begin(), w.end());
}

std::string to8(const char16_t *s, size_t n)
{
    return tk_to_utf8(std::wstring(s, s + n));
}

const OraText *text_arg(const std::u16string &s)
{
    return reinterpret_cast<const OraText *>(s.c_str());
}

std::string error_text()
{
    char16_t buf[OCI_ERROR_MAXMSG_SIZE2 / 2] = {0};
    constexpr size_t units = sizeof buf / sizeof buf[0];
    sb4 code = 0;
    oci->OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf,
                     OCI_HTYPE_ERROR);
    size_t n = 0;
    while (n < units - 1 && buf[n])
        ++n;
    std::string t = to8(buf, n);
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    return t.empty() ? "unknown error" : t;
}

// true on success; prints the message of a failure
bool ok(sword status, const char *what)
{
    if (status == OCI_SUCCESS || status == OCI_NO_DATA || status == OCI_NEED_DATA)
        return true;
    if (status == OCI_SUCCESS_WITH_INFO) {
        std::cerr << "warning: " << error_text() << "\n";
        return true;
    }
    if (status == OCI_ERROR)
        std::cerr << error_text() << "\n";
    else
        std::cerr << what << ": status " << status << "\n";
    return false;
}

std::string escaped(const std::string &v)
{
    std::string out;
    for (char c : v) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string hex(const unsigned char *p, size_t n)
{
    static const char d[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += d[p[i] >> 4];
        out += d[p[i] & 15];
    }
    return out;
}

struct column
{
    ub2 type = 0;
    std::string name;
    std::vector<char> buf;
    OCILobLocator *lob = nullptr;
    sb2 ind = 0;
    ub2 len = 0;
    OCIDefine *def = nullptr;
    ~column()
    {
        if (lob)
            oci->OCIDescriptorFree(lob, OCI_DTYPE_LOB);
    }
};

bool read_lob(column &c, std::string &out)
{
    std::vector<unsigned char> piece(65536);
    const ub4 offset = 1;  // the later pieces of a polling read follow on by themselves
    bool clob = c.type == SQLT_CLOB;
    std::string bytes;
    // an NCLOB reads in its own form only
    ub1 form = SQLCS_IMPLICIT;
    if (clob && !ok(oci->OCILobCharSetForm(env, err, c.lob, &form), "OCILobCharSetForm"))
        return false;
    for (;;) {
        ub4 amount = 0;
        // UTF-8 for text: amounts are bytes
        sword rc = oci->OCILobRead(svc, err, c.lob, &amount, offset, piece.data(),
                                   ub4(piece.size()), nullptr, nullptr, clob ? OCI_AL32UTF8_ID : 0,
                                   form);
        if (rc == OCI_ERROR)
            return ok(rc, "OCILobRead");
        bytes.append(reinterpret_cast<char *>(piece.data()), amount);
        if (rc == OCI_NEED_DATA)
            continue;
        break;
    }
    out = clob ? bytes : hex(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    return true;
}

struct options
{
    bool header = false;
    bool go_on = false;
    std::string null_text;
};

bool run_query(OCIStmt *st, const options &opt)
{
    if (!ok(oci->OCIStmtExecute(svc, st, err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
            "OCIStmtExecute"))
        return false;
    ub4 count = 0;
    oci->OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err);
    std::vector<std::unique_ptr<column>> cols;
    for (ub4 i = 1; i <= count; ++i) {
        void *p = nullptr;
        if (!ok(oci->OCIParamGet(st, OCI_HTYPE_STMT, err, &p, i), "OCIParamGet"))
            return false;
        auto c = std::make_unique<column>();
        ub2 size = 0;
        oci->OCIAttrGet(p, OCI_DTYPE_PARAM, &c->type, nullptr, OCI_ATTR_DATA_TYPE, err);
        oci->OCIAttrGet(p, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, err);
        OraText *name = nullptr;
        ub4 name_len = 0;
        oci->OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &name_len, OCI_ATTR_NAME, err);
        c->name = to8(reinterpret_cast<const char16_t *>(name), name_len / 2);
        sword rc;
        if (c->type == SQLT_CLOB || c->type == SQLT_BLOB) {
            oci->OCIDescriptorAlloc(env, reinterpret_cast<void **>(&c->lob), OCI_DTYPE_LOB, 0,
                                    nullptr);
            rc = oci->OCIDefineByPos(st, &c->def, err, i, &c->lob, -1, c->type, &c->ind, nullptr,
                                     nullptr, OCI_DEFAULT);
        } else if (c->type == SQLT_DAT || c->type == SQLT_TIMESTAMP) {
            c->buf.resize(7);
            rc = oci->OCIDefineByPos(st, &c->def, err, i, c->buf.data(), 7, SQLT_DAT, &c->ind,
                                     &c->len, nullptr, OCI_DEFAULT);
        } else {
            size_t chars = c->type == SQLT_LNG ? 1000000 : std::max<size_t>(size, 200);
            c->buf.resize(chars * 2 + 2);
            rc = oci->OCIDefineByPos(st, &c->def, err, i, c->buf.data(), sb4(c->buf.size()),
                                     SQLT_STR, &c->ind, &c->len, nullptr, OCI_DEFAULT);
        }
        if (!ok(rc, "OCIDefineByPos"))
            return false;
        cols.push_back(std::move(c));
    }
    if (opt.header) {
        for (size_t i = 0; i < cols.size(); ++i)
            std::cout << (i ? "\t" : "") << escaped(cols[i]->name);
        std::cout << "\n";
    }
    for (;;) {
        sword rc = oci->OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        if (rc == OCI_NO_DATA)
            break;
        if (!ok(rc, "OCIStmtFetch"))
            return false;
        std::string line;
        for (size_t i = 0; i < cols.size(); ++i) {
            column &c = *cols[i];
            std::string v;
            if (c.ind == -1) {
                v = opt.null_text;
            } else if (c.lob) {
                if (!read_lob(c, v))
                    return false;
                v = escaped(v);
            } else if (c.type == SQLT_DAT || c.type == SQLT_TIMESTAMP) {
                const unsigned char *b = reinterpret_cast<unsigned char *>(c.buf.data());
                char t[32];
                std::snprintf(t, sizeof t, "%04d-%02d-%02d %02d:%02d:%02d",
                              (b[0] - 100) * 100 + (b[1] - 100), b[2], b[3], b[4] - 1, b[5] - 1,
                              b[6] - 1);
                v = t;
            } else {
                const char16_t *s = reinterpret_cast<const char16_t *>(c.buf.data());
                size_t n = 0;
                while (s[n])
                    ++n;
                v = escaped(to8(s, n));
            }
            line += (i ? "\t" : "") + v;
        }
        std::cout << line << "\n";
    }
    return true;
}

bool run(const std::string &sql, const options &opt)
{
    OCIStmt *st = nullptr;
    if (!ok(oci->OCIHandleAlloc(env, reinterpret_cast<void **>(&st), OCI_HTYPE_STMT, 0, nullptr),
            "OCIHandleAlloc"))
        return false;
    std::u16string text = to16(sql);
    bool good = ok(oci->OCIStmtPrepare(st, err, text_arg(text), ub4(text.size() * 2),
                                       OCI_NTV_SYNTAX, OCI_DEFAULT),
                   "OCIStmtPrepare");
    if (good) {
        ub2 type = 0;
        oci->OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err);
        if (type == OCI_STMT_SELECT)
            good = run_query(st, opt);
        else
            good = ok(oci->OCIStmtExecute(svc, st, err, 1, 0, nullptr, nullptr,
                                          OCI_COMMIT_ON_SUCCESS),
                      "OCIStmtExecute");
    }
    oci->OCIHandleFree(st, OCI_HTYPE_STMT);
    std::cout.flush();
    return good;
}

bool is_plsql(const std::string &text)
{
    std::istringstream in(text);
    std::string a, b, c, d;
    in >> a >> b >> c >> d;
    for (auto *w : {&a, &b, &c, &d})
        for (char &ch : *w)
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
    if (a == "BEGIN" || a == "DECLARE")
        return true;
    return a == "CREATE" && (b == "TRIGGER" || (b == "OR" && c == "REPLACE" && d == "TRIGGER"));
}

// one statement as given on the command line: a trailing ';' is dropped outside PL/SQL
std::string clean(std::string s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    if (!is_plsql(s) && !s.empty() && s.back() == ';')
        s.pop_back();
    return s;
}

std::vector<std::string> split_input(std::istream &in)
{
    std::vector<std::string> out;
    std::string cur, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string t = line;
        while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back())))
            t.pop_back();
        if (t == "/") {
            if (!cur.empty())
                out.push_back(clean(cur));
            cur.clear();
            continue;
        }
        cur += line + "\n";
        if (!t.empty() && t.back() == ';' && !is_plsql(cur)) {
            out.push_back(clean(cur));
            cur.clear();
        }
    }
    std::string rest = clean(cur);
    if (rest.find_first_not_of(" \t\n") != std::string::npos)
        out.push_back(rest);
    return out;
}

int usage()
{
    std::cerr << "usage: orasql [-H] [-c] [-n NULLTEXT] (-u USER -p PASSWORD -d DATASOURCE | "
                 "USER/PASSWORD@DATASOURCE) [STATEMENT ...]\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    options opt;
    std::string user, password, source;
    bool have_login = false;
    std::vector<std::string> statements;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error("missing value");
            return argv[++i];
        };
        try {
            if (a == "-H") {
                opt.header = true;
            } else if (a == "-c") {
                opt.go_on = true;
            } else if (a == "-n") {
                opt.null_text = value();
            } else if (a == "-u") {
                user = value();
                have_login = true;
            } else if (a == "-p") {
                password = value();
            } else if (a == "-d") {
                source = value();
            } else if (!have_login) {
                size_t slash = a.find('/'), at = a.rfind('@');
                if (slash == std::string::npos)
                    return usage();
                user = a.substr(0, slash);
                password = a.substr(slash + 1, at == std::string::npos || at < slash
                                                    ? std::string::npos
                                                    : at - slash - 1);
                source = at == std::string::npos || at < slash ? "" : a.substr(at + 1);
                have_login = true;
            } else {
                statements.push_back(clean(a));
            }
        } catch (const std::exception &) {
            return usage();
        }
    }
    if (!have_login)
        return usage();
    try {
        oci = &ora_oci::load();
    } catch (const ora_oci::load_error &e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
    if (oci->OCIEnvCreate(&env, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0, nullptr) !=
            OCI_SUCCESS ||
        oci->OCIHandleAlloc(env, reinterpret_cast<void **>(&err), OCI_HTYPE_ERROR, 0, nullptr) !=
            OCI_SUCCESS) {
        std::cerr << "cannot create the client environment\n";
        return 2;
    }
    std::u16string u = to16(user), p = to16(password), d = to16(source);
    if (!ok(oci->OCILogon(env, err, &svc, text_arg(u), ub4(u.size() * 2), text_arg(p),
                          ub4(p.size() * 2), text_arg(d), ub4(d.size() * 2)),
            "OCILogon"))
        return 2;
    if (statements.empty())
        statements = split_input(std::cin);
    int status = 0;
    for (const auto &s : statements) {
        if (s.find_first_not_of(" \t\n") == std::string::npos)
            continue;
        if (!run(s, opt)) {
            status = 1;
            if (!opt.go_on)
                break;
        }
    }
    if (!ok(oci->OCILogoff(svc, err), "OCILogoff"))
        status = status ? status : 1;
    oci->OCIHandleFree(err, OCI_HTYPE_ERROR);
    oci->OCIHandleFree(env, OCI_HTYPE_ENV);
    return status;
}
