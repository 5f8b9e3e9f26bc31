// the DDL of the stand-in: every change is made to SQLite and to the stand-in's own catalogue
// in one transaction, so a refused statement leaves nothing behind

#include "ocs_db.hpp"

#include "ocs_query.hpp"
#include "ocs_util.hpp"

#include <algorithm>
#include <set>

namespace ocs
{

namespace
{

// runs one parameterised statement that returns nothing
void run(sqlite3 *db, const std::string &sql, const std::vector<std::string> &args,
         const std::vector<bool> &nulls = {})
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw ora_error(600, std::string("ORA-00600: internal error code, arguments: [") +
                                 sqlite3_errmsg(db) + "]");
    for (size_t i = 0; i < args.size(); ++i) {
        if (i < nulls.size() && nulls[i])
            sqlite3_bind_null(st, int(i + 1));
        else
            sqlite3_bind_text(st, int(i + 1), args[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(st);
    std::string err = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw ora_error(600, "ORA-00600: internal error code, arguments: [" + err + "]");
}

std::vector<std::vector<std::string>> rows_of(sqlite3 *db, const std::string &sql,
                                              const std::vector<std::string> &args)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw ora_error(600, std::string("ORA-00600: internal error code, arguments: [") +
                                 sqlite3_errmsg(db) + "]");
    for (size_t i = 0; i < args.size(); ++i)
        sqlite3_bind_text(st, int(i + 1), args[i].c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::vector<std::string>> out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> r;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const unsigned char *t = sqlite3_column_text(st, i);
            r.push_back(t ? reinterpret_cast<const char *>(t) : "");
        }
        out.push_back(r);
    }
    sqlite3_finalize(st);
    return out;
}

std::string display_type(const otype &t)
{
    if (t.name == "TIMESTAMP")
        return "TIMESTAMP(" + std::to_string(t.len) + ")"
               + (t.zone == 1 ? " WITH TIME ZONE" : t.zone == 2 ? " WITH LOCAL TIME ZONE" : "");
    return t.name;
}

// DATA_SCALE: a NUMBER's scale, a TIMESTAMP's digits of fractional seconds
std::string catalogue_scale(const otype &t)
{
    if (t.name == "TIMESTAMP")
        return std::to_string(t.len);
    return t.scale != -1000 ? std::to_string(t.scale) : "";
}

std::set<std::string> as_set(const std::vector<std::string> &v)
{
    return std::set<std::string>(v.begin(), v.end());
}

std::string index_sql_name(const std::string &index)
{
    return "I_" + hex_encode(index);
}

} // namespace

void session::run_ddl(const statement &st, exec_result &res)
{
    switch (st.kind) {
    case statement::create_table:
        create_table(st);
        break;
    case statement::create_view:
        create_view(st);
        break;
    case statement::create_index:
        create_index(st);
        break;
    case statement::create_sequence:
        create_sequence(st);
        break;
    case statement::create_trigger:
        create_trigger(st, res);
        break;
    case statement::alter_add_constraint:
        table_or_fail(st.schema, st.table);
        for (const auto &c : st.cons)
            add_constraint(st.table, c);
        break;
    case statement::alter_modify:
        alter_modify(st);
        break;
    case statement::alter_add_columns:
        alter_add_columns(st);
        break;
    case statement::alter_drop_constraint:
        drop_constraint(st);
        break;
    case statement::drop:
        drop(st);
        break;
    case statement::comment:
        comment(st);
        break;
    case statement::truncate: {
        auto t = table_or_fail(st.schema, st.table);
        exec("DELETE FROM " + t->sqlname);
        break;
    }
    default:
        fail(900);
    }
}

void session::create_table(const statement &st)
{
    check_schema(st.schema);
    name_free(st.table);
    if (st.col_specs.size() > max_columns)
        fail(1792);
    std::set<std::string> names;
    std::vector<otype> types;
    for (const auto &c : st.col_specs) {
        column_name_allowed(c.name);
        if (!names.insert(c.name).second)
            fail(957);
        types.push_back(type_from_spec(c.type));
    }
    run(db_, "INSERT INTO ocs_obj(name, type, status, created) VALUES(?, 'TABLE', 'VALID', ?)",
        {st.table, now_text_public()});
    std::string sql = "CREATE TABLE " + sql_table_name(st.table) + " (";
    for (size_t i = 0; i < st.col_specs.size(); ++i) {
        const column_spec &c = st.col_specs[i];
        otype t = types[i];
        sql += (i ? ", \"" : "\"") + sql_column_name(c.name) + "\" " + column_sql_type(t);
        add_column_row(st.table, int(i + 1), c, t);
    }
    exec(sql + ")");
    tables_.erase(st.table);
    for (const auto &c : st.cons)
        add_constraint(st.table, c);
}

// the upper-case ROWID names the pseudo-column, quoted or not, so no column may carry it
void session::column_name_allowed(const std::string &name)
{
    if (name == "ROWID")
        fail(904, {"\"ROWID\""});
}

void session::add_column_row(const std::string &table, int pos, const column_spec &c,
                             const otype &t)
{
    bool text = t.name == "VARCHAR2" || t.name == "CHAR" || t.name == "NVARCHAR2" ||
                t.name == "NCHAR";
    std::string prec = t.name == "FLOAT" ? std::to_string(t.len)
                       : t.prec >= 0     ? std::to_string(t.prec)
                                         : "";
    std::string scale = catalogue_scale(t);
    std::string char_used = !text ? "" : (t.is_national() || t.char_sem) ? "C" : "B";
    otype with_size = t;
    run(db_,
        "INSERT INTO ocs_col(tab, pos, name, type, len, prec, scale, char_len, char_used, "
        "nullable, def, comments, decl, csem) VALUES(?,?,?,?,?,?,?,?,?,?,?,NULL,?,?)",
        {table, std::to_string(pos), c.name, display_type(t), std::to_string(with_size.data_size()),
         prec, scale, std::to_string(text ? t.len : 0), char_used,
         c.nullability == 2 ? "N" : "Y", c.default_text, std::to_string(t.len),
         t.char_sem ? "1" : "0"},
        {false, false, false, false, false, prec.empty(), scale.empty(), false, char_used.empty(),
         false, !c.has_default, false, false});
}

std::string session::now_text_public()
{
    sqlite3_stmt *st = prepared("SELECT ocs_sysdate()");
    sqlite3_step(st);
    std::string v = reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
    sqlite3_reset(st);
    return v;
}

void session::add_constraint(const std::string &table_name, const constraint_spec &c)
{
    auto t = table(table_name);
    if (!t)
        fail(942);
    for (const auto &col : c.cols)
        if (t->find(col) < 0)
            fail(904, {"\"" + col + "\""});
    if (c.type == 'C') {
        // not enforced, but listed and holding its name in the schema as Oracle's does
        std::string name = c.name.empty() ? generated_name() : c.name;
        if (!rows_of(db_, "SELECT 1 FROM ocs_cons WHERE name=?", {name}).empty())
            fail(2264);
        run(db_,
            "INSERT INTO ocs_cons(name, type, tab, r_cons, delete_rule, generated, index_name) "
            "VALUES(?, 'C', ?, NULL, NULL, ?, NULL)",
            {name, table_name, c.name.empty() ? "GENERATED NAME" : "USER NAME"});
        for (size_t i = 0; i < c.cols.size(); ++i)
            run(db_, "INSERT INTO ocs_conscol VALUES(?,?,?,?)",
                {name, table_name, std::to_string(i + 1), c.cols[i]});
        tables_.clear();
        return;
    }
    if (c.type == 'P' || c.type == 'U')
        for (const auto &col : c.cols)
            if (t->cols[t->find(col)].t.is_lob())
                fail(2329);
    std::string name = c.name.empty() ? generated_name() : c.name;
    if (!rows_of(db_, "SELECT 1 FROM ocs_cons WHERE name=?", {name}).empty())
        fail(2264);
    std::string r_cons;
    if (c.type == 'P' || c.type == 'U') {
        std::set<std::string> cols = as_set(c.cols);
        for (const auto &k : t->own) {
            if (c.type == 'P' && k.type == 'P')
                fail(2260);
            if ((k.type == 'P' || k.type == 'U') && as_set(k.cols) == cols)
                fail(2261);
        }
        std::string by;
        std::string not_all_null;
        for (size_t i = 0; i < c.cols.size(); ++i) {
            std::string q = "\"" + sql_column_name(c.cols[i]) + "\"";
            by += (i ? ", " : "") + q;
            not_all_null += (i ? " OR " : "") + q + " IS NOT NULL";
            if (c.type == 'P' &&
                exists("SELECT 1 FROM " + t->sqlname + " WHERE " + q + " IS NULL LIMIT 1", {}))
                fail(1449);
        }
        if (exists("SELECT 1 FROM " + t->sqlname + " WHERE " + not_all_null + " GROUP BY " + by +
                       " HAVING COUNT(*) > 1 LIMIT 1",
                   {}))
            fail(c.type == 'P' ? 2437 : 2299, {qualified_constraint(name)});
        if (c.type == 'P')
            for (const auto &col : c.cols)
                run(db_, "UPDATE ocs_col SET nullable='N' WHERE tab=? AND name=?",
                    {table_name, col});
    } else {
        auto parent = table(c.r_table);
        if (!parent)
            fail(942);
        std::vector<std::string> r_cols = c.r_cols;
        const constraint_def *match = nullptr;
        if (r_cols.empty()) {
            for (const auto &k : parent->own)
                if (k.type == 'P')
                    match = &k;
            if (!match)
                throw ora_error(2268, "ORA-02268: referenced table does not have a primary key");
            r_cols = match->cols;
        } else {
            for (const auto &col : r_cols)
                if (parent->find(col) < 0)
                    fail(904, {"\"" + col + "\""});
            for (const auto &k : parent->own)
                if ((k.type == 'P' || k.type == 'U') && as_set(k.cols) == as_set(r_cols))
                    match = &k;
        }
        if (r_cols.size() != c.cols.size())
            fail(2256);
        if (!match)
            fail(2270);
        r_cons = match->name;
        // the referenced columns in the order of the key
        std::vector<std::string> key_cols = match->cols;
        std::vector<std::string> child_cols(key_cols.size());
        for (size_t i = 0; i < key_cols.size(); ++i) {
            size_t j = std::find(r_cols.begin(), r_cols.end(), key_cols[i]) - r_cols.begin();
            child_cols[i] = c.cols[j];
        }
        std::string where, join;
        for (size_t i = 0; i < key_cols.size(); ++i) {
            std::string cc = "c.\"" + sql_column_name(child_cols[i]) + "\"";
            where += (i ? " AND " : "") + cc + " IS NOT NULL";
            join += (i ? " AND " : "") + std::string("p.\"") + sql_column_name(key_cols[i]) +
                    "\" = " + cc;
        }
        if (exists("SELECT 1 FROM " + t->sqlname + " c WHERE " + where + " AND NOT EXISTS (SELECT 1 FROM " +
                       parent->sqlname + " p WHERE " + join + ") LIMIT 1",
                   {}))
            fail(2298, {qualified_constraint(name)});
        run(db_,
            "INSERT INTO ocs_cons(name, type, tab, r_cons, delete_rule, generated, index_name) "
            "VALUES(?, 'R', ?, ?, ?, ?, NULL)",
            {name, table_name, r_cons, c.delete_rule.empty() ? "NO ACTION" : c.delete_rule,
             c.name.empty() ? "GENERATED NAME" : "USER NAME"});
        for (size_t i = 0; i < child_cols.size(); ++i)
            run(db_, "INSERT INTO ocs_conscol VALUES(?,?,?,?)",
                {name, table_name, std::to_string(i + 1), child_cols[i]});
        tables_.clear();
        return;
    }
    // an index with exactly these columns backs the key, else one of the key's name is made
    std::string index_name;
    for (const auto &r : rows_of(db_, "SELECT name FROM ocs_idx WHERE tab=?", {table_name})) {
        std::vector<std::string> cols;
        for (const auto &cr :
             rows_of(db_, "SELECT col FROM ocs_idxcol WHERE idx=? ORDER BY pos", {r[0]}))
            cols.push_back(cr[0]);
        if (cols == c.cols)
            index_name = r[0];
    }
    if (index_name.empty()) {
        if (!rows_of(db_, "SELECT 1 FROM ocs_idx WHERE name=?", {name}).empty())
            fail(955);
        index_name = name;
        make_index(table_name, name, c.cols, true, c.name.empty());
    }
    run(db_,
        "INSERT INTO ocs_cons(name, type, tab, r_cons, delete_rule, generated, index_name) "
        "VALUES(?, ?, ?, NULL, NULL, ?, ?)",
        {name, std::string(1, c.type), table_name, c.name.empty() ? "GENERATED NAME" : "USER NAME",
         index_name});
    for (size_t i = 0; i < c.cols.size(); ++i)
        run(db_, "INSERT INTO ocs_conscol VALUES(?,?,?,?)",
            {name, table_name, std::to_string(i + 1), c.cols[i]});
    tables_.clear();
}

void session::make_index(const std::string &table_name, const std::string &name,
                         const std::vector<std::string> &cols, bool unique, bool generated)
{
    run(db_, "INSERT INTO ocs_idx VALUES(?,?,?,?)",
        {name, table_name, unique ? "UNIQUE" : "NONUNIQUE", generated ? "Y" : "N"});
    run(db_, "INSERT INTO ocs_obj(name, type, status, created) VALUES(?, 'INDEX', 'VALID', ?)",
        {name, now_text_public()});
    std::string list;
    for (size_t i = 0; i < cols.size(); ++i) {
        run(db_, "INSERT INTO ocs_idxcol VALUES(?,?,?,?)",
            {name, table_name, std::to_string(i + 1), cols[i]});
        list += (i ? ", \"" : "\"") + sql_column_name(cols[i]) + "\"";
    }
    exec("CREATE INDEX " + index_sql_name(name) + " ON " + sql_table_name(table_name) + " (" +
         list + ")");
}

void session::create_index(const statement &st)
{
    check_schema(st.schema);
    auto t = table_or_fail("", st.table);
    if (!rows_of(db_, "SELECT 1 FROM ocs_idx WHERE name=?", {st.name}).empty())
        fail(955);
    for (const auto &c : st.columns)
        if (t->find(c) < 0)
            fail(904, {"\"" + c + "\""});
    for (const auto &c : st.columns)
        if (t->cols[t->find(c)].t.is_lob())
            fail(2327);
    for (const auto &r : rows_of(db_, "SELECT name FROM ocs_idx WHERE tab=?", {st.table})) {
        std::vector<std::string> cols;
        for (const auto &cr :
             rows_of(db_, "SELECT col FROM ocs_idxcol WHERE idx=? ORDER BY pos", {r[0]}))
            cols.push_back(cr[0]);
        if (cols == st.columns)
            fail(1408);
    }
    if (st.unique) {
        std::string by, not_all_null;
        for (size_t i = 0; i < st.columns.size(); ++i) {
            std::string q = "\"" + sql_column_name(st.columns[i]) + "\"";
            by += (i ? ", " : "") + q;
            not_all_null += (i ? " OR " : "") + q + " IS NOT NULL";
        }
        if (exists("SELECT 1 FROM " + t->sqlname + " WHERE " + not_all_null + " GROUP BY " + by +
                       " HAVING COUNT(*) > 1 LIMIT 1",
                   {}))
            throw ora_error(1452, "ORA-01452: cannot CREATE UNIQUE INDEX; duplicate keys found");
    }
    make_index(st.table, st.name, st.columns, st.unique, false);
    tables_.clear();
}

void session::create_sequence(const statement &st)
{
    check_schema(st.schema);
    name_free(st.name);
    auto num = [](const std::string &s) {
        auto d = decimal::parse(s);
        if (!d || !d->is_integer())
            throw ora_error(4001, "ORA-04001: sequence parameter must be an integer");
        return *d;
    };
    decimal incr = num(st.seq_incr);
    if (incr.is_zero())
        throw ora_error(4002, "ORA-04002: INCREMENT must be a non-zero integer");
    bool up = !incr.neg;
    decimal minv = st.seq_min.empty() ? (up ? decimal::from_int(1) : *decimal::parse("-1E27"))
                                      : num(st.seq_min);
    decimal maxv = st.seq_max.empty() ? (up ? *decimal::parse("9999999999999999999999999999")
                                            : decimal::from_int(-1))
                                      : num(st.seq_max);
    decimal start = st.seq_start.empty() || (st.seq_start == "1" && !up) ? (up ? minv : maxv)
                                                                         : num(st.seq_start);
    if (minv.compare(maxv) >= 0)
        throw ora_error(4004, "ORA-04004: MINVALUE must be less than MAXVALUE");
    if (start.compare(minv) < 0)
        throw ora_error(4006, "ORA-04006: START WITH cannot be less than MINVALUE");
    if (start.compare(maxv) > 0)
        throw ora_error(4008, "ORA-04008: START WITH cannot be more than MAXVALUE");
    run(db_, "INSERT INTO ocs_seq VALUES(?,?,?,?,?,?)",
        {st.name, minv.render(), maxv.render(), incr.render(), st.seq_cycle ? "Y" : "N",
         start.render()});
    run(db_, "INSERT INTO ocs_obj(name, type, status, created) VALUES(?, 'SEQUENCE', 'VALID', ?)",
        {st.name, now_text_public()});
}

void session::create_trigger(const statement &st, exec_result &res)
{
    check_schema(st.schema);
    auto t = table(st.table);
    if (!t)
        fail(942);
    bool exists_already = !rows_of(db_, "SELECT 1 FROM ocs_trg WHERE name=?", {st.name}).empty();
    if (exists_already && !st.or_replace)
        fail(4081, {st.name});
    if (exists_already) {
        run(db_, "DELETE FROM ocs_trg WHERE name=?", {st.name});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='TRIGGER'", {st.name});
    }
    bool valid = st.trg_valid && t->find(st.trg_column) >= 0 &&
                 object_type(st.trg_sequence) == "SEQUENCE";
    run(db_, "INSERT INTO ocs_trg VALUES(?,?,?,?,?,?,?)",
        {st.name, st.table, st.trg_column, st.trg_sequence, st.trg_when_null ? "1" : "0",
         valid ? "1" : "0", st.text});
    run(db_, "INSERT INTO ocs_obj(name, type, status, created) VALUES(?, 'TRIGGER', ?, ?)",
        {st.name, valid ? "VALID" : "INVALID", now_text_public()});
    if (!valid) {
        res.info_code = 24344;
        res.info_text = message(24344);
    }
}

void session::create_view(const statement &st)
{
    check_schema(st.schema);
    std::string type = object_type(st.table);
    if (!type.empty() && !(type == "VIEW" && st.or_replace))
        fail(955);
    if (is_catalogue_view(st.table))
        fail(955);
    translator tr(*this, nullptr);
    translator::query q = tr.select(*st.query, nullptr, false);
    if (!st.columns.empty() && st.columns.size() != q.cols.size())
        throw ora_error(1730, "ORA-01730: invalid number of column names specified");
    std::set<std::string> seen;
    std::string cols;
    for (size_t i = 0; i < q.cols.size(); ++i) {
        std::string n = st.columns.empty() ? q.cols[i].name : st.columns[i];
        if (!seen.insert(n).second)
            fail(957);
        cols += (i ? "\n" : "") + n;
    }
    if (type == "VIEW") {
        run(db_, "DELETE FROM ocs_view WHERE name=?", {st.table});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='VIEW'", {st.table});
    }
    run(db_, "INSERT INTO ocs_view VALUES(?,?,?)", {st.table, st.text, cols});
    run(db_, "INSERT INTO ocs_obj(name, type, status, created) VALUES(?, 'VIEW', 'VALID', ?)",
        {st.table, now_text_public()});
}

void session::alter_modify(const statement &st)
{
    auto t = table_or_fail(st.schema, st.table);
    bool has_rows = exists("SELECT 1 FROM " + t->sqlname + " LIMIT 1", {});
    for (const auto &c : st.col_specs) {
        int k = t->find(c.name);
        if (k < 0)
            fail(904, {"\"" + c.name + "\""});
        const column_def &old = t->cols[k];
        std::string sqlcol = "\"" + old.sqlname + "\"";
        if (!c.type.name.empty()) {
            otype nt = type_from_spec(c.type);
            nt.nullable = old.t.nullable;
            bool same_family = column_sql_type(nt) == column_sql_type(old.t) &&
                               nt.is_lob() == old.t.is_lob() && nt.is_date() == old.t.is_date();
            if (!same_family && has_rows &&
                exists("SELECT 1 FROM " + t->sqlname + " WHERE " + sqlcol + " IS NOT NULL LIMIT 1",
                       {}))
                throw ora_error(1439,
                                "ORA-01439: column to be modified must be empty to change datatype");
            // every stored value must still fit
            std::vector<long long> ids = rowids("SELECT rowid FROM " + t->sqlname, {});
            column_def nc = old;
            nc.t = nt;
            for (long long id : ids) {
                std::vector<value> row = load_row(*t, id);
                try {
                    stored(row[k], nc, *t);
                } catch (const ora_error &e) {
                    if (e.code() == 12899)
                        fail(1441);
                    if (e.code() == 1438)
                        fail(1440);
                    throw;
                }
            }
            bool text = nt.name == "VARCHAR2" || nt.name == "CHAR" || nt.name == "NVARCHAR2" ||
                        nt.name == "NCHAR";
            std::string prec = nt.name == "FLOAT" ? std::to_string(nt.len)
                               : nt.prec >= 0     ? std::to_string(nt.prec)
                                                  : "";
            std::string scale = catalogue_scale(nt);
            std::string char_used = !text ? "" : (nt.is_national() || nt.char_sem) ? "C" : "B";
            run(db_,
                "UPDATE ocs_col SET type=?, len=?, prec=?, scale=?, char_len=?, char_used=?, "
                "decl=?, csem=? WHERE tab=? AND name=?",
                {display_type(nt), std::to_string(nt.data_size()), prec, scale,
                 std::to_string(text ? nt.len : 0), char_used, std::to_string(nt.len),
                 nt.char_sem ? "1" : "0", t->name, c.name},
                {false, false, prec.empty(), scale.empty(), false, char_used.empty(), false, false,
                 false, false});
        }
        if (c.has_default)
            run(db_, "UPDATE ocs_col SET def=? WHERE tab=? AND name=?",
                {c.default_text, t->name, c.name});
        if (c.nullability == 1) {
            bool in_pk = false;
            for (const auto &kc : t->own)
                if (kc.type == 'P' && std::find(kc.cols.begin(), kc.cols.end(), c.name) != kc.cols.end())
                    in_pk = true;
            if (old.t.nullable || in_pk)
                fail(1451);
            run(db_, "UPDATE ocs_col SET nullable='Y' WHERE tab=? AND name=?", {t->name, c.name});
        } else if (c.nullability == 2) {
            if (!old.t.nullable)
                fail(1442);
            if (exists("SELECT 1 FROM " + t->sqlname + " WHERE " + sqlcol + " IS NULL LIMIT 1", {}))
                fail(2296, {qualified_constraint(generated_name())});
            run(db_, "UPDATE ocs_col SET nullable='N' WHERE tab=? AND name=?", {t->name, c.name});
        }
    }
    tables_.clear();
}

void session::alter_add_columns(const statement &st)
{
    auto t = table_or_fail(st.schema, st.table);
    bool has_rows = exists("SELECT 1 FROM " + t->sqlname + " LIMIT 1", {});
    int pos = int(t->cols.size());
    if (t->cols.size() + st.col_specs.size() > max_columns)
        fail(1792);
    for (const auto &c : st.col_specs) {
        column_name_allowed(c.name);
        if (t->find(c.name) >= 0)
            fail(1430);
        otype nt = type_from_spec(c.type);
        if (c.nullability == 2 && has_rows && !c.has_default)
            throw ora_error(1758,
                            "ORA-01758: table must be empty to add mandatory (NOT NULL) column");
        exec("ALTER TABLE " + t->sqlname + " ADD COLUMN \"" + sql_column_name(c.name) + "\" " +
             column_sql_type(nt));
        add_column_row(t->name, ++pos, c, nt);
        tables_.clear();
        if (c.has_default && has_rows) {
            auto nt_def = table(t->name);
            int k = nt_def->find(c.name);
            value v = stored(evaluate(c.default_expr, nullptr), nt_def->cols[k], *nt_def);
            sqlite3_stmt *up = prepared("UPDATE " + t->sqlname + " SET \"" +
                                        sql_column_name(c.name) + "\"=?1");
            bind_value(up, 1, v);
            sqlite3_step(up);
            sqlite3_reset(up);
        }
    }
    tables_.clear();
}

void session::drop_constraint(const statement &st)
{
    auto t = table_or_fail(st.schema, st.table);
    std::string name = st.name;
    if (st.object_type == "PRIMARY")
        for (const auto &k : t->own)
            if (k.type == 'P')
                name = k.name;
    auto r = rows_of(db_, "SELECT type, index_name FROM ocs_cons WHERE name=? AND tab=?",
                     {name, t->name});
    if (r.empty())
        fail(2443);
    for (const auto &k : t->children)
        if (k.r_cons == name)
            throw ora_error(2273,
                            "ORA-02273: this unique/primary key is referenced by some foreign keys");
    run(db_, "DELETE FROM ocs_cons WHERE name=?", {name});
    run(db_, "DELETE FROM ocs_conscol WHERE cons=?", {name});
    if (r[0][1] == name) {
        run(db_, "DELETE FROM ocs_idx WHERE name=?", {name});
        run(db_, "DELETE FROM ocs_idxcol WHERE idx=?", {name});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='INDEX'", {name});
        exec("DROP INDEX IF EXISTS " + index_sql_name(name));
    }
    tables_.clear();
}

void session::drop(const statement &st)
{
    if (!st.schema.empty() && st.schema != user_)
        fail(942);
    const std::string &n = st.table;
    if (st.object_type == "TABLE") {
        auto t = table(n);
        if (!t)
            fail(942);
        std::vector<std::string> foreign;
        for (const auto &k : t->children)
            if (k.table != n)
                foreign.push_back(k.name);
        if (!foreign.empty() && !st.cascade)
            fail(2449);
        for (const auto &f : foreign) {
            run(db_, "DELETE FROM ocs_cons WHERE name=?", {f});
            run(db_, "DELETE FROM ocs_conscol WHERE cons=?", {f});
        }
        for (const auto &r : rows_of(db_, "SELECT name FROM ocs_idx WHERE tab=?", {n}))
            run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='INDEX'", {r[0]});
        for (const auto &r : rows_of(db_, "SELECT name FROM ocs_trg WHERE tab=?", {n}))
            run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='TRIGGER'", {r[0]});
        run(db_, "DELETE FROM ocs_idx WHERE tab=?", {n});
        run(db_, "DELETE FROM ocs_idxcol WHERE tab=?", {n});
        run(db_, "DELETE FROM ocs_trg WHERE tab=?", {n});
        run(db_, "DELETE FROM ocs_conscol WHERE cons IN (SELECT name FROM ocs_cons WHERE tab=?)",
            {n});
        run(db_, "DELETE FROM ocs_cons WHERE tab=?", {n});
        run(db_, "DELETE FROM ocs_col WHERE tab=?", {n});
        run(db_, "DELETE FROM ocs_tabcom WHERE tab=?", {n});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='TABLE'", {n});
        exec("DROP TABLE " + t->sqlname);
    } else if (st.object_type == "VIEW") {
        if (object_type(n) != "VIEW")
            fail(942);
        run(db_, "DELETE FROM ocs_view WHERE name=?", {n});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='VIEW'", {n});
    } else if (st.object_type == "SEQUENCE") {
        if (object_type(n) != "SEQUENCE")
            fail(2289);
        run(db_, "DELETE FROM ocs_seq WHERE name=?", {n});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='SEQUENCE'", {n});
    } else if (st.object_type == "INDEX") {
        if (rows_of(db_, "SELECT 1 FROM ocs_idx WHERE name=?", {n}).empty())
            fail(1418);
        if (!rows_of(db_, "SELECT 1 FROM ocs_cons WHERE index_name=?", {n}).empty())
            fail(2429);
        run(db_, "DELETE FROM ocs_idx WHERE name=?", {n});
        run(db_, "DELETE FROM ocs_idxcol WHERE idx=?", {n});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='INDEX'", {n});
        exec("DROP INDEX IF EXISTS " + index_sql_name(n));
    } else {
        if (rows_of(db_, "SELECT 1 FROM ocs_trg WHERE name=?", {n}).empty())
            fail(4080, {n});
        run(db_, "DELETE FROM ocs_trg WHERE name=?", {n});
        run(db_, "DELETE FROM ocs_obj WHERE name=? AND type='TRIGGER'", {n});
    }
    tables_.clear();
}

void session::comment(const statement &st)
{
    if (!st.schema.empty() && st.schema != user_)
        fail(942);
    std::string type = object_type(st.table);
    if (type != "TABLE" && type != "VIEW")
        fail(942);
    if (st.object_type == "COLUMN") {
        auto t = table(st.table);
        if (!t || t->find(st.name) < 0)
            fail(904, {"\"" + st.name + "\""});
        run(db_, "UPDATE ocs_col SET comments=? WHERE tab=? AND name=?",
            {st.text, st.table, st.name}, {st.text.empty(), false, false});
    } else {
        run(db_, "INSERT OR REPLACE INTO ocs_tabcom VALUES(?,?)", {st.table, st.text},
            {false, st.text.empty()});
    }
}

} // namespace ocs
