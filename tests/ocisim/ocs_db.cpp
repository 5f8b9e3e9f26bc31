#include "ocs_db.hpp"

#include "ocs_query.hpp"
#include "ocs_util.hpp"

#include <cmath>
#include <cstring>
#include <ctime>
#include <set>

namespace ocs
{

// ---- names and rowids

std::string sql_table_name(const std::string &n)
{
    return "T_" + hex_encode(n);
}

std::string sql_column_name(const std::string &n)
{
    return "C_" + hex_encode(n);
}

std::string sql_quote(const std::string &text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out + "'";
}

namespace
{

const char rowid_digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void put64(std::string &out, unsigned long long v, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out += rowid_digits[(v >> (6 * i)) & 63];
}

bool get64(const std::string &s, size_t from, int n, unsigned long long &v)
{
    v = 0;
    for (int i = 0; i < n; ++i) {
        const char *p = std::strchr(rowid_digits, s[from + i]);
        if (!p || !*p)
            return false;
        v = (v << 6) | (unsigned long long)(p - rowid_digits);
    }
    return true;
}

} // namespace

std::string encode_rowid(long long objid, long long rowid)
{
    std::string out;
    put64(out, (unsigned long long)objid, 6);
    out += "AAE";
    put64(out, (unsigned long long)rowid, 9);
    return out;
}

bool decode_rowid(const std::string &text, long long &objid, long long &rowid)
{
    unsigned long long o = 0, r = 0;
    if (text.size() != 18 || text.compare(6, 3, "AAE") != 0 || !get64(text, 0, 6, o) ||
        !get64(text, 9, 9, r))
        return false;
    objid = (long long)o;
    rowid = (long long)r;
    return true;
}

// ---- types

unsigned short otype::code() const
{
    if (is_number())
        return 2;
    if (name == "VARCHAR2" || name == "NVARCHAR2")
        return 1;
    if (name == "CHAR" || name == "NCHAR")
        return 96;
    if (name == "DATE")
        return 12;
    // a timestamp with local time zone is described as 231, not as its bind code 232
    if (name == "TIMESTAMP")
        return zone == 1 ? 188 : zone == 2 ? 231 : 187;
    if (name == "RAW")
        return 23;
    if (name == "CLOB" || name == "NCLOB")
        return 112;
    if (name == "BLOB")
        return 113;
    if (name == "LONG")
        return 8;
    if (name == "LONG RAW")
        return 24;
    if (name == "ROWID")
        return 104;
    if (name == "BINARY_FLOAT")
        return 100;
    if (name == "BINARY_DOUBLE")
        return 101;
    return 1;
}

unsigned short otype::data_size() const
{
    int n = 0;
    if (name == "VARCHAR2" || name == "CHAR")
        n = char_sem ? std::min(len * 4, 4000) : len;
    else if (name == "NVARCHAR2" || name == "NCHAR")
        n = 2 * len;
    else if (is_number())
        n = 22;
    else if (name == "DATE")
        n = 7;
    else if (name == "TIMESTAMP")
        n = zone == 1 ? 13 : 11;
    else if (name == "RAW")
        n = len;
    else if (is_lob())
        n = 4000;
    else if (name == "ROWID")
        n = 10;
    else if (is_ieee())
        n = name == "BINARY_FLOAT" ? 4 : 8;
    return (unsigned short)std::min(std::max(n, 0), 65535);
}

std::optional<value> ieee_literal(const std::string &text)
{
    if (text.empty() || std::string_view("fFdD").find(text.back()) == std::string_view::npos)
        return std::nullopt;
    const std::optional<double> x = ieee_parse(text.substr(0, text.size() - 1));
    if (!x)
        fail(1722);
    const bool single = text.back() == 'f' || text.back() == 'F';
    return value{value::ieee, ieee_stored_text(*x, single)};
}

int session::table_def::find(const std::string &col) const
{
    for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i].name == col)
            return int(i);
    return -1;
}

// ---- the connection

namespace
{

const char *const catalogue_ddl = R"(
CREATE TABLE IF NOT EXISTS ocs_obj(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, type TEXT,
  status TEXT, created TEXT);
CREATE TABLE IF NOT EXISTS ocs_col(tab TEXT, pos INTEGER, name TEXT, type TEXT, len INTEGER,
  prec INTEGER, scale INTEGER, char_len INTEGER, char_used TEXT, nullable TEXT, def TEXT,
  comments TEXT, decl INTEGER, csem INTEGER);
CREATE TABLE IF NOT EXISTS ocs_cons(name TEXT PRIMARY KEY, type TEXT, tab TEXT, r_cons TEXT,
  delete_rule TEXT, generated TEXT, index_name TEXT);
CREATE TABLE IF NOT EXISTS ocs_conscol(cons TEXT, tab TEXT, pos INTEGER, col TEXT);
CREATE TABLE IF NOT EXISTS ocs_idx(name TEXT PRIMARY KEY, tab TEXT, uniq TEXT, generated TEXT);
CREATE TABLE IF NOT EXISTS ocs_idxcol(idx TEXT, tab TEXT, pos INTEGER, col TEXT);
CREATE TABLE IF NOT EXISTS ocs_seq(name TEXT PRIMARY KEY, minv TEXT, maxv TEXT, incr TEXT,
  cyc TEXT, next TEXT);
CREATE TABLE IF NOT EXISTS ocs_trg(name TEXT PRIMARY KEY, tab TEXT, col TEXT, seq TEXT,
  when_null INTEGER, valid INTEGER, text TEXT);
CREATE TABLE IF NOT EXISTS ocs_view(name TEXT PRIMARY KEY, text TEXT, cols TEXT);
CREATE TABLE IF NOT EXISTS ocs_tabcom(tab TEXT PRIMARY KEY, comments TEXT);
CREATE TABLE IF NOT EXISTS ocs_meta(k TEXT PRIMARY KEY, v INTEGER);
INSERT OR IGNORE INTO ocs_meta VALUES('ver', 0);
INSERT OR IGNORE INTO ocs_meta VALUES('sysc', 0);
)";

std::string col_text(sqlite3_stmt *st, int i)
{
    const unsigned char *t = sqlite3_column_text(st, i);
    return t ? std::string(reinterpret_cast<const char *>(t), sqlite3_column_bytes(st, i)) : "";
}

bool col_null(sqlite3_stmt *st, int i)
{
    return sqlite3_column_type(st, i) == SQLITE_NULL;
}

} // namespace

session::session(const std::string &file, const std::string &user,
                 const std::vector<std::string> &banner, size_t max_ident)
    : user_(user), max_ident_(max_ident)
{
    int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string e = db_ ? sqlite3_errmsg(db_) : "cannot open";
        sqlite3_close(db_);
        db_ = nullptr;
        throw ora_error(1034, "ORA-01034: ORACLE not available (" + e + ")");
    }
    sqlite3_busy_timeout(db_, 20000);
    try {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec("PRAGMA case_sensitive_like=ON");
        register_functions(db_, this);
        // a schema in use is not locked again: a reader must get in during a writer's run
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE name='ocs_meta'", -1, &st,
                           nullptr);
        bool ready = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        if (!ready)
            exec(std::string("BEGIN IMMEDIATE;") + catalogue_ddl + "COMMIT;");
        create_catalogue_views(db_, user_);
        set_banner(banner);
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

session::~session()
{
    for (cursor *c : cursors_) {
        c->stop();
        c->owner_ = nullptr;
    }
    drop_cache();
    sqlite3_close_v2(db_);
}

void session::set_banner(const std::vector<std::string> &banner)
{
    exec("DELETE FROM temp.ocs_banner");
    for (size_t i = 0; i < banner.size(); ++i)
        exec("INSERT INTO temp.ocs_banner VALUES(" + std::to_string(i) + ", " +
             sql_quote(banner[i]) + ")");
}

void session::sqlite_fail(int rc)
{
    std::string m = sqlite3_errmsg(db_);
    if (m.rfind("ORA-", 0) == 0)
        throw ora_error(std::atoi(m.c_str() + 4), m);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        fail(54);
    throw ora_error(600, "ORA-00600: internal error code, arguments: [" + m + "]");
}

void session::exec(const std::string &sql)
{
    char *err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK)
        sqlite_fail(rc);
}

sqlite3_stmt *session::prepared(const std::string &sql)
{
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK)
        sqlite_fail(rc);
    cache_[sql] = st;
    return st;
}

void session::drop_cache()
{
    for (auto &e : cache_)
        sqlite3_finalize(e.second);
    cache_.clear();
}

bool session::exists(const std::string &sql, const std::vector<value> &params)
{
    sqlite3_stmt *st = prepared(sql);
    for (size_t i = 0; i < params.size(); ++i)
        bind_value(st, int(i + 1), params[i]);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        sqlite_fail(rc);
    return rc == SQLITE_ROW;
}

std::vector<long long> session::rowids(const std::string &sql, const std::vector<value> &params)
{
    sqlite3_stmt *st = prepared(sql);
    for (size_t i = 0; i < params.size(); ++i)
        bind_value(st, int(i + 1), params[i]);
    std::vector<long long> out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.push_back(sqlite3_column_int64(st, 0));
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
    return out;
}

void session::check_version()
{
    sqlite3_stmt *st = prepared("SELECT v FROM ocs_meta WHERE k='ver'");
    long long v = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    if (v != version_) {
        tables_.clear();
        version_ = v;
    }
}

void session::bump_version()
{
    exec("UPDATE ocs_meta SET v=v+1 WHERE k='ver'");
    tables_.clear();
    version_ = -1;
}

void session::begin_write()
{
    if (sqlite3_get_autocommit(db_))
        exec("BEGIN IMMEDIATE");
}

void session::commit()
{
    if (!sqlite3_get_autocommit(db_))
        exec("COMMIT");
}

void session::rollback()
{
    if (!sqlite3_get_autocommit(db_))
        exec("ROLLBACK");
    tables_.clear();
}

std::string session::generated_name()
{
    exec("UPDATE ocs_meta SET v=v+1 WHERE k='sysc'");
    sqlite3_stmt *st = prepared("SELECT v FROM ocs_meta WHERE k='sysc'");
    sqlite3_step(st);
    long long v = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    char buf[32];
    std::snprintf(buf, sizeof buf, "SYS_C%07lld", 8000 + v);
    return buf;
}

std::string session::object_type(const std::string &name)
{
    sqlite3_stmt *st = prepared(
        "SELECT type FROM ocs_obj WHERE name=? AND type IN ('TABLE','VIEW','SEQUENCE')");
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    std::string t = sqlite3_step(st) == SQLITE_ROW ? col_text(st, 0) : "";
    sqlite3_reset(st);
    return t;
}

void session::name_free(const std::string &name)
{
    if (!object_type(name).empty() || is_catalogue_view(name))
        fail(955);
}

void session::check_schema(const std::string &schema)
{
    if (!schema.empty() && schema != user_)
        fail(1031);
}

std::string session::quoted_column(const table_def &t, const column_def &c) const
{
    return "\"" + user_ + "\".\"" + t.name + "\".\"" + c.name + "\"";
}

std::string session::qualified_constraint(const std::string &name) const
{
    return user_ + "." + name;
}

otype session::type_from_spec(const type_spec &s) const
{
    otype t;
    t.name = s.name;
    t.char_sem = s.char_semantics;
    if (s.name == "NUMBER") {
        if (!s.star_precision && s.len != -1) {
            if (s.len < 1 || s.len > 38)
                fail(1727);
            t.prec = s.len;
            t.scale = 0;
        }
        if (s.scale != -1000) {
            if (s.scale < -84 || s.scale > 127)
                fail(1728);
            t.scale = s.scale;
        }
    } else if (s.name == "FLOAT") {
        if (s.len < 1 || s.len > 126)
            throw ora_error(1724, "ORA-01724: floating point precision is out of range (1 to 126)");
        t.len = s.len;
    } else if (s.name == "VARCHAR2" || s.name == "NVARCHAR2" || s.name == "CHAR" ||
               s.name == "NCHAR" || s.name == "RAW") {
        int max = s.name == "VARCHAR2" ? 4000 : s.name == "NCHAR" ? 1000 : 2000;
        if (s.len < 1)
            throw ora_error(1723, "ORA-01723: zero-length columns are not allowed");
        if (s.len > max)
            fail(910);
        t.len = s.len;
    } else if (t.is_ieee()) {
        t.len = t.data_size();
    } else if (s.name == "TIMESTAMP") {
        if (s.len < 0 || s.len > 9)
            throw ora_error(30088, "ORA-30088: datetime/interval precision is out of range");
        t.len = s.len;
        t.zone = s.zone;
    }
    return t;
}

std::string session::column_sql_type(const otype &t) const
{
    if (t.is_number())
        return "TEXT COLLATE ORANUM";
    if (t.is_binary())
        return "BLOB";
    if (t.is_ieee())
        return "REAL";
    return "TEXT";
}

std::shared_ptr<session::table_def> session::table(const std::string &name)
{
    auto it = tables_.find(name);
    if (it != tables_.end())
        return it->second;
    sqlite3_stmt *st = prepared("SELECT id FROM ocs_obj WHERE name=? AND type='TABLE'");
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_reset(st);
        return nullptr;
    }
    auto t = std::make_shared<table_def>();
    t->objid = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    t->name = name;
    t->sqlname = sql_table_name(name);

    st = prepared("SELECT name, type, prec, scale, nullable, def, decl, csem FROM ocs_col "
                  "WHERE tab=? ORDER BY pos");
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
        column_def c;
        c.name = col_text(st, 0);
        c.sqlname = sql_column_name(c.name);
        std::string type = col_text(st, 1);
        c.t.name = type.rfind("TIMESTAMP", 0) == 0 ? "TIMESTAMP" : type;
        if (c.t.name == "TIMESTAMP" && type.find("TIME ZONE") != std::string::npos)
            c.t.zone = type.find("LOCAL TIME ZONE") != std::string::npos ? 2 : 1;
        c.t.prec = col_null(st, 2) || c.t.name == "FLOAT" ? -1 : sqlite3_column_int(st, 2);
        c.t.scale = col_null(st, 3) ? -1000 : sqlite3_column_int(st, 3);
        c.t.nullable = col_text(st, 4) == "Y";
        c.has_default = !col_null(st, 5);
        c.def = col_text(st, 5);
        c.t.len = sqlite3_column_int(st, 6);
        c.t.char_sem = sqlite3_column_int(st, 7) != 0;
        t->cols.push_back(c);
    }
    sqlite3_reset(st);

    auto load_cols = [&](const std::string &cons) {
        std::vector<std::string> cols;
        sqlite3_stmt *cs = prepared("SELECT col FROM ocs_conscol WHERE cons=? ORDER BY pos");
        sqlite3_bind_text(cs, 1, cons.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(cs) == SQLITE_ROW)
            cols.push_back(col_text(cs, 0));
        sqlite3_reset(cs);
        return cols;
    };
    auto load_cons = [&](const char *sql, std::vector<constraint_def> &into) {
        sqlite3_stmt *ks = prepared(sql);
        sqlite3_bind_text(ks, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        std::vector<constraint_def> found;
        while (sqlite3_step(ks) == SQLITE_ROW) {
            constraint_def k;
            k.name = col_text(ks, 0);
            k.type = col_text(ks, 1)[0];
            k.table = col_text(ks, 2);
            k.r_cons = col_text(ks, 3);
            k.delete_rule = col_text(ks, 4);
            k.index_name = col_text(ks, 5);
            found.push_back(k);
        }
        sqlite3_reset(ks);
        for (auto &k : found) {
            k.cols = load_cols(k.name);
            if (k.type == 'R') {
                sqlite3_stmt *rs = prepared("SELECT tab FROM ocs_cons WHERE name=?");
                sqlite3_bind_text(rs, 1, k.r_cons.c_str(), -1, SQLITE_TRANSIENT);
                if (sqlite3_step(rs) == SQLITE_ROW)
                    k.r_table = col_text(rs, 0);
                sqlite3_reset(rs);
                k.r_cols = load_cols(k.r_cons);
            }
            into.push_back(k);
        }
    };
    load_cons("SELECT name, type, tab, r_cons, delete_rule, index_name FROM ocs_cons "
              "WHERE tab=? AND type IN ('P','U','R') ORDER BY type, name",
              t->own);
    // a unique index that backs no constraint enforces its key all the same
    {
        sqlite3_stmt *is = prepared("SELECT i.name FROM ocs_idx i WHERE i.tab=? AND "
                                    "i.uniq='UNIQUE' AND NOT EXISTS (SELECT 1 FROM ocs_cons k "
                                    "WHERE k.index_name=i.name)");
        sqlite3_bind_text(is, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        std::vector<std::string> names;
        while (sqlite3_step(is) == SQLITE_ROW)
            names.push_back(col_text(is, 0));
        sqlite3_reset(is);
        for (const auto &n : names) {
            constraint_def k;
            k.name = n;
            k.type = 'I';
            k.table = name;
            sqlite3_stmt *ic = prepared("SELECT col FROM ocs_idxcol WHERE idx=? ORDER BY pos");
            sqlite3_bind_text(ic, 1, n.c_str(), -1, SQLITE_TRANSIENT);
            while (sqlite3_step(ic) == SQLITE_ROW)
                k.cols.push_back(col_text(ic, 0));
            sqlite3_reset(ic);
            t->own.push_back(k);
        }
    }
    load_cons("SELECT k.name, k.type, k.tab, k.r_cons, k.delete_rule, k.index_name FROM ocs_cons "
              "k JOIN ocs_cons p ON p.name=k.r_cons WHERE k.type='R' AND p.tab=? ORDER BY k.name",
              t->children);

    st = prepared("SELECT name, col, seq, when_null, valid FROM ocs_trg WHERE tab=? ORDER BY name");
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
        trigger_def g;
        g.name = col_text(st, 0);
        g.column = col_text(st, 1);
        g.sequence = col_text(st, 2);
        g.when_null = sqlite3_column_int(st, 3) != 0;
        g.valid = sqlite3_column_int(st, 4) != 0;
        t->triggers.push_back(g);
    }
    sqlite3_reset(st);
    tables_[name] = t;
    return t;
}

std::shared_ptr<session::table_def> session::table_or_fail(const std::string &schema,
                                                           const std::string &name)
{
    if (!schema.empty() && schema != user_)
        fail(942);
    auto t = table(name);
    if (!t)
        fail(942);
    return t;
}

// ---- statements

exec_result session::execute(const std::string &sql, bool parse_only, bool commit_on_success,
                             const bind_reader &binds)
{
    check_version();
    auto toks = tokenize(sql, max_ident_);
    statement st = parse(sql, toks);
    exec_result res;
    switch (st.kind) {
    case statement::select:
        res = run_select(st, parse_only, binds);
        break;
    case statement::insert:
    case statement::update:
    case statement::delete_: {
        if (parse_only) {
            res = st.kind == statement::insert   ? run_insert(st, true, binds)
                  : st.kind == statement::update ? run_update(st, true, binds)
                                                 : run_delete(st, true, binds);
            break;
        }
        begin_write();
        exec("SAVEPOINT ocs_stmt");
        try {
            res = st.kind == statement::insert   ? run_insert(st, false, binds)
                  : st.kind == statement::update ? run_update(st, false, binds)
                                                 : run_delete(st, false, binds);
            exec("RELEASE ocs_stmt");
        } catch (...) {
            // a failed statement undoes only itself
            exec("ROLLBACK TO ocs_stmt");
            exec("RELEASE ocs_stmt");
            tables_.clear();
            throw;
        }
        break;
    }
    case statement::commit:
        if (!parse_only)
            commit();
        return res;
    case statement::rollback:
        if (!parse_only)
            rollback();
        return res;
    default:
        if (parse_only)
            return res;
        // DDL commits the work before it and itself
        for (int attempt = 0;; ++attempt) {
            commit();
            begin_write();
            try {
                run_ddl(st, res);
                bump_version();
                commit();
                break;
            } catch (const ora_error &e) {
                rollback();
                drop_cache();
                // SQLite cannot change a table that a running query of this session reads:
                // those queries end here and the statement runs again
                if (e.code() == 54 && attempt == 0 && stop_running_cursors())
                    continue;
                throw;
            } catch (...) {
                rollback();
                drop_cache();
                throw;
            }
        }
        drop_cache();
        return res;
    }
    if (commit_on_success && !parse_only)
        commit();
    return res;
}

exec_result session::run_select(const statement &st, bool parse_only, const bind_reader &binds)
{
    translator tr(*this, binds);
    translator::query q = tr.select(*st.query, nullptr, true);
    exec_result res;
    res.is_select = true;
    if ((st.query->for_update || q.uses_sequence) && !parse_only)
        begin_write();
    auto cur = std::make_unique<cursor>();
    cur->cols = q.cols;
    cur->owner_ = this;
    cursors_.insert(cur.get());
    cur->for_update_ = st.query->for_update;
    for (size_t i = 0; i < q.cols.size(); ++i) {
        cursor::lob_source ls;
        ls.rowid_col = q.lob_rowid_col[i];
        ls.table_sql = q.lob_table[i];
        ls.column_sql = q.lob_column[i];
        cur->lob_src_.push_back(ls);
    }
    int rc = sqlite3_prepare_v2(db_, q.sql.c_str(), -1, &cur->st_, nullptr);
    if (rc != SQLITE_OK)
        sqlite_fail(rc);
    if (parse_only)
        cur->done_ = true;
    res.cur = std::move(cur);
    return res;
}

cursor::~cursor()
{
    if (owner_)
        owner_->cursors_.erase(this);
    sqlite3_finalize(st_);
}

bool session::stop_running_cursors()
{
    bool any = false;
    for (cursor *c : cursors_) {
        if (c->stepped_ && !c->done_) {
            c->stop();
            any = true;
        }
    }
    return any;
}

void cursor::stop()
{
    if (st_)
        sqlite3_reset(st_);
    done_ = true;
}

bool cursor::fetch(std::vector<value> &row, std::vector<lob_ref> &lobs)
{
    if (done_ || !owner_)
        return false;
    stepped_ = true;
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_DONE) {
        done_ = true;
        return false;
    }
    if (rc != SQLITE_ROW) {
        done_ = true;
        owner_->sqlite_fail(rc);
    }
    row.clear();
    lobs.assign(cols.size(), lob_ref{});
    for (size_t i = 0; i < cols.size(); ++i) {
        row.push_back(owner_->read_value(st_, int(i), cols[i].t));
        if (cols[i].t.is_lob()) {
            lob_ref &r = lobs[i];
            r.valid = true;
            r.clob = cols[i].t.name != "BLOB";
            r.nchar = cols[i].t.name == "NCLOB";
            r.locked = for_update_;
            r.owner = owner_;
            const lob_source &ls = lob_src_[i];
            if (ls.rowid_col >= 0) {
                r.has_row = true;
                r.table_sql = ls.table_sql;
                r.column_sql = ls.column_sql;
                r.rowid = sqlite3_column_int64(st_, ls.rowid_col);
            } else {
                r.snapshot = row.back().s;
            }
        }
    }
    ++fetched;
    return true;
}

value session::read_value(sqlite3_stmt *st, int col, const otype &t)
{
    int type = sqlite3_column_type(st, col);
    if (type == SQLITE_NULL)
        return {};
    if (t.is_number()) {
        std::optional<decimal> d;
        if (type == SQLITE_INTEGER) {
            d = decimal::from_int(sqlite3_column_int64(st, col));
        } else if (type == SQLITE_FLOAT) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.15g", sqlite3_column_double(st, col));
            d = decimal::parse(buf);
        } else {
            d = decimal::parse(col_text(st, col));
        }
        if (d)
            return {value::num, d->render()};
        return {value::str, col_text(st, col)};
    }
    if (t.is_ieee())
        return {value::ieee, ieee_stored_text(sqlite3_column_double(st, col),
                                              t.name == "BINARY_FLOAT")};
    if (t.is_binary()) {
        const void *b = sqlite3_column_blob(st, col);
        int n = sqlite3_column_bytes(st, col);
        return {value::raw, std::string(static_cast<const char *>(b ? b : ""), n)};
    }
    if (t.is_date())
        return {value::date, col_text(st, col)};
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        auto d = decimal::parse(col_text(st, col));
        return {value::str, d ? d->render() : col_text(st, col)};
    }
    if (type == SQLITE_BLOB)
        return {value::str, hex_encode(std::string(
                                static_cast<const char *>(sqlite3_column_blob(st, col)),
                                sqlite3_column_bytes(st, col)))};
    return {value::str, col_text(st, col)};
}

// the value of a computed expression: EMPTY_CLOB() and EMPTY_BLOB() are empty LOBs, not NULL,
// and text stays text whatever SQLite made of it
value session::expression_value(sqlite3_stmt *st, int col, const otype &t)
{
    value v = read_value(st, col, t);
    if (t.name == "CLOB" && v.k == value::str && v.s.empty())
        v.k = value::empty_clob;
    if (t.name == "BLOB" && v.k == value::raw && v.s.empty())
        v.k = value::empty_blob;
    if ((t.name == "CHAR" || t.name == "VARCHAR2") && v.k != value::null)
        v.k = value::str;
    return v;
}

void session::bind_value(sqlite3_stmt *st, int pos, const value &v)
{
    switch (v.k) {
    case value::null:
        sqlite3_bind_null(st, pos);
        break;
    case value::ieee:
        sqlite3_bind_double(st, pos, ieee_parse(v.s).value_or(0));
        break;
    case value::raw:
    case value::empty_blob:
        if (v.s.empty())
            sqlite3_bind_zeroblob(st, pos, 0);
        else
            sqlite3_bind_blob(st, pos, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_text(st, pos, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT);
        break;
    }
}

// ---- values

value session::evaluate(const expr_ptr &e, const bind_reader &binds)
{
    switch (e->kind) {
    case expr::null:
        return {};
    case expr::str:
        return {value::str, e->text};
    case expr::num: {
        if (auto binary = ieee_literal(e->text))
            return *binary;
        auto d = decimal::parse(e->text);
        if (!d)
            fail(1722);
        return {value::num, d->render()};
    }
    case expr::bind: {
        auto v = binds ? binds(e->text) : std::nullopt;
        if (!v)
            fail(1008);
        return *v;
    }
    case expr::seqval:
        if (e->parts[1] == "NEXTVAL")
            return {value::num, next_value(e->parts[0])};
        return {value::num, current_value(e->parts[0])};
    case expr::func:
        if ((e->text == "EMPTY_CLOB" || e->text == "EMPTY_BLOB") && e->args.empty())
            return {e->text == "EMPTY_CLOB" ? value::empty_clob : value::empty_blob, ""};
        if ((e->text == "TO_DATE" || e->text == "TO_TIMESTAMP") && !e->args.empty() &&
            e->args.size() <= 2) {
            value text = evaluate(e->args[0], binds);
            if (text.k == value::null)
                return {};
            value mask = e->args.size() > 1 ? evaluate(e->args[1], binds)
                                            : value{value::str, "DD-MON-RR"};
            const bool timestamp = e->text == "TO_TIMESTAMP";
            if (text.k == value::date)
                return text;
            return {value::date, to_date(text.s, mask.s, timestamp).text(timestamp)};
        }
        if (e->text == "HEXTORAW" && e->args.size() == 1) {
            value text = evaluate(e->args[0], binds);
            if (text.k == value::null)
                return {};
            auto b = hex_decode(text.s);
            if (!b)
                fail(1465);
            return {value::raw, *b};
        }
        break;
    default:
        break;
    }
    // anything else is left to SQLite
    translator tr(*this, binds);
    auto [sql, t] = tr.const_expression(*e);
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db_, ("SELECT " + sql).c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK)
        sqlite_fail(rc);
    rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
        sqlite3_finalize(st);
        sqlite_fail(rc);
    }
    value v = expression_value(st, 0, t);
    sqlite3_finalize(st);
    return v;
}

namespace
{

std::string kind_name(const value &v)
{
    switch (v.k) {
    case value::num:
        return "NUMBER";
    case value::ieee:
        return "BINARY_DOUBLE";
    case value::date:
        return "DATE";
    case value::raw:
        return "BINARY";
    case value::empty_clob:
        return "CLOB";
    case value::empty_blob:
        return "BLOB";
    default:
        return "CHAR";
    }
}

} // namespace

value session::stored(const value &v, const column_def &c, const table_def &t)
{
    const otype &ct = c.t;
    if (v.k == value::null)
        return {};
    auto too_large = [&](size_t actual, int max) {
        fail(12899, {quoted_column(t, c), std::to_string(actual), std::to_string(max)});
    };
    if (ct.is_ieee()) {
        if (v.k != value::num && v.k != value::str && v.k != value::ieee)
            fail(932, {ct.name, kind_name(v)});
        const std::optional<double> x = ieee_parse(v.s);
        if (!x)
            fail(1722);
        // a double beyond the single range is an infinity, as IEEE rounds it
        return {value::ieee, ieee_stored_text(*x, ct.name == "BINARY_FLOAT")};
    }
    if (ct.is_number()) {
        std::optional<decimal> d;
        if (v.k == value::num || v.k == value::str || v.k == value::ieee)
            d = decimal::parse(v.s);
        else
            fail(932, {"NUMBER", kind_name(v)});
        if (!d)
            fail(1722);
        if (ct.name == "FLOAT") {
            d = d->rounded_significant(int(std::ceil(ct.len * 0.30103)));
        } else if (ct.scale != -1000) {
            d = d->rounded(ct.scale);
            int p = ct.prec == -1 ? 38 : ct.prec;
            if (!d->is_zero() && d->integer_digits() > p - ct.scale)
                fail(1438);
        } else {
            d = d->rounded_significant(38);
        }
        if (!d->is_zero() && d->exp > 126)
            fail(1426);
        // below 1E-130 a NUMBER is 0
        if (!d->is_zero() && d->exp < -129)
            d = decimal{};
        return {value::num, d->render()};
    }
    if (ct.is_date()) {
        std::optional<datetime> d;
        if (v.k == value::date)
            d = datetime::parse_iso(v.s);
        else if (v.k == value::str)
            d = parse_default_date(v.s);
        else
            fail(932, {ct.name, kind_name(v)});
        if (!d)
            fail(1861);
        // a TIMESTAMP(n) keeps n digits of the fraction, rounded
        if (ct.name == "TIMESTAMP")
            return {value::date, d->past_calendar_gap().rounded(ct.len).text(true)};
        return {value::date, d->past_calendar_gap().text()};
    }
    if (ct.name == "BLOB") {
        if (v.k == value::raw || v.k == value::empty_blob)
            return {value::raw, v.s};
        if (v.k == value::str) {
            auto b = hex_decode(v.s);
            if (!b)
                fail(1465);
            return {value::raw, *b};
        }
        fail(932, {"BLOB", kind_name(v)});
    }
    if (ct.name == "RAW" || ct.name == "LONG RAW") {
        std::string bytes;
        if (v.k == value::raw) {
            bytes = v.s;
        } else if (v.k == value::str || v.k == value::num) {
            auto b = hex_decode(v.s);
            if (!b)
                fail(1465);
            bytes = *b;
        } else {
            fail(932, {"BINARY", kind_name(v)});
        }
        if (bytes.empty())
            return {};
        if (ct.name == "RAW" && int(bytes.size()) > ct.len)
            too_large(bytes.size(), ct.len);
        return {value::raw, bytes};
    }
    // text types
    std::string text;
    switch (v.k) {
    case value::str:
    case value::num:
        text = v.s;
        break;
    case value::ieee:
        text = ieee_display_text(ieee_parse(v.s).value_or(0));
        break;
    case value::date: {
        auto d = datetime::parse_iso(v.s);
        text = d ? default_date_text(*d) : v.s;
        break;
    }
    case value::raw:
        text = hex_encode(v.s);
        break;
    case value::empty_clob:
        if (ct.name != "CLOB" && ct.name != "NCLOB")
            fail(932, {"CHAR", "CLOB"});
        return {value::str, ""};
    default:
        fail(932, {ct.name == "CLOB" ? "CLOB" : "CHAR", kind_name(v)});
    }
    if (ct.is_lob() || ct.name == "LONG")
        return {value::str, text};
    if (text.empty())
        return {};
    size_t n;
    if (ct.is_national())
        n = utf16_length(text);
    else if (ct.char_sem)
        n = utf8_char_count(text);
    else
        n = text.size();
    if (int(n) > ct.len)
        too_large(n, ct.len);
    if (ct.name == "CHAR" || ct.name == "NCHAR")
        text.append(ct.len - n, ' ');
    return {value::str, text};
}

std::vector<value> session::key_of(const table_def &t, const std::vector<std::string> &cols,
                                   const std::vector<value> &row)
{
    std::vector<value> out;
    for (const auto &c : cols)
        out.push_back(row[t.find(c)]);
    return out;
}

std::string session::key_where(const table_def &t, const std::vector<std::string> &cols)
{
    std::string w;
    for (size_t i = 0; i < cols.size(); ++i) {
        int k = t.find(cols[i]);
        w += (i ? " AND \"" : "\"") + t.cols[k].sqlname + "\" IS ?" + std::to_string(i + 1);
    }
    return w;
}

void session::check_row(const table_def &t, const std::vector<value> &row, long long rowid,
                        bool insert)
{
    for (size_t i = 0; i < t.cols.size(); ++i)
        if (!t.cols[i].t.nullable && row[i].k == value::null)
            fail(insert ? 1400 : 1407, {"\"" + user_ + "\".\"" + t.name + "\".\"" + t.cols[i].name + "\""});
    for (const constraint_def &k : t.own) {
        if (k.type == 'R')
            continue;
        std::vector<value> key = key_of(t, k.cols, row);
        bool all_null = true;
        for (const auto &v : key)
            all_null = all_null && v.k == value::null;
        if (all_null)
            continue;
        std::string sql = "SELECT 1 FROM " + t.sqlname + " WHERE " + key_where(t, k.cols);
        if (rowid >= 0) {
            sql += " AND rowid <> ?" + std::to_string(key.size() + 1);
            key.push_back({value::num, std::to_string(rowid)});
        }
        if (exists(sql + " LIMIT 1", key))
            fail(1, {qualified_constraint(k.name)});
    }
    for (const constraint_def &k : t.own) {
        if (k.type != 'R')
            continue;
        std::vector<value> key = key_of(t, k.cols, row);
        bool any_null = false;
        for (const auto &v : key)
            any_null = any_null || v.k == value::null;
        if (any_null)
            continue;
        // a row may refer to itself
        if (k.r_table == t.name) {
            std::vector<value> own = key_of(t, k.r_cols, row);
            bool same = true;
            for (size_t i = 0; i < own.size(); ++i)
                same = same && own[i].k == key[i].k && own[i].s == key[i].s;
            if (same)
                continue;
        }
        auto parent = table(k.r_table);
        if (!parent || !exists("SELECT 1 FROM " + parent->sqlname + " WHERE " +
                                   key_where(*parent, k.r_cols) + " LIMIT 1",
                               key))
            fail(2291, {qualified_constraint(k.name)});
    }
}

void session::check_children(const table_def &t, const std::vector<value> &old_row,
                             const std::vector<value> *new_row)
{
    for (const constraint_def &k : t.children) {
        std::vector<value> key = key_of(t, k.r_cols, old_row);
        bool any_null = false;
        for (const auto &v : key)
            any_null = any_null || v.k == value::null;
        if (any_null)
            continue;
        if (new_row) {
            std::vector<value> nk = key_of(t, k.r_cols, *new_row);
            bool same = true;
            for (size_t i = 0; i < nk.size(); ++i)
                same = same && nk[i].k == key[i].k && nk[i].s == key[i].s;
            if (same)
                continue;
        }
        auto child = table(k.table);
        if (!child)
            continue;
        std::vector<long long> ids = rowids(
            "SELECT rowid FROM " + child->sqlname + " WHERE " + key_where(*child, k.cols), key);
        if (ids.empty())
            continue;
        if (new_row || k.delete_rule == "NO ACTION" || k.delete_rule.empty())
            fail(2292, {qualified_constraint(k.name)});
        for (long long id : ids) {
            if (k.delete_rule == "CASCADE") {
                if (!exists("SELECT 1 FROM " + child->sqlname + " WHERE rowid=?1",
                            {{value::num, std::to_string(id)}}))
                    continue;
                delete_row(*child, id);
            } else {
                std::vector<value> row = load_row(*child, id);
                std::vector<value> changed = row;
                for (const auto &c : k.cols)
                    changed[child->find(c)] = {};
                check_row(*child, changed, id, false);
                write_row(*child, changed, id);
            }
        }
    }
}

std::vector<value> session::load_row(const table_def &t, long long rowid)
{
    std::string sql = "SELECT ";
    for (size_t i = 0; i < t.cols.size(); ++i)
        sql += (i ? ", \"" : "\"") + t.cols[i].sqlname + "\"";
    sql += " FROM " + t.sqlname + " WHERE rowid=?1";
    sqlite3_stmt *st = prepared(sql);
    sqlite3_bind_int64(st, 1, rowid);
    std::vector<value> row;
    if (sqlite3_step(st) == SQLITE_ROW)
        for (size_t i = 0; i < t.cols.size(); ++i)
            row.push_back(read_value(st, int(i), t.cols[i].t));
    sqlite3_reset(st);
    if (row.empty())
        row.resize(t.cols.size());
    return row;
}

void session::write_row(table_def &t, std::vector<value> &row, long long rowid)
{
    std::string sql;
    if (rowid < 0) {
        sql = "INSERT INTO " + t.sqlname + " (";
        std::string marks;
        for (size_t i = 0; i < t.cols.size(); ++i) {
            sql += (i ? ", \"" : "\"") + t.cols[i].sqlname + "\"";
            marks += (i ? ", ?" : "?") + std::to_string(i + 1);
        }
        sql += ") VALUES (" + marks + ")";
    } else {
        sql = "UPDATE " + t.sqlname + " SET ";
        for (size_t i = 0; i < t.cols.size(); ++i)
            sql += (i ? ", \"" : "\"") + t.cols[i].sqlname + "\"=?" + std::to_string(i + 1);
        sql += " WHERE rowid=?" + std::to_string(t.cols.size() + 1);
    }
    sqlite3_stmt *st = prepared(sql);
    for (size_t i = 0; i < t.cols.size(); ++i) {
        value v = row[i];
        // LOB columns keep an empty value apart from NULL
        if (t.cols[i].t.name == "BLOB" && v.k == value::raw && v.s.empty())
            v.k = value::empty_blob;
        bind_value(st, int(i + 1), v);
    }
    if (rowid >= 0)
        sqlite3_bind_int64(st, int(t.cols.size() + 1), rowid);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
}

void session::delete_row(const table_def &t, long long rowid)
{
    std::vector<value> old = load_row(t, rowid);
    check_children(t, old, nullptr);
    sqlite3_stmt *st = prepared("DELETE FROM " + t.sqlname + " WHERE rowid=?1");
    sqlite3_bind_int64(st, 1, rowid);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
}

std::string session::next_value(const std::string &seq)
{
    sqlite3_stmt *st = prepared("SELECT minv, maxv, incr, cyc, next FROM ocs_seq WHERE name=?");
    sqlite3_bind_text(st, 1, seq.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_reset(st);
        fail(2289);
    }
    auto num = [&](int i) { return decimal::parse(col_text(st, i)).value_or(decimal{}); };
    decimal minv = num(0), maxv = num(1), incr = num(2), next = num(4);
    bool cycle = col_text(st, 3) == "Y";
    sqlite3_reset(st);
    decimal v = next;
    bool up = !incr.neg;
    if ((up && v.compare(maxv) > 0) || (!up && v.compare(minv) < 0)) {
        if (!cycle)
            fail(8004, {seq});
        v = up ? minv : maxv;
    }
    __int128 nv = v.to_int128().value_or(0) + incr.to_int128().value_or(1);
    begin_write();
    sqlite3_stmt *up_st = prepared("UPDATE ocs_seq SET next=? WHERE name=?");
    std::string ntext = decimal_from_int128(nv).render();
    sqlite3_bind_text(up_st, 1, ntext.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(up_st, 2, seq.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(up_st);
    sqlite3_reset(up_st);
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
    currval_[seq] = v.render();
    return v.render();
}

std::string session::current_value(const std::string &seq)
{
    auto it = currval_.find(seq);
    if (it == currval_.end()) {
        if (object_type(seq) != "SEQUENCE")
            fail(2289);
        fail(8002, {seq});
    }
    return it->second;
}

// ---- DML

exec_result session::run_insert(const statement &st, bool parse_only, const bind_reader &binds)
{
    auto t = table_or_fail(st.schema, st.table);
    std::vector<int> pos;
    if (st.columns.empty()) {
        for (size_t i = 0; i < t->cols.size(); ++i)
            pos.push_back(int(i));
    } else {
        std::set<int> seen;
        for (const auto &c : st.columns) {
            int k = t->find(c);
            if (k < 0)
                fail(904, {"\"" + c + "\""});
            if (!seen.insert(k).second)
                fail(957);
            pos.push_back(k);
        }
    }
    std::vector<std::vector<value>> rows;
    if (st.query) {
        statement sel;
        sel.kind = statement::select;
        sel.query = st.query;
        exec_result q = run_select(sel, parse_only, binds);
        if (q.cur->cols.size() < pos.size())
            fail(947);
        if (q.cur->cols.size() > pos.size())
            fail(913);
        std::vector<value> row;
        std::vector<lob_ref> lobs;
        while (!parse_only && q.cur->fetch(row, lobs))
            rows.push_back(row);
    } else {
        if (st.values.size() < pos.size())
            fail(947);
        if (st.values.size() > pos.size())
            fail(913);
        if (parse_only) {
            translator tr(*this, binds);
            for (const auto &v : st.values)
                tr.const_expression(*v);
        } else {
            std::vector<value> row;
            for (const auto &v : st.values)
                row.push_back(evaluate(v, binds));
            rows.push_back(row);
        }
    }
    for (const auto &r : st.returning)
        if (!(r->kind == expr::column && r->parts.size() == 1 &&
              (r->parts[0] == "ROWID" || t->find(r->parts[0]) >= 0)))
            fail(904, {"\"" + (r->parts.empty() ? r->text : r->parts.back()) + "\""});
    exec_result res;
    if (parse_only)
        return res;
    for (const auto &given : rows) {
        std::vector<value> full(t->cols.size());
        std::vector<bool> set(t->cols.size(), false);
        for (size_t i = 0; i < pos.size(); ++i) {
            full[pos[i]] = given[i];
            set[pos[i]] = true;
        }
        for (size_t i = 0; i < t->cols.size(); ++i) {
            if (set[i] || !t->cols[i].has_default)
                continue;
            statement ds = parse("SELECT " + t->cols[i].def + " FROM DUAL",
                                 tokenize("SELECT " + t->cols[i].def + " FROM DUAL", max_ident_));
            full[i] = evaluate(ds.query->items[0].e, binds);
        }
        for (const auto &g : t->triggers) {
            if (!g.valid)
                fail(4098, {user_ + "." + g.name});
            int k = t->find(g.column);
            if (k >= 0 && (!g.when_null || full[k].k == value::null))
                full[k] = {value::num, next_value(g.sequence)};
        }
        for (size_t i = 0; i < t->cols.size(); ++i)
            full[i] = stored(full[i], t->cols[i], *t);
        check_row(*t, full, -1, true);
        write_row(*t, full, -1);
        long long rid = sqlite3_last_insert_rowid(db_);
        res.returned.clear();
        for (const auto &r : st.returning) {
            if (r->parts[0] == "ROWID")
                res.returned.push_back({value::str, encode_rowid(t->objid, rid)});
            else
                res.returned.push_back(full[t->find(r->parts[0])]);
        }
        ++res.rows;
    }
    return res;
}

exec_result session::run_update(const statement &st, bool parse_only, const bind_reader &binds)
{
    auto t = table_or_fail(st.schema, st.table);
    std::string alias = st.alias.empty() ? st.table : st.alias;
    translator tr(*this, binds);
    std::string sql = "SELECT u.rowid";
    std::vector<int> pos;
    std::vector<otype> types;
    for (const auto &[col, e] : st.sets) {
        int k = t->find(col);
        if (k < 0)
            fail(904, {"\"" + col + "\""});
        pos.push_back(k);
        auto [esql, et] = tr.table_expression(*e, t, alias, "u");
        sql += ", " + esql;
        types.push_back(et);
    }
    sql += " FROM " + t->sqlname + " AS u";
    if (st.where)
        sql += " WHERE " + tr.table_expression(*st.where, t, alias, "u").first;
    exec_result res;
    sqlite3_stmt *q = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &q, nullptr);
    if (rc != SQLITE_OK)
        sqlite_fail(rc);
    if (parse_only) {
        sqlite3_finalize(q);
        return res;
    }
    std::vector<std::pair<long long, std::vector<value>>> changes;
    while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
        std::vector<value> vals;
        for (size_t i = 0; i < pos.size(); ++i)
            vals.push_back(expression_value(q, int(i + 1), types[i]));
        changes.emplace_back(sqlite3_column_int64(q, 0), vals);
    }
    sqlite3_finalize(q);
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
    for (auto &[rid, vals] : changes) {
        std::vector<value> old = load_row(*t, rid);
        std::vector<value> row = old;
        for (size_t i = 0; i < pos.size(); ++i)
            row[pos[i]] = stored(vals[i], t->cols[pos[i]], *t);
        check_row(*t, row, rid, false);
        check_children(*t, old, &row);
        write_row(*t, row, rid);
        ++res.rows;
    }
    return res;
}

exec_result session::run_delete(const statement &st, bool parse_only, const bind_reader &binds)
{
    auto t = table_or_fail(st.schema, st.table);
    std::string alias = st.alias.empty() ? st.table : st.alias;
    translator tr(*this, binds);
    std::string sql = "SELECT u.rowid FROM " + t->sqlname + " AS u";
    if (st.where)
        sql += " WHERE " + tr.table_expression(*st.where, t, alias, "u").first;
    exec_result res;
    sqlite3_stmt *q = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &q, nullptr);
    if (rc != SQLITE_OK)
        sqlite_fail(rc);
    std::vector<long long> ids;
    while (!parse_only && (rc = sqlite3_step(q)) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(q, 0));
    sqlite3_finalize(q);
    if (parse_only)
        return res;
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
    for (long long id : ids) {
        if (!exists("SELECT 1 FROM " + t->sqlname + " WHERE rowid=?1",
                    {{value::num, std::to_string(id)}}))
            continue;
        delete_row(*t, id);
        ++res.rows;
    }
    return res;
}

// ---- LOBs

std::string session::lob_get(const lob_ref &ref)
{
    if (!ref.has_row)
        return ref.snapshot;
    sqlite3_stmt *st =
        prepared("SELECT \"" + ref.column_sql + "\" FROM " + ref.table_sql + " WHERE rowid=?1");
    sqlite3_bind_int64(st, 1, ref.rowid);
    if (sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_reset(st);
        fail(22275);
    }
    std::string v;
    if (ref.clob) {
        v = col_text(st, 0);
    } else {
        const void *b = sqlite3_column_blob(st, 0);
        v.assign(static_cast<const char *>(b ? b : ""), sqlite3_column_bytes(st, 0));
    }
    sqlite3_reset(st);
    return v;
}

void session::lob_put(const lob_ref &ref, std::string_view data)
{
    if (!ref.has_row)
        fail(22275);
    if (!ref.locked)
        fail(22920);
    begin_write();
    sqlite3_stmt *st =
        prepared("UPDATE " + ref.table_sql + " SET \"" + ref.column_sql + "\"=?1 WHERE rowid=?2");
    // bound where it lies, not copied: a large value would be held once more
    const char *bytes = data.empty() ? "" : data.data();
    if (ref.clob)
        sqlite3_bind_text(st, 1, bytes, int(data.size()), SQLITE_STATIC);
    else if (data.empty())
        sqlite3_bind_zeroblob(st, 1, 0);
    else
        sqlite3_bind_blob(st, 1, bytes, int(data.size()), SQLITE_STATIC);
    sqlite3_bind_int64(st, 2, ref.rowid);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE)
        sqlite_fail(rc);
}

} // namespace ocs
