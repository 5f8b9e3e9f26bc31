// the client calls of the stand-in, exported with the client library's C ABI

#include "ora_oci.hpp"

#include "ocs_db.hpp"
#include "ocs_util.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

#define OCS_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

using namespace ocs;

std::recursive_mutex g_mutex;

struct env_h;

struct handle
{
    ub4 type;
    env_h *env = nullptr;
    std::vector<char> user_mem;
    explicit handle(ub4 t) : type(t) {}
    virtual ~handle() = default;
};

std::set<handle *> &live()
{
    static std::set<handle *> s;
    return s;
}

template <class T> T *make(ub4 type, env_h *env)
{
    T *h = new T(type);
    h->env = env;
    live().insert(h);
    return h;
}

void destroy(handle *h);

struct env_h : handle
{
    using handle::handle;
    bool utf16 = false;
    int code = 0;
    std::string text;
};

struct err_h : handle
{
    using handle::handle;
    int code = 0;
    std::string text;
    bool has = false;
};

struct server_h : handle
{
    using handle::handle;
    std::string dblink;
};

struct svc_h : handle
{
    using handle::handle;
    std::unique_ptr<session> sess;
    server_h *server = nullptr;
    handle *session_attr = nullptr;
    // the statements of the open transaction, each on a line of its own, for the faults of
    // OCITransCommit
    std::string transaction;
};

struct stmt_h;

struct define_h : handle
{
    using handle::handle;
    stmt_h *stmt = nullptr;
    ub4 pos = 0;
    void *valuep = nullptr;
    sb4 size = 0;
    ub2 dty = 0;
    sb2 *ind = nullptr;
    ub2 *rlen = nullptr;
    ub2 *rcode = nullptr;
};

struct bind_h : handle
{
    using handle::handle;
    stmt_h *stmt = nullptr;
    std::string name;
    void *valuep = nullptr;
    sb4 size = 0;
    ub2 dty = 0;
    void *ind = nullptr;
    ub2 *alen = nullptr;
    ub2 *rcode = nullptr;
    ub4 mode = 0;
    OCICallbackInBind icb = nullptr;
    void *ictx = nullptr;
    OCICallbackOutBind ocb = nullptr;
    void *octx = nullptr;
};

struct param_h : handle
{
    using handle::handle;
    out_column col;
    std::u16string name16;
    std::string name8;
};

struct stmt_h : handle
{
    using handle::handle;
    bool prepared = false;
    std::string sql;
    std::vector<std::string> placeholders;
    ub2 stmt_type = 0;
    std::map<ub4, define_h *> defines;
    std::vector<bind_h *> binds;
    std::map<ub4, param_h *> params;
    std::unique_ptr<cursor> cur;
    std::vector<out_column> cols;
    bool described = false;
    ub4 row_count = 0;
    session *owner = nullptr;
    ~stmt_h() override
    {
        for (auto &d : defines)
            destroy(d.second);
        for (auto *b : binds)
            destroy(b);
        for (auto &p : params)
            destroy(p.second);
    }
};

struct lob_h : handle
{
    using handle::handle;
    lob_ref ref;
    bool reading = false;   // a polling read in progress
    bool writing = false;   // a polling write in progress
    size_t pos = 0;
    size_t remaining = 0;
    size_t write_offset = 0;
    std::u16string pending16;
    std::string pending8;
};

// the character-set form of a LOB's text: a read or write in another one is ORA-24806.
// a BLOB has none, and any form passes
ub1 form_of(const lob_ref &ref)
{
    return !ref.clob ? 0 : ref.nchar ? SQLCS_NCHAR : SQLCS_IMPLICIT;
}

bool form_mismatch(const lob_h &lob, ub1 csfrm)
{
    return lob.ref.clob && csfrm != form_of(lob.ref);
}

// the caller's own memory that a handle carries, when asked for
void give_user_memory(handle *h, size_t bytes, void **usrmempp)
{
    if (bytes && usrmempp) {
        h->user_mem.resize(bytes);
        *usrmempp = h->user_mem.data();
    }
}

void destroy(handle *h)
{
    if (live().erase(h))
        delete h;
}

template <class T> T *as(const void *p, ub4 type)
{
    handle *h = static_cast<handle *>(const_cast<void *>(p));
    if (!h || !live().count(h) || h->type != type)
        return nullptr;
    return static_cast<T *>(h);
}

// ---- configuration

struct config
{
    std::string dir;
    std::set<std::string> services;               // upper case
    std::map<std::string, std::string> aliases;   // net service name -> service
    std::set<std::string> listeners;              // host:port, empty: any
    std::map<std::string, std::string> users;     // SERVICE/USER -> password
    std::vector<std::string> banner;
};

std::string env_text(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

config read_config()
{
    config c;
    c.dir = env_text("OCISIM_DIR");
    if (!c.dir.empty()) {
        std::ifstream in(c.dir + "/ocisim.conf");
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::istringstream ls(line);
            std::string kw;
            ls >> kw;
            if (kw == "service") {
                std::string s;
                ls >> s;
                c.services.insert(upper_ascii(s));
                c.aliases[upper_ascii(s)] = upper_ascii(s);
            } else if (kw == "alias") {
                std::string a, s;
                ls >> a >> s;
                c.aliases[upper_ascii(a)] = upper_ascii(s);
            } else if (kw == "listener") {
                std::string l;
                ls >> l;
                c.listeners.insert(upper_ascii(l));
            } else if (kw == "user") {
                std::string s, u;
                ls >> s >> u;
                std::string pw;
                std::getline(ls, pw);
                if (!pw.empty() && pw[0] == ' ')
                    pw.erase(0, 1);
                c.users[upper_ascii(s) + "/" + upper_ascii(u)] = pw;
            } else if (kw == "banner") {
                std::string rest;
                std::getline(ls, rest);
                c.banner.push_back(trim(rest));
            }
        }
    }
    std::string b = env_text("OCISIM_BANNER");
    if (!b.empty()) {
        c.banner.clear();
        std::string row;
        std::istringstream bs(b);
        while (std::getline(bs, row))
            c.banner.push_back(row);
    }
    if (c.banner.empty())
        c.banner = {"Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production",
                    "Version 19.3.0.0.0"};
    return c;
}

// identifiers are 30 bytes long before release 12.2, 128 from then on
size_t identifier_limit(const std::vector<std::string> &banner)
{
    if (banner.empty())
        return 30;
    std::istringstream ws(banner[0]);
    std::string w;
    while (ws >> w) {
        int a, b, c;
        if (!w.empty() && std::isdigit((unsigned char)w[0]) &&
            std::sscanf(w.c_str(), "%d.%d.%d", &a, &b, &c) == 3)
            return (a > 12 || (a == 12 && b >= 2)) ? 128 : 30;
    }
    return 30;
}

// ---- text across the interface

std::string in_text(const env_h *env, const void *p, size_t bytes)
{
    if (!p)
        return "";
    if (env && env->utf16)
        return utf16_to_utf8(static_cast<const char16_t *>(p), bytes / 2);
    return std::string(static_cast<const char *>(p), bytes);
}

// text up to its terminator
std::string in_cstr(const env_h *env, const void *p, size_t max_bytes)
{
    if (!p)
        return "";
    if (env && env->utf16) {
        const char16_t *s = static_cast<const char16_t *>(p);
        size_t n = 0;
        while (n * 2 + 1 < max_bytes && s[n])
            ++n;
        return utf16_to_utf8(s, n);
    }
    const char *s = static_cast<const char *>(p);
    return std::string(s, strnlen(s, max_bytes));
}

void set_error(err_h *err, int code, const std::string &text)
{
    if (!err)
        return;
    err->code = code;
    err->text = text;
    err->has = true;
}

sword report(err_h *err, const ora_error &e)
{
    set_error(err, e.code(), e.what());
    return OCI_ERROR;
}

sword report(err_h *err, int code, const std::vector<std::string> &args = {})
{
    set_error(err, code, message(code, args));
    return OCI_ERROR;
}

// ---- injected faults: OCISIM_FAULTS="54:DROP TABLE*;1031:CREATE SEQUENCE*"

int injected_fault(const std::string &sql)
{
    std::string faults = env_text("OCISIM_FAULTS");
    std::string text = trim(sql);
    size_t p = 0;
    while (p <= faults.size()) {
        size_t e = faults.find_first_of(";\n", p);
        if (e == std::string::npos)
            e = faults.size();
        std::string item = trim(faults.substr(p, e - p));
        p = e + 1;
        if (item.rfind("ORA-", 0) == 0)
            item = item.substr(4);
        size_t colon = item.find(':');
        if (colon == std::string::npos)
            continue;
        int code = std::atoi(item.substr(0, colon).c_str());
        if (code > 0 && glob_match(item.substr(colon + 1).c_str(), text.c_str()))
            return code;
    }
    return 0;
}

// the parts of an injected fault's message: ORA-01653 names the table the statement works on
// (after TABLE or ON), in the user's tablespace USERS
std::vector<std::string> fault_args(int code, const std::string &sql, const std::string &user)
{
    if (code != 1653)
        return {};
    std::string upper = sql;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    size_t at = upper.find(" ON ");
    at = at != std::string::npos ? at + 4 : upper.find("TABLE ");
    if (at != std::string::npos && upper.compare(at, 6, "TABLE ") == 0)
        at += 6;
    std::string table;
    if (at != std::string::npos) {
        while (at < sql.size() && sql[at] == ' ')
            ++at;
        if (at < sql.size() && sql[at] == '"') {
            const size_t end = sql.find('"', at + 1);
            table = sql.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        } else {
            const size_t end = sql.find_first_of(" (", at);
            table = upper.substr(at, end == std::string::npos ? end : end - at);
        }
    }
    return {user, table, "128", "USERS"};
}

// ---- a held statement: OCISIM_HOLD="N:PATTERN", OCISIM_HOLD_FILE=path

// the Nth execute in the process of a statement matching PATTERN creates the file and waits
// until it is removed (or a minute has passed) before it runs: a test sees the program there
void hold_point(const std::string &sql)
{
    static int matched = 0;
    const std::string hold = env_text("OCISIM_HOLD");
    const std::string file = env_text("OCISIM_HOLD_FILE");
    const size_t colon = hold.find(':');
    if (file.empty() || colon == std::string::npos ||
        !glob_match(hold.substr(colon + 1).c_str(), trim(sql).c_str()) ||
        ++matched != std::atoi(hold.substr(0, colon).c_str()))
        return;
    std::ofstream(file.c_str()).flush();
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (access(file.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// ---- values across the interface

std::string number_text(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return buf;
}

value bound_value(const env_h *env, ub2 dty, const void *buf, size_t bytes, bool have_len)
{
    if (!buf)
        return {};
    switch (dty) {
    case SQLT_STR: {
        std::string t = have_len ? in_text(env, buf, bytes) : in_cstr(env, buf, bytes);
        if (have_len) {
            size_t z = t.find('\0');
            if (z != std::string::npos)
                t.resize(z);
        }
        if (t.empty())
            return {};
        return {value::str, t};
    }
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG: {
        std::string t = in_text(env, buf, bytes);
        if (t.empty())
            return {};
        return {value::str, t};
    }
    case SQLT_INT:
        switch (bytes) {
        case 1:
            return {value::num, std::to_string(*static_cast<const sb1 *>(buf))};
        case 2:
            return {value::num, std::to_string(*static_cast<const sb2 *>(buf))};
        case 8:
            return {value::num, std::to_string(*static_cast<const long long *>(buf))};
        default:
            return {value::num, std::to_string(*static_cast<const sb4 *>(buf))};
        }
    case SQLT_UIN:
        switch (bytes) {
        case 1:
            return {value::num, std::to_string(*static_cast<const ub1 *>(buf))};
        case 2:
            return {value::num, std::to_string(*static_cast<const ub2 *>(buf))};
        case 8:
            return {value::num, std::to_string(*static_cast<const unsigned long long *>(buf))};
        default:
            return {value::num, std::to_string(*static_cast<const ub4 *>(buf))};
        }
    case SQLT_FLT:
        return {value::num,
                number_text(bytes == 4 ? *static_cast<const float *>(buf)
                                       : *static_cast<const double *>(buf))};
    case SQLT_BFLOAT:
    case SQLT_IBFLOAT:
        return {value::ieee, ieee_stored_text(*static_cast<const float *>(buf), true)};
    case SQLT_BDOUBLE:
    case SQLT_IBDOUBLE:
        return {value::ieee, ieee_stored_text(*static_cast<const double *>(buf), false)};
    case SQLT_DAT: {
        const ub1 *b = static_cast<const ub1 *>(buf);
        datetime d;
        d.year = (b[0] - 100) * 100 + (b[1] - 100);
        d.month = b[2];
        d.day = b[3];
        d.hour = b[4] - 1;
        d.minute = b[5] - 1;
        d.second = b[6] - 1;
        return {value::date, d.text()};
    }
    case SQLT_BIN:
    case SQLT_LBI:
        if (!bytes)
            return {};
        return {value::raw, std::string(static_cast<const char *>(buf), bytes)};
    default:
        fail(932, {"CHAR", "BINARY"});
    }
}

std::string date_bytes(const std::string &iso)
{
    auto d = datetime::parse_iso(iso);
    if (!d)
        fail(1861);
    std::string b(7, '\0');
    b[0] = char(d->year / 100 + 100);
    b[1] = char(d->year % 100 + 100);
    b[2] = char(d->month);
    b[3] = char(d->day);
    b[4] = char(d->hour + 1);
    b[5] = char(d->minute + 1);
    b[6] = char(d->second + 1);
    return b;
}

// the text of a value where text is asked for
std::string text_of(const value &v, const otype &t, session *s, const lob_ref &lob)
{
    if (t.is_lob() && lob.valid) {
        std::string data = s->lob_get(lob);
        return t.name == "BLOB" ? hex_encode(data) : data;
    }
    switch (v.k) {
    case value::date: {
        auto d = datetime::parse_iso(v.s);
        return d ? default_date_text(*d) : v.s;
    }
    case value::raw:
        return hex_encode(v.s);
    case value::ieee:
        return ieee_display_text(ieee_parse(v.s).value_or(0), t.name == "BINARY_FLOAT");
    default:
        return v.s;
    }
}

// writes text into a client buffer; returns true when it was cut
bool put_text(const env_h *env, const std::string &text, void *buf, sb4 size, bool terminate,
              ub2 *written, size_t *full_bytes)
{
    std::string bytes;
    if (env->utf16) {
        std::u16string u = utf8_to_utf16(text);
        bytes.assign(reinterpret_cast<const char *>(u.data()), u.size() * 2);
    } else {
        bytes = text;
    }
    size_t unit = env->utf16 ? 2 : 1;
    size_t cap = size > 0 ? size_t(size) : 0;
    size_t room = terminate ? (cap >= unit ? cap - unit : 0) : cap;
    room -= room % unit;
    bool cut = bytes.size() > room;
    size_t n = cut ? room : bytes.size();
    if (buf) {
        std::memcpy(buf, bytes.data(), n);
        if (terminate && cap >= n + unit)
            std::memset(static_cast<char *>(buf) + n, 0, unit);
    }
    if (written)
        *written = ub2(std::min<size_t>(n, 65535));
    if (full_bytes)
        *full_bytes = bytes.size();
    return cut;
}

// one fetched value into a define; returns 0, or 1406 when cut
int put_define(stmt_h *st, define_h *d, const value &v, const otype &t, const lob_ref &lob)
{
    const env_h *env = st->env;
    if (d->rcode)
        *d->rcode = 0;
    if (v.k == value::null) {
        if (!d->ind)
            fail(1405);
        *d->ind = -1;
        if (d->rlen)
            *d->rlen = 0;
        return 0;
    }
    if (d->ind)
        *d->ind = 0;
    switch (d->dty) {
    case SQLT_STR:
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_VCS:
    case SQLT_LNG:
    case SQLT_LVC: {
        size_t full = 0;
        bool cut = put_text(env, text_of(v, t, st->owner, lob), d->valuep, d->size,
                            d->dty == SQLT_STR, d->rlen, &full);
        if (cut) {
            if (d->ind)
                *d->ind = sb2(std::min<size_t>(full, SHRT_MAX));
            if (d->rcode)
                *d->rcode = 1406;
            return 1406;
        }
        return 0;
    }
    case SQLT_INT:
    case SQLT_UIN: {
        auto dec = decimal::parse(v.k == value::num || v.k == value::str || v.k == value::ieee
                                      ? v.s
                                      : "x");
        if (!dec)
            fail(1722);
        auto i = dec->rounded(0).to_int128();
        if (!i)
            throw ora_error(1455, "ORA-01455: converting column overflows integer datatype");
        long long x = (long long)*i;
        switch (d->size) {
        case 1:
            *static_cast<sb1 *>(d->valuep) = sb1(x);
            break;
        case 2:
            *static_cast<sb2 *>(d->valuep) = sb2(x);
            break;
        case 8:
            *static_cast<long long *>(d->valuep) = x;
            break;
        default:
            if (x > INT_MAX || x < INT_MIN)
                throw ora_error(1455, "ORA-01455: converting column overflows integer datatype");
            *static_cast<sb4 *>(d->valuep) = sb4(x);
        }
        if (d->rlen)
            *d->rlen = ub2(d->size);
        return 0;
    }
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
        double x = 0;
        if (v.k == value::ieee) {
            x = ieee_parse(v.s).value_or(0);
        } else {
            auto dec = decimal::parse(v.k == value::num || v.k == value::str ? v.s : "x");
            if (!dec)
                fail(1722);
            x = dec->to_double();
        }
        const bool single = d->dty == SQLT_BFLOAT || d->dty == SQLT_IBFLOAT ||
                            (d->dty == SQLT_FLT && d->size == 4);
        if (single)
            *static_cast<float *>(d->valuep) = float(x);
        else
            *static_cast<double *>(d->valuep) = x;
        if (d->rlen)
            *d->rlen = ub2(single ? 4 : 8);
        return 0;
    }
    case SQLT_DAT: {
        value dv = v;
        if (v.k == value::str) {
            auto p = parse_default_date(v.s);
            if (!p)
                fail(1861);
            dv = {value::date, p->text()};
        } else if (v.k != value::date) {
            fail(932, {"DATE", "NUMBER"});
        }
        std::string b = date_bytes(dv.s);
        std::memcpy(d->valuep, b.data(), std::min<size_t>(7, d->size > 0 ? d->size : 7));
        if (d->rlen)
            *d->rlen = 7;
        return 0;
    }
    case SQLT_BIN:
    case SQLT_LBI: {
        std::string bytes = v.k == value::raw ? v.s : text_of(v, t, st->owner, lob);
        if (t.is_lob() && lob.valid)
            bytes = st->owner->lob_get(lob);
        size_t cap = d->size > 0 ? size_t(d->size) : 0;
        size_t n = std::min(cap, bytes.size());
        if (d->valuep)
            std::memcpy(d->valuep, bytes.data(), n);
        if (d->rlen)
            *d->rlen = ub2(n);
        if (n < bytes.size()) {
            if (d->ind)
                *d->ind = sb2(std::min<size_t>(bytes.size(), SHRT_MAX));
            return 1406;
        }
        return 0;
    }
    case SQLT_CLOB:
    case SQLT_BLOB: {
        if (!t.is_lob() || (d->dty == SQLT_BLOB) != (t.name == "BLOB"))
            fail(932, {d->dty == SQLT_BLOB ? "BLOB" : "CLOB", t.name});
        lob_h *l = d->valuep ? as<lob_h>(*static_cast<void **>(d->valuep), OCI_DTYPE_LOB) : nullptr;
        if (!l)
            fail(22275);
        l->ref = lob;
        l->reading = l->writing = false;
        return 0;
    }
    default:
        fail(932, {"CHAR", t.name});
    }
}

sword fetch_row(stmt_h *st, err_h *err)
{
    if (!st->cur)
        return report(err, st->described ? 1002 : 24338);
    std::vector<value> row;
    std::vector<lob_ref> lobs;
    try {
        if (!st->cur->fetch(row, lobs))
            return OCI_NO_DATA;
        int info = 0;
        for (auto &[pos, d] : st->defines) {
            if (pos > row.size())
                fail(1007);
            if (put_define(st, d, row[pos - 1], st->cols[pos - 1].t, lobs[pos - 1]))
                info = 1406;
        }
        ++st->row_count;
        if (info) {
            set_error(err, info, message(info));
            return OCI_SUCCESS_WITH_INFO;
        }
        return OCI_SUCCESS;
    } catch (const ora_error &e) {
        return report(err, e);
    }
}

ub2 statement_type(const std::string &sql)
{
    std::istringstream in(sql);
    std::string w;
    while (in >> w && (w[0] == '(' || w.rfind("/*", 0) == 0))
        if (w[0] == '(') {
            w.erase(0, 1);
            if (!w.empty())
                break;
        }
    w = upper_ascii(w);
    if (w.rfind("SELECT", 0) == 0 || w.rfind("WITH", 0) == 0)
        return OCI_STMT_SELECT;
    if (w == "UPDATE")
        return OCI_STMT_UPDATE;
    if (w == "DELETE")
        return OCI_STMT_DELETE;
    if (w == "INSERT")
        return OCI_STMT_INSERT;
    if (w == "CREATE")
        return OCI_STMT_CREATE;
    if (w == "DROP")
        return OCI_STMT_DROP;
    if (w == "ALTER")
        return OCI_STMT_ALTER;
    if (w == "BEGIN")
        return OCI_STMT_BEGIN;
    if (w == "DECLARE")
        return OCI_STMT_DECLARE;
    return 0;
}

// a data source: a net service name, or [//]host[:port]/service
sword resolve_service(const config &c, const std::string &ds, std::string &service, err_h *err)
{
    std::string d = trim(ds);
    if (c.dir.empty())
        return report(err, 12154);
    if (d.empty()) {
        if (c.services.size() != 1)
            return report(err, 12154);
        service = *c.services.begin();
        return OCI_SUCCESS;
    }
    size_t slash = d.find('/', d.rfind("//", 0) == 0 ? 2 : 0);
    if (d.rfind("//", 0) == 0 || slash != std::string::npos) {
        std::string rest = d.rfind("//", 0) == 0 ? d.substr(2) : d;
        slash = rest.find('/');
        if (slash == std::string::npos)
            return report(err, 12154);
        std::string hostport = upper_ascii(rest.substr(0, slash));
        if (hostport.find(':') == std::string::npos)
            hostport += ":1521";
        if (!c.listeners.empty() && !c.listeners.count(hostport)) {
            std::string host = hostport.substr(0, hostport.find(':'));
            for (const auto &l : c.listeners)
                if (l.substr(0, l.find(':')) == host)
                    return report(err, 12541);
            return report(err, 12545);
        }
        std::string svc = upper_ascii(rest.substr(slash + 1));
        size_t colon = svc.find(':');
        if (colon != std::string::npos)
            svc.resize(colon);
        if (!c.services.count(svc))
            return report(err, 12514);
        service = svc;
        return OCI_SUCCESS;
    }
    auto it = c.aliases.find(upper_ascii(d));
    if (it == c.aliases.end())
        return report(err, 12154);
    if (!c.services.count(it->second))
        return report(err, 12514);
    service = it->second;
    return OCI_SUCCESS;
}

#define OCS_GUARD_BEGIN                                                                            \
    std::lock_guard<std::recursive_mutex> lock(g_mutex);                                          \
    try {
#define OCS_GUARD_END(err)                                                                         \
    }                                                                                              \
    catch (const ora_error &e)                                                                     \
    {                                                                                              \
        return report(err, e);                                                                     \
    }                                                                                              \
    catch (const std::exception &e)                                                                \
    {                                                                                              \
        set_error(err, 600,                                                                        \
                  std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");   \
        return OCI_ERROR;                                                                          \
    }

} // namespace

// the stand-in's exports are checked against the product's declarations of the same calls
#define OCS_DECLARE(name, params) OCS_EXPORT sword name params;
ORA_OCI_CALLS(OCS_DECLARE)
#undef OCS_DECLARE

// ---- environment and handles

OCS_EXPORT sword OCIEnvCreate(OCIEnv **envp, ub4 mode, void *, OCIMallocFn, OCIReallocFn,
                              OCIFreeFn, size_t xtramem_sz, void **usrmempp)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    if (!envp)
        return OCI_INVALID_HANDLE;
    env_h *e = make<env_h>(OCI_HTYPE_ENV, nullptr);
    e->env = e;
    e->utf16 = (mode & OCI_UTF16) != 0;
    give_user_memory(e, xtramem_sz, usrmempp);
    *envp = reinterpret_cast<OCIEnv *>(e);
    return OCI_SUCCESS;
}

OCS_EXPORT sword OCIHandleAlloc(const void *parenth, void **hndlpp, ub4 type, size_t xtramem_sz,
                                void **usrmempp)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    env_h *env = as<env_h>(parenth, OCI_HTYPE_ENV);
    if (!env || !hndlpp)
        return OCI_INVALID_HANDLE;
    handle *h = nullptr;
    switch (type) {
    case OCI_HTYPE_ERROR:
        h = make<err_h>(type, env);
        break;
    case OCI_HTYPE_SERVER:
        h = make<server_h>(type, env);
        break;
    case OCI_HTYPE_SVCCTX:
        h = make<svc_h>(type, env);
        break;
    case OCI_HTYPE_STMT:
        h = make<stmt_h>(type, env);
        break;
    case OCI_HTYPE_SESSION:
    case OCI_HTYPE_TRANS:
    case OCI_HTYPE_DESCRIBE:
        h = make<handle>(type, env);
        break;
    default:
        return OCI_INVALID_HANDLE;
    }
    give_user_memory(h, xtramem_sz, usrmempp);
    *hndlpp = h;
    return OCI_SUCCESS;
}

OCS_EXPORT sword OCIHandleFree(void *hndlp, ub4 type)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    handle *h = as<handle>(hndlp, type);
    if (!h)
        return OCI_INVALID_HANDLE;
    if (type == OCI_HTYPE_DEFINE) {
        define_h *d = static_cast<define_h *>(h);
        if (d->stmt && live().count(d->stmt))
            for (auto it = d->stmt->defines.begin(); it != d->stmt->defines.end(); ++it)
                if (it->second == d) {
                    d->stmt->defines.erase(it);
                    break;
                }
    } else if (type == OCI_HTYPE_ENV) {
        // the handles and descriptors of an environment go with it
        std::vector<handle *> children;
        for (handle *x : live())
            if (x != h && x->env == h)
                children.push_back(x);
        for (handle *x : children)
            if (x->type == OCI_HTYPE_STMT)
                destroy(x);
        for (handle *x : children)
            destroy(x);
    } else if (type == OCI_HTYPE_BIND) {
        bind_h *b = static_cast<bind_h *>(h);
        if (b->stmt && live().count(b->stmt)) {
            auto &v = b->stmt->binds;
            v.erase(std::remove(v.begin(), v.end(), b), v.end());
        }
    }
    destroy(h);
    return OCI_SUCCESS;
}

OCS_EXPORT sword OCIDescriptorAlloc(const void *parenth, void **descpp, ub4 type,
                                    size_t xtramem_sz, void **usrmempp)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    env_h *env = as<env_h>(parenth, OCI_HTYPE_ENV);
    if (!env || !descpp)
        return OCI_INVALID_HANDLE;
    handle *h;
    if (type == OCI_DTYPE_LOB)
        h = make<lob_h>(type, env);
    else if (type == OCI_DTYPE_ROWID || type == OCI_DTYPE_SNAP)
        h = make<handle>(type, env);
    else
        return OCI_INVALID_HANDLE;
    give_user_memory(h, xtramem_sz, usrmempp);
    *descpp = h;
    return OCI_SUCCESS;
}

OCS_EXPORT sword OCIDescriptorFree(void *descp, ub4 type)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    handle *h = as<handle>(descp, type);
    if (!h)
        return OCI_INVALID_HANDLE;
    // parameters belong to their statement and go with it
    if (type == OCI_DTYPE_PARAM)
        return OCI_SUCCESS;
    destroy(h);
    return OCI_SUCCESS;
}

// ---- sessions

OCS_EXPORT sword OCIServerAttach(OCIServer *srvhp, OCIError *errhp, const OraText *dblink,
                                 sb4 dblink_len, ub4)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    server_h *srv = as<server_h>(srvhp, OCI_HTYPE_SERVER);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!srv || !err)
        return OCI_INVALID_HANDLE;
    srv->dblink = in_text(srv->env, dblink, dblink_len > 0 ? size_t(dblink_len) : 0);
    return OCI_SUCCESS;
}

OCS_EXPORT sword OCIServerDetach(OCIServer *srvhp, OCIError *errhp, ub4)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    if (!as<server_h>(srvhp, OCI_HTYPE_SERVER) || !as<err_h>(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    return OCI_SUCCESS;
}

OCS_EXPORT sword OCILogon(OCIEnv *envhp, OCIError *errhp, OCISvcCtx **svchp,
                          const OraText *username, ub4 uname_len, const OraText *password,
                          ub4 passwd_len, const OraText *dbname, ub4 dbname_len)
{
    env_h *env = as<env_h>(envhp, OCI_HTYPE_ENV);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!env || !err || !svchp)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    std::string user = in_text(env, username, uname_len);
    std::string pw = in_text(env, password, passwd_len);
    std::string ds = in_text(env, dbname, dbname_len);
    config c = read_config();
    std::string service;
    sword rc = resolve_service(c, ds, service, err);
    if (rc != OCI_SUCCESS)
        return rc;
    // an unquoted user name is folded, a quoted one kept
    std::string u = user.size() > 1 && user.front() == '"' && user.back() == '"'
                        ? user.substr(1, user.size() - 2)
                        : upper_ascii(user);
    auto it = c.users.find(service + "/" + upper_ascii(u));
    if (u.empty() || it == c.users.end() || it->second != pw)
        return report(err, 1017);
    std::string dir = c.dir + "/" + service;
    mkdir(dir.c_str(), 0700);
    auto sess = std::make_unique<session>(dir + "/" + u + ".db", u, c.banner,
                                          identifier_limit(c.banner));
    svc_h *svc = make<svc_h>(OCI_HTYPE_SVCCTX, env);
    svc->sess = std::move(sess);
    *svchp = reinterpret_cast<OCISvcCtx *>(svc);
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCILogoff(OCISvcCtx *svchp, OCIError *errhp)
{
    svc_h *svc = as<svc_h>(svchp, OCI_HTYPE_SVCCTX);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!svc || !err)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (!svc->sess)
        return report(err, 1012);
    // a log-off that fails (OCISIM_FAULTS pattern "LOGOFF") loses the session's open work,
    // as a broken connection does
    int fault = injected_fault("LOGOFF");
    if (fault)
        svc->sess->rollback();
    else
        svc->sess->commit();
    for (handle *h : std::set<handle *>(live()))
        if (h->type == OCI_HTYPE_STMT && static_cast<stmt_h *>(h)->owner == svc->sess.get()) {
            static_cast<stmt_h *>(h)->cur.reset();
            static_cast<stmt_h *>(h)->owner = nullptr;
        }
    svc->sess.reset();
    destroy(svc);
    if (fault)
        return report(err, fault);
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *, sb4 *errcodep, OraText *bufp,
                             ub4 bufsiz, ub4 type)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    handle *h = as<handle>(hndlp, type);
    if (!h || (type != OCI_HTYPE_ERROR && type != OCI_HTYPE_ENV))
        return OCI_INVALID_HANDLE;
    int code = 0;
    std::string text;
    bool has = false;
    if (type == OCI_HTYPE_ERROR) {
        err_h *e = static_cast<err_h *>(h);
        code = e->code;
        text = e->text;
        has = e->has;
    } else {
        env_h *e = static_cast<env_h *>(h);
        code = e->code;
        text = e->text;
        has = code != 0;
    }
    if (!has || recordno != 1)
        return OCI_NO_DATA;
    if (errcodep)
        *errcodep = code;
    // the client ends each message with a line feed
    put_text(h->env, text + "\n", bufp, sb4(bufsiz), true, nullptr, nullptr);
    return OCI_SUCCESS;
}

// ---- statements

OCS_EXPORT sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt,
                                ub4 stmt_len, ub4, ub4)
{
    stmt_h *st = as<stmt_h>(stmtp, OCI_HTYPE_STMT);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!st || !err)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    st->sql = in_text(st->env, stmt, stmt_len);
    st->prepared = true;
    st->cur.reset();
    st->cols.clear();
    st->described = false;
    st->row_count = 0;
    for (auto &p : st->params)
        destroy(p.second);
    st->params.clear();
    // binds and defines are made again for a new text; their handles stay valid until then
    for (auto &d : st->defines)
        d.second->stmt = nullptr;
    for (auto &d : st->defines)
        destroy(d.second);
    st->defines.clear();
    for (auto *b : st->binds)
        b->stmt = nullptr;
    for (auto *b : st->binds)
        destroy(b);
    st->binds.clear();
    st->placeholders.clear();
    try {
        auto toks = tokenize(st->sql, 128, std::string::npos);
        // :new and :old of a trigger body are no placeholders of the statement
        bool trigger = toks.size() > 2 && toks[0].text == "CREATE" &&
                       (toks[1].text == "TRIGGER" ||
                        (toks.size() > 3 && toks[1].text == "OR" && toks[3].text == "TRIGGER"));
        for (const auto &n : trigger ? std::vector<std::string>{} : bind_names(toks))
            if (std::find(st->placeholders.begin(), st->placeholders.end(), n) ==
                st->placeholders.end())
                st->placeholders.push_back(n);
    } catch (const ora_error &) {
        // a lexical error is reported when the statement runs
    }
    st->stmt_type = statement_type(st->sql);
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp, ub4 position,
                                void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *rlenp,
                                ub2 *rcodep, ub4)
{
    stmt_h *st = as<stmt_h>(stmtp, OCI_HTYPE_STMT);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!st || !err || !defnp)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (!st->prepared)
        return report(err, 24337);
    if (position == 0)
        return report(err, 1007);
    define_h *d;
    auto it = st->defines.find(position);
    if (it != st->defines.end()) {
        d = it->second;
    } else {
        d = make<define_h>(OCI_HTYPE_DEFINE, st->env);
        d->stmt = st;
        d->pos = position;
        st->defines[position] = d;
    }
    d->valuep = valuep;
    d->size = value_sz;
    d->dty = dty;
    d->ind = static_cast<sb2 *>(indp);
    d->rlen = rlenp;
    d->rcode = rcodep;
    *defnp = reinterpret_cast<OCIDefine *>(d);
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCIBindByName(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp,
                               const OraText *placeholder, sb4 placeh_len, void *valuep,
                               sb4 value_sz, ub2 dty, void *indp, ub2 *alenp, ub2 *rcodep, ub4,
                               ub4 *, ub4 mode)
{
    stmt_h *st = as<stmt_h>(stmtp, OCI_HTYPE_STMT);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!st || !err || !bindp)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (!st->prepared)
        return report(err, 24337);
    std::string name = in_text(st->env, placeholder, placeh_len > 0 ? size_t(placeh_len) : 0);
    if (!name.empty() && name[0] == ':')
        name.erase(0, 1);
    name = upper_ascii(name);
    if (std::find(st->placeholders.begin(), st->placeholders.end(), name) ==
        st->placeholders.end())
        return report(err, 1036);
    bind_h *b = nullptr;
    for (bind_h *x : st->binds)
        if (x->name == name)
            b = x;
    if (!b) {
        b = make<bind_h>(OCI_HTYPE_BIND, st->env);
        b->stmt = st;
        b->name = name;
        st->binds.push_back(b);
    }
    b->valuep = valuep;
    b->size = value_sz;
    b->dty = dty;
    b->ind = indp;
    b->alen = alenp;
    b->rcode = rcodep;
    b->mode = mode;
    b->icb = nullptr;
    b->ocb = nullptr;
    *bindp = reinterpret_cast<OCIBind *>(b);
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCIBindDynamic(OCIBind *bindp, OCIError *errhp, void *ictxp,
                                OCICallbackInBind icbfp, void *octxp, OCICallbackOutBind ocbfp)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    bind_h *b = as<bind_h>(bindp, OCI_HTYPE_BIND);
    if (!b || !as<err_h>(errhp, OCI_HTYPE_ERROR))
        return OCI_INVALID_HANDLE;
    b->icb = icbfp;
    b->ictx = ictxp;
    b->ocb = ocbfp;
    b->octx = octxp;
    return OCI_SUCCESS;
}

namespace
{

// a returned value into an out bind
void put_returned(bind_h *b, const value &v, const env_h *env)
{
    void *buf = b->valuep;
    ub4 cap = b->size > 0 ? ub4(b->size) : 0;
    ub4 *dyn_len = nullptr;
    sb2 *ind = static_cast<sb2 *>(b->ind);
    ub2 *rcode = b->rcode;
    if ((b->mode & OCI_DATA_AT_EXEC) && b->ocb) {
        void *bufp = nullptr;
        ub4 *alenp = nullptr;
        ub1 piece = OCI_ONE_PIECE;
        void *indp = nullptr;
        ub2 *rcodep = nullptr;
        sb4 r = b->ocb(b->octx, reinterpret_cast<OCIBind *>(b), 0, 0, &bufp, &alenp, &piece, &indp,
                       &rcodep);
        if (r != OCI_CONTINUE)
            fail(24343);
        buf = bufp;
        dyn_len = alenp;
        // the length slot holds the size of the buffer when the callback hands it out
        cap = alenp ? *alenp : cap;
        ind = static_cast<sb2 *>(indp);
        rcode = rcodep;
    }
    if (rcode)
        *rcode = 0;
    if (v.k == value::null) {
        if (ind)
            *ind = -1;
        if (dyn_len)
            *dyn_len = 0;
        if (b->alen)
            *b->alen = 0;
        return;
    }
    if (ind)
        *ind = 0;
    ub2 written = 0;
    bool cut = false;
    if (b->dty == SQLT_BIN || b->dty == SQLT_LBI) {
        size_t n = std::min<size_t>(cap, v.s.size());
        if (buf)
            std::memcpy(buf, v.s.data(), n);
        written = ub2(n);
        cut = n < v.s.size();
    } else if (b->dty == SQLT_INT && buf && cap >= 4) {
        auto d = decimal::parse(v.s);
        long long x = d ? (long long)d->rounded(0).to_int128().value_or(0) : 0;
        if (cap >= 8)
            *static_cast<long long *>(buf) = x;
        else
            *static_cast<sb4 *>(buf) = sb4(x);
        written = ub2(cap >= 8 ? 8 : 4);
    } else {
        std::string text = v.k == value::raw ? hex_encode(v.s) : v.s;
        cut = put_text(env, text, buf, sb4(cap), b->dty == SQLT_STR, &written, nullptr);
    }
    if (cut && rcode)
        *rcode = 1406;
    if (dyn_len)
        *dyn_len = written;
    if (b->alen)
        *b->alen = written;
}

} // namespace

OCS_EXPORT sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters,
                                ub4, const OCISnapshot *, OCISnapshot *, ub4 mode)
{
    svc_h *svc = as<svc_h>(svchp, OCI_HTYPE_SVCCTX);
    stmt_h *st = as<stmt_h>(stmtp, OCI_HTYPE_STMT);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!svc || !st || !err)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (!svc->sess)
        return report(err, 1012);
    if (!st->prepared)
        return report(err, 24337);
    bool describe = (mode & (OCI_PARSE_ONLY | OCI_DESCRIBE_ONLY)) != 0;
    if (iters == 0 && st->stmt_type != OCI_STMT_SELECT && !describe)
        return report(err, 24333);
    if (int code = injected_fault(st->sql))
        return report(err, code, fault_args(code, st->sql, svc->sess->user()));
    hold_point(st->sql);
    st->cur.reset();
    st->cols.clear();
    st->described = false;
    st->row_count = 0;
    st->owner = svc->sess.get();
    for (auto &p : st->params)
        destroy(p.second);
    st->params.clear();

    // in-binds hand over their data at run time; out-binds of RETURNING are asked for none
    std::map<std::string, value> in_values;
    for (bind_h *b : st->binds) {
        if ((b->mode & OCI_DATA_AT_EXEC) && b->icb) {
            void *bufp = nullptr;
            ub4 alen = 0;
            ub1 piece = OCI_ONE_PIECE;
            void *indp = nullptr;
            sb4 r = b->icb(b->ictx, reinterpret_cast<OCIBind *>(b), 0, 0, &bufp, &alen, &piece,
                           &indp);
            if (r != OCI_CONTINUE)
                return report(err, 24343);
            bool null = !bufp || (indp && *static_cast<sb2 *>(indp) == -1);
            in_values[b->name] = null ? value{} : bound_value(st->env, b->dty, bufp, alen, true);
        } else {
            bool null = !b->valuep || (b->ind && *static_cast<sb2 *>(b->ind) == -1);
            size_t n = b->alen ? *b->alen : size_t(std::max(b->size, 0));
            in_values[b->name] =
                null ? value{} : bound_value(st->env, b->dty, b->valuep, n, b->alen != nullptr);
        }
    }
    for (const auto &p : st->placeholders)
        if (!in_values.count(p))
            return report(err, 1008);
    bind_reader reader = [&](const std::string &name) -> std::optional<value> {
        auto it = in_values.find(name);
        if (it == in_values.end())
            return std::nullopt;
        return it->second;
    };
    exec_result res = svc->sess->execute(st->sql, describe, (mode & OCI_COMMIT_ON_SUCCESS) != 0,
                                         reader);
    if (!describe) {
        // a definition commits before and after itself
        const ub2 type = st->stmt_type;
        if ((mode & OCI_COMMIT_ON_SUCCESS) || type == OCI_STMT_CREATE || type == OCI_STMT_DROP
            || type == OCI_STMT_ALTER)
            svc->transaction.clear();
        else
            svc->transaction += "\n" + st->sql;
    }
    if (res.is_select) {
        st->cur = std::move(res.cur);
        st->cols = st->cur->cols;
        st->described = true;
        for (auto &[pos, d] : st->defines)
            if (pos > st->cols.size())
                return report(err, 1007);
        // an execute of one or more iterations fetches the first row
        if (iters > 0 && !describe)
            return fetch_row(st, err);
        return OCI_SUCCESS;
    }
    st->row_count = ub4(res.rows);
    if (!describe && !res.returned.empty()) {
        // RETURNING ... INTO: the statement's binds in the order of the INTO list
        std::vector<std::string> into;
        auto toks = tokenize(st->sql, 128, std::string::npos);
        bool after_into = false;
        for (const auto &t : toks) {
            if (t.kind == tok::ident && (t.text == "RETURNING" || t.text == "RETURN"))
                after_into = false;
            if (t.kind == tok::ident && t.text == "INTO")
                after_into = true;
            if (after_into && t.kind == tok::bind)
                into.push_back(t.text);
        }
        for (size_t i = 0; i < res.returned.size() && i < into.size(); ++i)
            for (bind_h *b : st->binds)
                if (b->name == into[i])
                    put_returned(b, res.returned[i], st->env);
    }
    if (res.info_code) {
        set_error(err, res.info_code, res.info_text);
        return OCI_SUCCESS_WITH_INFO;
    }
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, ub4)
{
    stmt_h *st = as<stmt_h>(stmtp, OCI_HTYPE_STMT);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!st || !err)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (nrows == 0) {
        st->cur.reset();
        return OCI_SUCCESS;
    }
    if (orientation != OCI_FETCH_NEXT && orientation != 0)
        return report(err, 1002);
    return fetch_row(st, err);
    OCS_GUARD_END(err)
}

// ---- attributes and parameters

OCS_EXPORT sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp,
                             ub4 pos)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    stmt_h *st = as<stmt_h>(hndlp, OCI_HTYPE_STMT);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!st || !err || htype != OCI_HTYPE_STMT || !parmdpp)
        return OCI_INVALID_HANDLE;
    if (!st->described)
        return report(err, 24338);
    if (pos < 1 || pos > st->cols.size())
        return report(err, 24334);
    auto it = st->params.find(pos);
    if (it == st->params.end()) {
        param_h *p = make<param_h>(OCI_DTYPE_PARAM, st->env);
        p->col = st->cols[pos - 1];
        p->name16 = utf8_to_utf16(p->col.name);
        p->name8 = p->col.name;
        it = st->params.emplace(pos, p).first;
    }
    *parmdpp = it->second;
    return OCI_SUCCESS;
}

namespace
{

template <class T> sword put_attr(void *attributep, ub4 *sizep, T v)
{
    if (!attributep)
        return OCI_ERROR;
    std::memcpy(attributep, &v, sizeof v);
    if (sizep)
        *sizep = sizeof v;
    return OCI_SUCCESS;
}

} // namespace

OCS_EXPORT sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep,
                            ub4 attrtype, OCIError *errhp)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    handle *h = as<handle>(trgthndlp, trghndltyp);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!h || !err)
        return OCI_INVALID_HANDLE;
    if (trghndltyp == OCI_HTYPE_STMT) {
        stmt_h *st = static_cast<stmt_h *>(h);
        switch (attrtype) {
        case OCI_ATTR_PARAM_COUNT:
            return put_attr<ub4>(attributep, sizep, ub4(st->cols.size()));
        case OCI_ATTR_ROW_COUNT:
            return put_attr<ub4>(attributep, sizep, st->row_count);
        case OCI_ATTR_STMT_TYPE:
            return put_attr<ub2>(attributep, sizep, st->stmt_type);
        }
    } else if (trghndltyp == OCI_DTYPE_PARAM) {
        param_h *p = static_cast<param_h *>(h);
        const otype &t = p->col.t;
        switch (attrtype) {
        case OCI_ATTR_DATA_TYPE:
            return put_attr<ub2>(attributep, sizep, t.code());
        case OCI_ATTR_DATA_SIZE:
            return put_attr<ub2>(attributep, sizep, t.data_size());
        case OCI_ATTR_DISP_SIZE:
            return put_attr<ub2>(attributep, sizep, t.data_size());
        case OCI_ATTR_PRECISION:
            return put_attr<sb2>(attributep, sizep,
                                 sb2(t.name == "FLOAT" ? t.len
                                     : t.is_number()   ? std::max(t.prec, 0)
                                                       : 0));
        case OCI_ATTR_SCALE:
            return put_attr<sb1>(attributep, sizep,
                                 sb1(t.is_number() ? (t.scale == -1000 ? -127 : t.scale) : 0));
        case OCI_ATTR_IS_NULL:
            return put_attr<ub1>(attributep, sizep, ub1(t.nullable ? 1 : 0));
        case OCI_ATTR_CHARSET_FORM:
            return put_attr<ub1>(attributep, sizep,
                                 ub1(t.is_national() ? SQLCS_NCHAR
                                     : (t.code() == 1 || t.code() == 96 || t.code() == 112)
                                         ? SQLCS_IMPLICIT
                                         : 0));
        case OCI_ATTR_CHARSET_ID:
            return put_attr<ub2>(attributep, sizep,
                                 ub2(t.is_national() ? 2000 : OCI_AL32UTF8_ID));
        case OCI_ATTR_CHAR_USED:
            return put_attr<ub1>(attributep, sizep, ub1(t.char_sem || t.is_national() ? 1 : 0));
        case OCI_ATTR_CHAR_SIZE:
            return put_attr<ub2>(attributep, sizep,
                                 ub2(t.code() == 1 || t.code() == 96 ? t.len : 0));
        case OCI_ATTR_NAME:
        case OCI_ATTR_TYPE_NAME:
        case OCI_ATTR_SCHEMA_NAME: {
            static const char16_t empty16[1] = {0};
            const void *text;
            ub4 bytes;
            if (attrtype != OCI_ATTR_NAME) {
                text = empty16;
                bytes = 0;
            } else if (p->env->utf16) {
                text = p->name16.c_str();
                bytes = ub4(p->name16.size() * 2);
            } else {
                text = p->name8.c_str();
                bytes = ub4(p->name8.size());
            }
            if (!attributep)
                return OCI_ERROR;
            *static_cast<const void **>(attributep) = text;
            if (sizep)
                *sizep = bytes;
            return OCI_SUCCESS;
        }
        }
    } else if (trghndltyp == OCI_HTYPE_SVCCTX) {
        svc_h *s = static_cast<svc_h *>(h);
        if (attrtype == OCI_ATTR_SERVER)
            return put_attr<void *>(attributep, sizep, s->server);
        if (attrtype == OCI_ATTR_SESSION)
            return put_attr<void *>(attributep, sizep, s->session_attr);
        if (attrtype == OCI_ATTR_ENV)
            return put_attr<void *>(attributep, sizep, s->env);
    }
    return report(err, 24315);
}

OCS_EXPORT sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep, ub4,
                            ub4 attrtype, OCIError *errhp)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    handle *h = as<handle>(trgthndlp, trghndltyp);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!h || !err)
        return OCI_INVALID_HANDLE;
    if (trghndltyp == OCI_HTYPE_SVCCTX && attrtype == OCI_ATTR_SERVER) {
        static_cast<svc_h *>(h)->server = as<server_h>(attributep, OCI_HTYPE_SERVER);
        return OCI_SUCCESS;
    }
    if (trghndltyp == OCI_HTYPE_SVCCTX && attrtype == OCI_ATTR_SESSION) {
        static_cast<svc_h *>(h)->session_attr = static_cast<handle *>(attributep);
        return OCI_SUCCESS;
    }
    if (trghndltyp == OCI_HTYPE_SESSION &&
        (attrtype == OCI_ATTR_USERNAME || attrtype == OCI_ATTR_PASSWORD))
        return OCI_SUCCESS;
    if (trghndltyp == OCI_HTYPE_STMT && (attrtype == OCI_ATTR_PREFETCH_ROWS || attrtype == 13))
        return OCI_SUCCESS;
    return report(err, 24315);
}

// ---- LOBs

namespace
{

enum class lob_cs
{
    utf16,
    utf8
};

lob_cs charset_of(const env_h *env, ub2 csid)
{
    if (csid == 0)
        return env->utf16 ? lob_cs::utf16 : lob_cs::utf8;
    if (csid == OCI_UTF16ID)
        return lob_cs::utf16;
    if (csid == OCI_AL32UTF8_ID || csid == OCI_UTF8_ID)
        return lob_cs::utf8;
    fail(24801);
}

// fills buf from the units of a CLOB at pos; returns units taken and bytes written
void clob_piece(const std::u16string &data, size_t pos, size_t max_units, lob_cs cs, void *buf,
                size_t bufl, size_t &units, size_t &bytes)
{
    units = 0;
    bytes = 0;
    char *out = static_cast<char *>(buf);
    while (pos + units < data.size() && units < max_units) {
        size_t n = 1;
        char16_t c = data[pos + units];
        if (c >= 0xD800 && c <= 0xDBFF && pos + units + 1 < data.size())
            n = 2;
        if (units + n > max_units)
            break;
        if (cs == lob_cs::utf16) {
            if (bytes + 2 * n > bufl)
                break;
            std::memcpy(out + bytes, data.data() + pos + units, 2 * n);
            bytes += 2 * n;
        } else {
            std::string u8 = utf16_to_utf8(data.data() + pos + units, n);
            if (bytes + u8.size() > bufl)
                break;
            std::memcpy(out + bytes, u8.data(), u8.size());
            bytes += u8.size();
        }
        units += n;
    }
}

} // namespace

OCS_EXPORT sword OCILobRead(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp,
                            ub4 offset, void *bufp, ub4 bufl, void *ctxp, OCICallbackLobRead cbfp,
                            ub2 csid, ub1 csfrm)
{
    svc_h *svc = as<svc_h>(svchp, OCI_HTYPE_SVCCTX);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    lob_h *lob = as<lob_h>(locp, OCI_DTYPE_LOB);
    if (!svc || !err || !lob || !amtp)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (!lob->ref.valid || lob->ref.owner != svc->sess.get())
        return report(err, 22275);
    if (form_mismatch(*lob, csfrm))
        return report(err, 24806);
    lob_cs cs = charset_of(svc->env, csid);
    std::string raw = svc->sess->lob_get(lob->ref);
    std::u16string text;
    if (lob->ref.clob)
        text = utf8_to_utf16(raw);
    size_t len = lob->ref.clob ? text.size() : raw.size();
    if (!lob->reading) {
        if (offset == 0)
            return report(err, 24801);
        lob->pos = offset - 1;
        lob->remaining = *amtp == 0 ? SIZE_MAX : *amtp;
        if (lob->pos >= len) {
            *amtp = 0;
            return OCI_NO_DATA;
        }
    }
    ub4 total = 0;
    for (;;) {
        size_t units = 0, bytes = 0;
        if (lob->ref.clob) {
            clob_piece(text, lob->pos, lob->remaining, cs, bufp, bufl, units, bytes);
        } else {
            units = bytes = std::min({lob->remaining, size_t(bufl), len - lob->pos});
            std::memcpy(bufp, raw.data() + lob->pos, bytes);
        }
        lob->pos += units;
        lob->remaining -= units;
        // amounts: bytes of a BLOB; characters of a CLOB in a fixed-width set, bytes in UTF-8
        ub4 amount = ub4(!lob->ref.clob || cs == lob_cs::utf8 ? bytes : units);
        bool more = lob->remaining > 0 && lob->pos < len && units > 0;
        if (cbfp) {
            total += amount;
            sb4 r = cbfp(ctxp, bufp, ub4(bytes), more ? OCI_NEXT_PIECE : OCI_LAST_PIECE);
            if (r != OCI_CONTINUE)
                return report(err, 24343);
            if (!more) {
                lob->reading = false;
                *amtp = total;
                return OCI_SUCCESS;
            }
            continue;
        }
        *amtp = amount;
        lob->reading = more;
        return more ? OCI_NEED_DATA : OCI_SUCCESS;
    }
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCILobWrite(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub4 *amtp,
                             ub4 offset, void *bufp, ub4 buflen, ub1 piece, void *, OCICallbackLobWrite,
                             ub2 csid, ub1 csfrm)
{
    svc_h *svc = as<svc_h>(svchp, OCI_HTYPE_SVCCTX);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    lob_h *lob = as<lob_h>(locp, OCI_DTYPE_LOB);
    if (!svc || !err || !lob || !amtp)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    if (!lob->ref.valid || lob->ref.owner != svc->sess.get())
        return report(err, 22275);
    if (form_mismatch(*lob, csfrm))
        return report(err, 24806);
    if (!lob->ref.locked)
        return report(err, 22920);
    lob_cs cs = charset_of(svc->env, csid);
    size_t take = buflen;
    if (piece == OCI_ONE_PIECE || piece == OCI_FIRST_PIECE) {
        if (offset == 0)
            return report(err, 24801);
        lob->writing = piece == OCI_FIRST_PIECE;
        lob->write_offset = offset - 1;
        lob->pending16.clear();
        lob->pending8.clear();
        if (piece == OCI_ONE_PIECE && *amtp == 0)
            return report(err, 24801);
        // the amount counts bytes of a BLOB or of UTF-8 text, characters of UTF-16 text
        size_t want = lob->ref.clob && cs == lob_cs::utf16 ? size_t(*amtp) * 2 : *amtp;
        if (piece == OCI_ONE_PIECE)
            take = std::min(take, want);
        else if (!(lob->ref.clob && cs == lob_cs::utf16))
            // the whole amount, told with the first piece, is gathered in one buffer
            lob->pending8.reserve(std::min(want, size_t(1) << 30));
    } else if (!lob->writing) {
        return report(err, 24801);
    }
    if (!bufp && take)
        return report(err, 24801);
    const char *b = static_cast<const char *>(bufp);
    const bool utf16 = lob->ref.clob && cs == lob_cs::utf16;
    // the pieces gather until the last; one piece is taken from the caller's buffer
    if (piece != OCI_ONE_PIECE) {
        if (utf16)
            lob->pending16.append(reinterpret_cast<const char16_t *>(b), take / 2);
        else
            lob->pending8.append(b, take);
    }
    if (piece == OCI_FIRST_PIECE || piece == OCI_NEXT_PIECE)
        return OCI_NEED_DATA;
    lob->writing = false;
    // gathered pieces are freed with the call, not kept with the locator for the next row
    std::string pending8;
    std::u16string pending16;
    pending8.swap(lob->pending8);
    pending16.swap(lob->pending16);
    std::string_view add8 = piece == OCI_ONE_PIECE ? std::string_view(b, utf16 ? 0 : take)
                                                   : std::string_view(pending8);
    if (piece == OCI_ONE_PIECE && utf16)
        pending16.assign(reinterpret_cast<const char16_t *>(b), take / 2);
    std::string current = svc->sess->lob_get(lob->ref);
    ub4 amount;
    size_t units = 0;
    if (lob->ref.clob && !utf16 && lob->write_offset == 0 && current.empty() &&
        plain_utf8(add8.data(), add8.size(), units)) {
        // a fresh CLOB of well-formed UTF-8 is stored as it came: converting it through
        // UTF-16 would give the same bytes, only with several copies of a large value
        svc->sess->lob_put(lob->ref, add8);
        amount = ub4(units);
    } else if (lob->ref.clob) {
        std::u16string data = utf8_to_utf16(current);
        std::u16string add = utf16 ? pending16 : utf8_to_utf16(std::string(add8));
        if (data.size() < lob->write_offset)
            data.append(lob->write_offset - data.size(), u' ');
        if (data.size() < lob->write_offset + add.size())
            data.resize(lob->write_offset + add.size());
        data.replace(lob->write_offset, add.size(), add);
        svc->sess->lob_put(lob->ref, utf16_to_utf8(data.data(), data.size()));
        amount = ub4(add.size());
    } else if (lob->write_offset == 0 && current.empty()) {
        svc->sess->lob_put(lob->ref, add8);
        amount = ub4(add8.size());
    } else {
        if (current.size() < lob->write_offset)
            current.append(lob->write_offset - current.size(), '\0');
        if (current.size() < lob->write_offset + add8.size())
            current.resize(lob->write_offset + add8.size());
        current.replace(lob->write_offset, add8.size(), add8);
        svc->sess->lob_put(lob->ref, current);
        amount = ub4(add8.size());
    }
    *amtp = amount;
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCILobCharSetForm(OCIEnv *envhp, OCIError *errhp, const OCILobLocator *locp,
                                   ub1 *csfrm)
{
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    lob_h *lob = as<lob_h>(locp, OCI_DTYPE_LOB);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!as<env_h>(envhp, OCI_HTYPE_ENV) || !err || !lob || !csfrm)
        return OCI_INVALID_HANDLE;
    if (!lob->ref.valid)
        return report(err, 22275);
    *csfrm = form_of(lob->ref);
    return OCI_SUCCESS;
}

// the ends of a transaction: the writer commits a row with its large objects, or rolls it back
OCS_EXPORT sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4)
{
    svc_h *svc = as<svc_h>(svchp, OCI_HTYPE_SVCCTX);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!svc || !err)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    // a commit that fails (OCISIM_FAULTS pattern "COMMIT*...", matched against COMMIT and
    // the transaction's statements) rolls the transaction back, as a refused commit does
    const int fault = injected_fault("COMMIT" + svc->transaction);
    svc->transaction.clear();
    if (fault) {
        svc->sess->rollback();
        return report(err, fault);
    }
    svc->sess->commit();
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}

OCS_EXPORT sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4)
{
    svc_h *svc = as<svc_h>(svchp, OCI_HTYPE_SVCCTX);
    err_h *err = as<err_h>(errhp, OCI_HTYPE_ERROR);
    if (!svc || !err)
        return OCI_INVALID_HANDLE;
    OCS_GUARD_BEGIN
    svc->transaction.clear();
    svc->sess->rollback();
    return OCI_SUCCESS;
    OCS_GUARD_END(err)
}
