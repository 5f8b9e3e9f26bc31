#include "ocs_query.hpp"

#include "ocs_util.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <ctime>

namespace ocs
{

struct source
{
    std::string alias;      // the name a qualifier matches
    std::string sql_alias;  // s1, s2 ...
    std::vector<out_column> cols;
    std::vector<std::string> sqlcols;
    std::shared_ptr<session::table_def> table;
};

struct scope
{
    std::vector<source> srcs;
    const scope *parent = nullptr;
};

namespace
{

// ---- the catalogue views

struct cat_col
{
    const char *name;
    const char *type;  // VARCHAR2 NUMBER LONG DATE
    int len;
    const char *sql;
};

struct cat_view
{
    const char *name;
    std::vector<cat_col> cols;
    const char *from;
};

const std::vector<cat_view> &cat_views()
{
    static const std::vector<cat_view> v = {
        {"USER_TABLES",
         {{"TABLE_NAME", "VARCHAR2", 128, "o.name"},
          {"TABLESPACE_NAME", "VARCHAR2", 30, "'USERS'"},
          {"STATUS", "VARCHAR2", 8, "'VALID'"},
          {"NUM_ROWS", "NUMBER", 0, "NULL"},
          {"TEMPORARY", "VARCHAR2", 1, "'N'"},
          {"NESTED", "VARCHAR2", 3, "'NO'"},
          {"IOT_TYPE", "VARCHAR2", 12, "NULL"},
          {"PARTITIONED", "VARCHAR2", 3, "'NO'"},
          {"DROPPED", "VARCHAR2", 3, "'NO'"}},
         "ocs_obj o WHERE o.type='TABLE'"},
        {"USER_TAB_COLUMNS",
         {{"TABLE_NAME", "VARCHAR2", 128, "c.tab"},
          {"COLUMN_NAME", "VARCHAR2", 128, "c.name"},
          {"DATA_TYPE", "VARCHAR2", 128, "c.type"},
          {"DATA_TYPE_MOD", "VARCHAR2", 3, "NULL"},
          {"DATA_LENGTH", "NUMBER", 0, "c.len"},
          {"DATA_PRECISION", "NUMBER", 0, "c.prec"},
          {"DATA_SCALE", "NUMBER", 0, "c.scale"},
          {"NULLABLE", "VARCHAR2", 1, "c.nullable"},
          {"COLUMN_ID", "NUMBER", 0, "c.pos"},
          {"DEFAULT_LENGTH", "NUMBER", 0, "length(c.def)"},
          {"DATA_DEFAULT", "LONG", 0, "c.def"},
          {"CHAR_LENGTH", "NUMBER", 0, "c.char_len"},
          {"CHAR_USED", "VARCHAR2", 1, "c.char_used"}},
         "ocs_col c"},
        {"USER_COL_COMMENTS",
         {{"TABLE_NAME", "VARCHAR2", 128, "c.tab"},
          {"COLUMN_NAME", "VARCHAR2", 128, "c.name"},
          {"COMMENTS", "VARCHAR2", 4000, "c.comments"}},
         "ocs_col c"},
        {"USER_TAB_COMMENTS",
         {{"TABLE_NAME", "VARCHAR2", 128, "o.name"},
          {"TABLE_TYPE", "VARCHAR2", 11, "o.type"},
          {"COMMENTS", "VARCHAR2", 4000, "(SELECT comments FROM ocs_tabcom t WHERE t.tab=o.name)"}},
         "ocs_obj o WHERE o.type IN ('TABLE','VIEW')"},
        {"USER_CONSTRAINTS",
         {{"OWNER", "VARCHAR2", 128, "%USER%"},
          {"CONSTRAINT_NAME", "VARCHAR2", 128, "k.name"},
          {"CONSTRAINT_TYPE", "VARCHAR2", 1, "k.type"},
          {"TABLE_NAME", "VARCHAR2", 128, "k.tab"},
          {"SEARCH_CONDITION", "LONG", 0, "NULL"},
          {"R_OWNER", "VARCHAR2", 128, "CASE WHEN k.type='R' THEN %USER% END"},
          {"R_CONSTRAINT_NAME", "VARCHAR2", 128, "k.r_cons"},
          {"DELETE_RULE", "VARCHAR2", 9, "k.delete_rule"},
          {"STATUS", "VARCHAR2", 8, "'ENABLED'"},
          {"DEFERRABLE", "VARCHAR2", 14, "'NOT DEFERRABLE'"},
          {"VALIDATED", "VARCHAR2", 13, "'VALIDATED'"},
          {"GENERATED", "VARCHAR2", 14, "k.generated"},
          {"INDEX_NAME", "VARCHAR2", 128, "k.index_name"}},
         "ocs_cons k"},
        {"USER_CONS_COLUMNS",
         {{"OWNER", "VARCHAR2", 128, "%USER%"},
          {"CONSTRAINT_NAME", "VARCHAR2", 128, "k.cons"},
          {"TABLE_NAME", "VARCHAR2", 128, "k.tab"},
          {"COLUMN_NAME", "VARCHAR2", 4000, "k.col"},
          {"POSITION", "NUMBER", 0, "k.pos"}},
         "ocs_conscol k"},
        {"USER_INDEXES",
         {{"INDEX_NAME", "VARCHAR2", 128, "i.name"},
          {"INDEX_TYPE", "VARCHAR2", 27, "'NORMAL'"},
          {"TABLE_OWNER", "VARCHAR2", 128, "%USER%"},
          {"TABLE_NAME", "VARCHAR2", 128, "i.tab"},
          {"TABLE_TYPE", "VARCHAR2", 11, "'TABLE'"},
          {"UNIQUENESS", "VARCHAR2", 9, "i.uniq"},
          {"STATUS", "VARCHAR2", 8, "'VALID'"},
          {"GENERATED", "VARCHAR2", 1, "i.generated"}},
         "ocs_idx i"},
        {"USER_IND_COLUMNS",
         {{"INDEX_NAME", "VARCHAR2", 128, "i.idx"},
          {"TABLE_NAME", "VARCHAR2", 128, "i.tab"},
          {"COLUMN_NAME", "VARCHAR2", 4000, "i.col"},
          {"COLUMN_POSITION", "NUMBER", 0, "i.pos"},
          {"DESCEND", "VARCHAR2", 4, "'ASC'"}},
         "ocs_idxcol i"},
        {"USER_SEQUENCES",
         {{"SEQUENCE_NAME", "VARCHAR2", 128, "q.name"},
          {"MIN_VALUE", "NUMBER", 0, "q.minv"},
          {"MAX_VALUE", "NUMBER", 0, "q.maxv"},
          {"INCREMENT_BY", "NUMBER", 0, "q.incr"},
          {"CYCLE_FLAG", "VARCHAR2", 1, "q.cyc"},
          {"ORDER_FLAG", "VARCHAR2", 1, "'Y'"},
          {"CACHE_SIZE", "NUMBER", 0, "0"},
          {"LAST_NUMBER", "NUMBER", 0, "q.next"}},
         "ocs_seq q"},
        {"USER_OBJECTS",
         {{"OBJECT_NAME", "VARCHAR2", 128, "o.name"},
          {"SUBOBJECT_NAME", "VARCHAR2", 128, "NULL"},
          {"OBJECT_ID", "NUMBER", 0, "o.id"},
          {"OBJECT_TYPE", "VARCHAR2", 23, "o.type"},
          {"CREATED", "DATE", 0, "o.created"},
          {"STATUS", "VARCHAR2", 7, "o.status"},
          {"TEMPORARY", "VARCHAR2", 1, "'N'"},
          {"GENERATED", "VARCHAR2", 1, "'N'"}},
         "ocs_obj o"},
        {"USER_VIEWS",
         {{"VIEW_NAME", "VARCHAR2", 128, "v.name"},
          {"TEXT_LENGTH", "NUMBER", 0, "length(v.text)"},
          {"TEXT", "LONG", 0, "v.text"}},
         "ocs_view v"},
        {"ALL_VIEWS",
         {{"OWNER", "VARCHAR2", 128, "%USER%"},
          {"VIEW_NAME", "VARCHAR2", 128, "v.name"},
          {"TEXT_LENGTH", "NUMBER", 0, "length(v.text)"},
          {"TEXT", "LONG", 0, "v.text"}},
         "ocs_view v"},
        {"USER_TRIGGERS",
         {{"TRIGGER_NAME", "VARCHAR2", 128, "g.name"},
          {"TRIGGER_TYPE", "VARCHAR2", 16, "'BEFORE EACH ROW'"},
          {"TRIGGERING_EVENT", "VARCHAR2", 246, "'INSERT'"},
          {"TABLE_NAME", "VARCHAR2", 128, "g.tab"},
          {"STATUS", "VARCHAR2", 8, "'ENABLED'"},
          {"TRIGGER_BODY", "LONG", 0, "g.text"}},
         "ocs_trg g"},
        {"ALL_TABLES",
         {{"OWNER", "VARCHAR2", 128, "%USER%"}, {"TABLE_NAME", "VARCHAR2", 128, "o.name"}},
         "ocs_obj o WHERE o.type='TABLE'"},
        {"V$VERSION", {{"BANNER", "VARCHAR2", 80, "b.banner"}}, "temp.ocs_banner b"},
        {"DUAL", {{"DUMMY", "VARCHAR2", 1, "'X'"}}, ""},
    };
    return v;
}

const cat_view *find_cat(const std::string &name)
{
    for (const cat_view &v : cat_views())
        if (name == v.name)
            return &v;
    return nullptr;
}

otype cat_type(const cat_col &c)
{
    otype t;
    t.name = c.type;
    t.len = c.len;
    return t;
}

std::string replace_all(std::string s, const std::string &from, const std::string &to)
{
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

// ---- SQLite functions

std::string arg_text(sqlite3_value *v)
{
    const unsigned char *t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char *>(t), sqlite3_value_bytes(v)) : "";
}

void result_error(sqlite3_context *ctx, const ora_error &e)
{
    sqlite3_result_error(ctx, e.what(), -1);
}

std::optional<decimal> number_of(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return decimal::from_int(sqlite3_value_int64(v));
    case SQLITE_FLOAT: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(v));
        return decimal::parse(buf);
    }
    default:
        return decimal::parse(arg_text(v));
    }
}

void fn_rowid(sqlite3_context *ctx, int, sqlite3_value **a)
{
    std::string r = encode_rowid(sqlite3_value_int64(a[0]), sqlite3_value_int64(a[1]));
    sqlite3_result_text(ctx, r.c_str(), int(r.size()), SQLITE_TRANSIENT);
}

// the result of || is VARCHAR2 of at most 4000 bytes, NVARCHAR2 of at most 2000 utf-16
// units when a side is national text, a CLOB without limit when a side is a CLOB
enum class concat_kind { text, national, clob };

void concat(sqlite3_context *ctx, int n, sqlite3_value **a, concat_kind kind);

void fn_concat(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    concat(ctx, n, a, concat_kind::text);
}

void fn_nconcat(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    concat(ctx, n, a, concat_kind::national);
}

void fn_lconcat(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    concat(ctx, n, a, concat_kind::clob);
}

void concat(sqlite3_context *ctx, int n, sqlite3_value **a, concat_kind kind)
{
    std::string r;
    for (int i = 0; i < n; ++i) {
        if (sqlite3_value_type(a[i]) == SQLITE_NULL)
            continue;
        if (sqlite3_value_type(a[i]) == SQLITE_BLOB) {
            r += hex_encode(std::string(static_cast<const char *>(sqlite3_value_blob(a[i])),
                                        sqlite3_value_bytes(a[i])));
        } else if (sqlite3_value_type(a[i]) != SQLITE_TEXT) {
            auto d = number_of(a[i]);
            r += d ? d->render() : arg_text(a[i]);
        } else {
            r += arg_text(a[i]);
        }
    }
    if ((kind == concat_kind::text && r.size() > 4000) ||
        (kind == concat_kind::national && utf16_length(r) > 2000)) {
        sqlite3_result_error(ctx, message(1489).c_str(), -1);
        return;
    }
    if (r.empty())
        sqlite3_result_null(ctx);
    else
        sqlite3_result_text(ctx, r.c_str(), int(r.size()), SQLITE_TRANSIENT);
}

// TO_DATE, and TO_TIMESTAMP where the function's data is not null
void fn_to_date(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const bool timestamp = sqlite3_user_data(ctx) != nullptr;
    try {
        std::string text = arg_text(a[0]);
        datetime d = to_date(text, n > 1 ? arg_text(a[1]) : "DD-MON-RR", timestamp);
        std::string r = d.text(timestamp);
        sqlite3_result_text(ctx, r.c_str(), int(r.size()), SQLITE_TRANSIENT);
    } catch (const ora_error &e) {
        result_error(ctx, e);
    }
}

void fn_hextoraw(sqlite3_context *ctx, int, sqlite3_value **a)
{
    if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    auto b = hex_decode(arg_text(a[0]));
    if (!b) {
        sqlite3_result_error(ctx, message(1465).c_str(), -1);
        return;
    }
    sqlite3_result_blob(ctx, b->data(), int(b->size()), SQLITE_TRANSIENT);
}

void fn_to_number(sqlite3_context *ctx, int, sqlite3_value **a)
{
    if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    auto d = number_of(a[0]);
    if (!d) {
        sqlite3_result_error(ctx, message(1722).c_str(), -1);
        return;
    }
    std::string r = d->render();
    sqlite3_result_text(ctx, r.c_str(), int(r.size()), SQLITE_TRANSIENT);
}

// TO_CHAR(number, mask) for the elements 9, 0, ',' or G, '.' or D and the FM prefix; an
// empty result for any other mask (ORA-01481)
std::optional<std::string> number_with_mask(const decimal &value, std::string mask)
{
    bool fm = mask.compare(0, 2, "FM") == 0;
    if (fm)
        mask.erase(0, 2);
    const size_t point = mask.find_first_of(".D");
    const std::string whole = mask.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : mask.substr(point + 1);
    if (mask.empty() || whole.find_first_not_of("90,G") != std::string::npos ||
        fraction.find_first_not_of("90") != std::string::npos)
        return std::nullopt;

    const int scale = int(fraction.size());
    const decimal r = value.rounded(scale);
    auto digit_at = [&](int i) { return i >= 0 && i < int(r.digits.size()) ? r.digits[i] : '0'; };
    std::string int_digits;
    for (int i = 0; i < r.integer_digits(); ++i)
        int_digits += digit_at(i);
    const size_t positions = std::count_if(whole.begin(), whole.end(),
                                           [](char c) { return c == '9' || c == '0'; });
    if (int_digits.size() > positions)
        return std::string(mask.size() + 1, '#');

    // leading zeros from the first 0 of the mask on
    const size_t need = positions - int_digits.size();
    size_t first_zero = std::string::npos, p = 0;
    for (char c : whole) {
        if (c == '0' && first_zero == std::string::npos)
            first_zero = p;
        if (c == '9' || c == '0')
            ++p;
    }
    std::string body;
    bool printed = false;
    p = 0;
    for (char c : whole) {
        if (c == ',' || c == 'G') {
            if (printed)
                body += ',';
            continue;
        }
        if (p >= need) {
            body += int_digits[p - need];
            printed = true;
        } else if (first_zero != std::string::npos && p >= first_zero) {
            body += '0';
            printed = true;
        }
        ++p;
    }
    if (!printed && point == std::string::npos)
        body += '0';
    if (point != std::string::npos) {
        std::string digits;
        for (int k = 0; k < scale; ++k)
            digits += digit_at(r.integer_digits() + k);
        // FM drops the trailing zeros that stand at 9s
        if (fm)
            while (!digits.empty() && fraction[digits.size() - 1] == '9' && digits.back() == '0')
                digits.pop_back();
        body += '.' + digits;
    }
    const bool negative = r.neg && !r.is_zero();
    if (fm)
        return (negative ? "-" : "") + body;
    body.insert(0, negative ? "-" : " ");
    if (body.size() < mask.size() + 1)
        body.insert(0, mask.size() + 1 - body.size(), ' ');
    return body;
}

void fn_to_char(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string text = arg_text(a[0]);
    if (n > 1) {
        auto d = datetime::parse_iso(text);
        if (d) {
            std::string mask = upper_ascii(arg_text(a[1]));
            char buf[16];
            std::string out;
            for (size_t i = 0; i < mask.size();) {
                auto put = [&](const char *k, int v, const char *f) {
                    if (mask.compare(i, std::strlen(k), k) != 0)
                        return false;
                    std::snprintf(buf, sizeof buf, f, v);
                    out += buf;
                    i += std::strlen(k);
                    return true;
                };
                if (put("YYYY", d->year, "%04d") || put("MM", d->month, "%02d") ||
                    put("DD", d->day, "%02d") || put("HH24", d->hour, "%02d") ||
                    put("MI", d->minute, "%02d") || put("SS", d->second, "%02d"))
                    continue;
                if (mask.compare(i, 2, "FF") == 0) {
                    // FFn cuts the nine digits kept to n; FF shows them all
                    i += 2;
                    size_t digits = 9;
                    if (i < mask.size() && mask[i] >= '1' && mask[i] <= '9')
                        digits = size_t(mask[i++] - '0');
                    std::snprintf(buf, sizeof buf, "%09d", d->nano);
                    out.append(buf, digits);
                    continue;
                }
                out += mask[i++];
            }
            sqlite3_result_text(ctx, out.c_str(), int(out.size()), SQLITE_TRANSIENT);
            return;
        }
    }
    if (sqlite3_value_type(a[0]) != SQLITE_TEXT || decimal::parse(text)) {
        auto d = number_of(a[0]);
        if (d && n > 1) {
            auto masked = number_with_mask(*d, upper_ascii(arg_text(a[1])));
            if (!masked) {
                sqlite3_result_error(ctx, message(1481).c_str(), -1);
                return;
            }
            text = *masked;
        } else if (d) {
            text = d->render();
        }
    }
    sqlite3_result_text(ctx, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
}

// TO_CHAR of a BINARY_FLOAT (a[1] 1) or BINARY_DOUBLE: Oracle's text, or the number mask
// over the value's shortest digits
void fn_to_char_ieee(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const double x = sqlite3_value_double(a[0]);
    const bool single = sqlite3_value_int(a[1]) != 0;
    std::string text;
    if (n > 2) {
        const auto d = decimal::parse(ieee_stored_text(x, single));
        const auto masked =
            d ? number_with_mask(*d, upper_ascii(arg_text(a[2]))) : std::optional<std::string>();
        if (!d) {
            // an infinity fills the mask with #
            text = std::string(arg_text(a[2]).size() + 1, '#');
        } else if (!masked) {
            sqlite3_result_error(ctx, message(1481).c_str(), -1);
            return;
        } else {
            text = *masked;
        }
    } else {
        text = ieee_display_text(x, single);
    }
    sqlite3_result_text(ctx, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
}

void fn_sysdate(sqlite3_context *ctx, int, sqlite3_value **)
{
    std::time_t now = std::time(nullptr);
    std::tm tm;
    localtime_r(&now, &tm);
    datetime d;
    d.year = tm.tm_year + 1900;
    d.month = tm.tm_mon + 1;
    d.day = tm.tm_mday;
    d.hour = tm.tm_hour;
    d.minute = tm.tm_min;
    d.second = tm.tm_sec;
    std::string r = d.text();
    sqlite3_result_text(ctx, r.c_str(), int(r.size()), SQLITE_TRANSIENT);
}

void fn_seq(sqlite3_context *ctx, int, sqlite3_value **a, bool next)
{
    session *s = static_cast<session *>(sqlite3_user_data(ctx));
    try {
        std::string r = next ? s->next_value(arg_text(a[0])) : s->current_value(arg_text(a[0]));
        sqlite3_result_text(ctx, r.c_str(), int(r.size()), SQLITE_TRANSIENT);
    } catch (const ora_error &e) {
        result_error(ctx, e);
    }
}

void fn_nextval(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    fn_seq(ctx, n, a, true);
}

void fn_currval(sqlite3_context *ctx, int n, sqlite3_value **a)
{
    fn_seq(ctx, n, a, false);
}

int collate_number(void *, int la, const void *a, int lb, const void *b)
{
    std::string x(static_cast<const char *>(a), la), y(static_cast<const char *>(b), lb);
    auto dx = decimal::parse(x), dy = decimal::parse(y);
    if (dx && dy)
        return dx->compare(*dy);
    int c = x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

} // namespace

void register_functions(sqlite3 *db, session *s)
{
    sqlite3_create_collation(db, "ORANUM", SQLITE_UTF8, nullptr, collate_number);
    const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "ocs_rowid", 2, det, nullptr, fn_rowid, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_concat", -1, det, nullptr, fn_concat, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_nconcat", -1, det, nullptr, fn_nconcat, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_lconcat", -1, det, nullptr, fn_lconcat, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_to_date", -1, det, nullptr, fn_to_date, nullptr, nullptr);
    static int timestamp_mark = 1;
    sqlite3_create_function(db, "ocs_to_timestamp", -1, det, &timestamp_mark, fn_to_date,
                            nullptr, nullptr);
    sqlite3_create_function(db, "ocs_hextoraw", 1, det, nullptr, fn_hextoraw, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_to_number", 1, det, nullptr, fn_to_number, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_to_char", -1, det, nullptr, fn_to_char, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_to_char_ieee", -1, det, nullptr, fn_to_char_ieee, nullptr,
                            nullptr);
    sqlite3_create_function(db, "ocs_sysdate", 0, SQLITE_UTF8, nullptr, fn_sysdate, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_nextval", 1, SQLITE_UTF8, s, fn_nextval, nullptr, nullptr);
    sqlite3_create_function(db, "ocs_currval", 1, SQLITE_UTF8, s, fn_currval, nullptr, nullptr);
}

void create_catalogue_views(sqlite3 *db, const std::string &user)
{
    std::string sql = "CREATE TEMP TABLE IF NOT EXISTS ocs_banner(pos INTEGER, banner TEXT);";
    for (const cat_view &v : cat_views()) {
        sql += "CREATE TEMP VIEW " + sql_table_name(v.name) + " AS SELECT ";
        for (size_t i = 0; i < v.cols.size(); ++i) {
            if (i)
                sql += ", ";
            sql += replace_all(v.cols[i].sql, "%USER%", sql_quote(user)) + " AS " +
                   sql_column_name(v.cols[i].name);
        }
        if (*v.from)
            sql += std::string(" FROM ") + v.from;
        if (std::string(v.name) == "V$VERSION")
            sql += " ORDER BY b.pos";
        sql += ";";
    }
    char *err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string e = err ? err : "";
        sqlite3_free(err);
        throw std::runtime_error("ocisim catalogue: " + e);
    }
}

bool is_catalogue_view(const std::string &name)
{
    return find_cat(name) != nullptr;
}

std::vector<out_column> catalogue_columns(const std::string &name)
{
    std::vector<out_column> out;
    if (const cat_view *v = find_cat(name))
        for (const cat_col &c : v->cols)
            out.push_back({c.name, cat_type(c)});
    return out;
}

// ---- the translator

std::string translator::literal(const value &v, otype &t)
{
    switch (v.k) {
    case value::null:
        t.name = "VARCHAR2";
        return "NULL";
    case value::num:
        t.name = "NUMBER";
        return sql_quote(v.s);
    case value::date:
        t.name = "DATE";
        return sql_quote(v.s);
    case value::raw:
        t.name = "RAW";
        return "x'" + hex_encode(v.s) + "'";
    case value::empty_blob:
        t.name = "BLOB";
        return "x''";
    case value::empty_clob:
        t.name = "CLOB";
        return "''";
    case value::str:
        t.name = "CHAR";
        t.len = int(v.s.size());
        return sql_quote(v.s);
    case value::ieee:
        // SQLite reads 9e999 as an infinity
        t.name = "BINARY_DOUBLE";
        return v.s == "inf" ? "9e999" : v.s == "-inf" ? "-9e999" : v.s == "nan" ? "NULL" : v.s;
    }
    return "NULL";
}

std::string translator::add_source(scope &sc, const from_item &f)
{
    source src;
    src.sql_alias = "s" + std::to_string(++next_alias_);
    std::string from_sql;
    if (f.sub) {
        query q = select(*f.sub, nullptr, false);
        src.cols = q.cols;
        for (size_t i = 0; i < q.cols.size(); ++i)
            src.sqlcols.push_back("c" + std::to_string(i + 1));
        from_sql = "(" + q.sql + ")";
        src.alias = f.alias;
    } else {
        bool sys = f.schema == "SYS" || f.schema == "PUBLIC";
        if (!f.schema.empty() && !sys && f.schema != s_.user())
            fail(942);
        std::shared_ptr<session::table_def> t = sys ? nullptr : s_.table(f.name);
        std::string vtype = t || sys ? "" : s_.object_type(f.name);
        if (t) {
            src.table = t;
            for (const auto &c : t->cols) {
                src.cols.push_back({c.name, c.t});
                src.sqlcols.push_back(c.sqlname);
            }
            from_sql = t->sqlname;
        } else if (vtype == "VIEW") {
            if (++depth_ > 20)
                fail(942);
            sqlite3_stmt *st = nullptr;
            sqlite3_prepare_v2(s_.db_, "SELECT text, cols FROM ocs_view WHERE name=?", -1, &st,
                               nullptr);
            sqlite3_bind_text(st, 1, f.name.c_str(), -1, SQLITE_TRANSIENT);
            std::string text, cols;
            if (sqlite3_step(st) == SQLITE_ROW) {
                text = reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
                if (sqlite3_column_text(st, 1))
                    cols = reinterpret_cast<const char *>(sqlite3_column_text(st, 1));
            }
            sqlite3_finalize(st);
            auto toks = tokenize(text, s_.max_ident());
            statement vs = parse(text, toks);
            query q = select(*vs.query, nullptr, false);
            src.cols = q.cols;
            // names given to the view's columns, separated by newlines
            size_t k = 0;
            for (size_t p = 0; !cols.empty() && p <= cols.size() && k < src.cols.size(); ++k) {
                size_t e = cols.find('\n', p);
                if (e == std::string::npos)
                    e = cols.size();
                src.cols[k].name = cols.substr(p, e - p);
                p = e + 1;
            }
            for (size_t i = 0; i < q.cols.size(); ++i)
                src.sqlcols.push_back("c" + std::to_string(i + 1));
            from_sql = "(" + q.sql + ")";
            --depth_;
        } else if (is_catalogue_view(f.name) && (f.schema.empty() || sys || f.name == "DUAL")) {
            src.cols = catalogue_columns(f.name);
            for (const auto &c : src.cols)
                src.sqlcols.push_back(sql_column_name(c.name));
            from_sql = sql_table_name(f.name);
        } else {
            fail(942);
        }
        src.alias = f.alias.empty() ? f.name : f.alias;
    }
    std::string join_sql;
    if (sc.srcs.empty())
        join_sql = "";
    else if (f.join.empty())
        join_sql = ", ";
    else if (f.join == "INNER")
        join_sql = " JOIN ";
    else if (f.join == "CROSS")
        join_sql = " CROSS JOIN ";
    else if (f.join == "LEFT")
        join_sql = " LEFT JOIN ";
    else if (f.join == "RIGHT")
        join_sql = " RIGHT JOIN ";
    else
        join_sql = " FULL JOIN ";
    sc.srcs.push_back(src);
    return join_sql + from_sql + " AS " + src.sql_alias;
}


translator::query translator::select(const select_stmt &q, const scope *parent, bool top)
{
    query first = select_core(q, parent, top && !q.next);
    if (q.next) {
        const select_stmt *cur = &q;
        std::string sql = first.sql;
        while (cur->next) {
            query n = select_core(*cur->next, parent, false);
            if (n.cols.size() != first.cols.size())
                fail(1789);
            std::string op = cur->set_op == "MINUS" ? "EXCEPT" : cur->set_op;
            sql += " " + op + " " + n.sql;
            cur = cur->next.get();
        }
        first.sql = sql;
        first.lob_rowid_col.assign(first.cols.size(), -1);
    }
    if (!q.order_by.empty()) {
        // the ORDER BY belongs to the whole query: positions, select-list names or, for a
        // single select, any expression over its sources
        std::string ob;
        for (const order_item &o : q.order_by) {
            std::string item;
            if (o.e->kind == expr::num) {
                auto d = decimal::parse(o.e->text);
                auto v = d ? d->to_int128() : std::nullopt;
                if (!v || *v < 1 || *v > (__int128)first.cols.size())
                    fail(1785);
                item = "c" + std::to_string((long long)*v);
            } else if (o.e->kind == expr::column && o.e->parts.size() == 1) {
                // a select-list alias; after a set operator any select-list name
                for (size_t i = 0; i < first.cols.size() && item.empty(); ++i)
                    if (first.cols[i].name == o.e->parts[0] && (first.aliased[i] || q.next))
                        item = "c" + std::to_string(i + 1);
            }
            if (item.empty()) {
                if (q.next)
                    fail(1785);
                item = order_scope_expr(*o.e);
            }
            if (!ob.empty())
                ob += ", ";
            int nulls = o.nulls ? o.nulls : (o.desc ? 1 : 2);
            ob += item + (o.desc ? " DESC" : " ASC") + (nulls == 1 ? " NULLS FIRST" : " NULLS LAST");
        }
        first.sql += " ORDER BY " + ob;
    }
    return first;
}

translator::query translator::select_core(const select_stmt &q, const scope *parent, bool top)
{
    auto sc = std::make_shared<scope>();
    sc->parent = parent;
    std::string from;
    for (const from_item &f : q.from) {
        from += add_source(*sc, f);
        if (f.on)
            from += " ON " + expression(*f.on, sc.get()).first;
    }
    query out;
    std::string items;
    auto add_item = [&](const std::string &sql, const std::string &name, const otype &t,
                        const source *lob_src, const std::string &lob_col, bool aliased) {
        out.aliased.push_back(aliased);
        if (!items.empty())
            items += ", ";
        items += sql + " AS c" + std::to_string(out.cols.size() + 1);
        out.cols.push_back({name, t});
        out.lob_table.push_back(lob_src && t.is_lob() ? lob_src->table->sqlname : "");
        out.lob_column.push_back(lob_src && t.is_lob() ? lob_col : "");
        out.lob_rowid_col.push_back(-1);
    };
    for (const select_item &it : q.items) {
        if (!it.e) {
            bool any = false;
            for (const source &src : sc->srcs) {
                if (!it.star_qual.empty() && src.alias != it.star_qual)
                    continue;
                any = true;
                for (size_t i = 0; i < src.cols.size(); ++i)
                    add_item(src.sql_alias + ".\"" + src.sqlcols[i] + "\"", src.cols[i].name,
                             src.cols[i].t, src.table ? &src : nullptr, src.sqlcols[i], false);
            }
            if (!any)
                fail(904, {"\"" + it.star_qual + "\""});
            continue;
        }
        auto [sql, t] = expression(*it.e, sc.get());
        const source *lob_src = nullptr;
        std::string lob_col;
        if (it.e->kind == expr::column && t.is_lob()) {
            // a plain LOB column of a table: its locator points at the row
            for (const source &src : sc->srcs)
                for (size_t i = 0; src.table && i < src.cols.size(); ++i)
                    if (sql == src.sql_alias + ".\"" + src.sqlcols[i] + "\"") {
                        lob_src = &src;
                        lob_col = src.sqlcols[i];
                    }
        }
        add_item(sql, it.alias.empty() ? it.label : it.alias, t, lob_src, lob_col,
                 !it.alias.empty());
    }
    // hidden rowids of the tables whose LOB columns are selected
    bool plain = !q.distinct && q.group_by.empty() && !q.having && top;
    if (plain) {
        std::map<std::string, int> rowid_col;
        for (size_t i = 0; i < out.cols.size(); ++i) {
            if (out.lob_table[i].empty())
                continue;
            for (const source &src : sc->srcs) {
                if (!src.table || src.table->sqlname != out.lob_table[i])
                    continue;
                auto it = rowid_col.find(src.sql_alias);
                if (it == rowid_col.end()) {
                    int col = int(out.cols.size() + rowid_col.size());
                    it = rowid_col.emplace(src.sql_alias, col).first;
                    items += ", " + src.sql_alias + ".rowid";
                }
                out.lob_rowid_col[i] = it->second;
                break;
            }
        }
    }
    std::string sql = std::string("SELECT ") + (q.distinct ? "DISTINCT " : "") + items;
    sql += " FROM " + from;
    if (q.where)
        sql += " WHERE " + expression(*q.where, sc.get()).first;
    if (!q.group_by.empty()) {
        sql += " GROUP BY ";
        for (size_t i = 0; i < q.group_by.size(); ++i)
            sql += (i ? ", " : "") + expression(*q.group_by[i], sc.get()).first;
    }
    if (q.having)
        sql += " HAVING " + expression(*q.having, sc.get()).first;
    out.sql = sql;
    out.uses_sequence = uses_sequence_;
    last_scope_ = sc;
    return out;
}

std::string translator::order_scope_expr(const expr &e)
{
    return expression(e, last_scope_.get()).first;
}

std::pair<std::string, otype> translator::table_expression(
    const expr &e, const std::shared_ptr<session::table_def> &t, const std::string &oracle_alias,
    const std::string &sql_alias)
{
    auto sc = std::make_shared<scope>();
    source src;
    src.alias = oracle_alias;
    src.sql_alias = sql_alias;
    src.table = t;
    for (const auto &c : t->cols) {
        src.cols.push_back({c.name, c.t});
        src.sqlcols.push_back(c.sqlname);
    }
    sc->srcs.push_back(src);
    return expression(e, sc.get());
}

namespace
{

otype number_type()
{
    otype t;
    t.name = "NUMBER";
    return t;
}

otype text_type(int len = 4000)
{
    otype t;
    t.name = "VARCHAR2";
    t.len = len;
    return t;
}

} // namespace

std::pair<std::string, otype> translator::expression(const expr &e, const scope *sc)
{
    auto sub = [&](const expr_ptr &x) { return expression(*x, sc); };
    otype t;
    switch (e.kind) {
    case expr::str: {
        value v{value::str, e.text};
        return {literal(v, t), t};
    }
    case expr::num: {
        if (auto binary = ieee_literal(e.text)) {
            t.name = e.text.back() == 'f' || e.text.back() == 'F' ? "BINARY_FLOAT" : "BINARY_DOUBLE";
            otype ignored;
            return {literal(*binary, ignored), t};
        }
        auto d = decimal::parse(e.text);
        if (!d)
            fail(1722);
        return {sql_quote(d->render()), number_type()};
    }
    case expr::null:
        return {"NULL", text_type(0)};
    case expr::bind: {
        auto v = binds_ ? binds_(e.text) : std::nullopt;
        if (!v)
            fail(1008);
        return {literal(*v, t), t};
    }
    case expr::date_lit: {
        auto d = datetime::parse_iso(e.text);
        if (!d)
            fail(1861);
        t.name = e.timestamp ? "TIMESTAMP" : "DATE";
        return {sql_quote(d->past_calendar_gap().text(e.timestamp)), t};
    }
    case expr::column: {
        const std::string &name = e.parts.back();
        std::string qual = e.parts.size() > 1 ? e.parts[e.parts.size() - 2] : "";
        for (const scope *s = sc; s; s = s->parent) {
            std::pair<std::string, otype> found;
            int hits = 0;
            for (const source &src : s->srcs) {
                if (!qual.empty() && src.alias != qual)
                    continue;
                for (size_t i = 0; i < src.cols.size(); ++i) {
                    if (src.cols[i].name == name) {
                        found = {src.sql_alias + ".\"" + src.sqlcols[i] + "\"", src.cols[i].t};
                        ++hits;
                    }
                }
                if (hits == 0 && name == "ROWID" && src.table) {
                    found = {"ocs_rowid(" + std::to_string(src.table->objid) + ", " +
                                 src.sql_alias + ".rowid)",
                             otype{}};
                    found.second.name = "ROWID";
                    found.second.len = 18;
                    hits = 1;
                    break;
                }
            }
            if (hits > 1)
                fail(918);
            if (hits == 1)
                return found;
        }
        if (qual.empty()) {
            if (name == "SYSDATE") {
                t.name = "DATE";
                return {"ocs_sysdate()", t};
            }
            if (name == "USER")
                return {sql_quote(s_.user()), text_type(128)};
        }
        std::string shown = "\"" + name + "\"";
        if (!qual.empty())
            shown = "\"" + qual + "\"." + shown;
        fail(904, {shown});
    }
    case expr::seqval: {
        if (s_.object_type(e.parts[0]) != "SEQUENCE")
            fail(2289);
        uses_sequence_ = true;
        std::string fn = e.parts[1] == "NEXTVAL" ? "ocs_nextval" : "ocs_currval";
        return {fn + "(" + sql_quote(e.parts[0]) + ")", number_type()};
    }
    case expr::binop: {
        auto l = sub(e.args[0]);
        auto r = sub(e.args[1]);
        const std::string &op = e.text;
        if (op == "AND" || op == "OR")
            return {"(" + l.first + " " + op + " " + r.first + ")", number_type()};
        if (op == "||") {
            auto is = [&](const char *a, const char *b) {
                return l.second.name == a || l.second.name == b || r.second.name == a ||
                       r.second.name == b;
            };
            if (is("CLOB", "NCLOB")) {
                t.name = "CLOB";
                return {"ocs_lconcat(" + l.first + ", " + r.first + ")", t};
            }
            if (is("NVARCHAR2", "NCHAR")) {
                t.name = "NVARCHAR2";
                t.len = 2000;
                return {"ocs_nconcat(" + l.first + ", " + r.first + ")", t};
            }
            return {"ocs_concat(" + l.first + ", " + r.first + ")", text_type()};
        }
        if (op == "+" || op == "-" || op == "*")
            return {"(" + l.first + " " + op + " " + r.first + ")", number_type()};
        if (op == "/")
            return {"(CAST(" + l.first + " AS REAL) / " + r.first + ")", number_type()};
        // a ROWID compared with its text finds the row by its SQLite rowid
        for (int side = 0; side < 2; ++side) {
            const expr &col = *e.args[side];
            const expr &lit = *e.args[1 - side];
            auto &colsql = side == 0 ? l : r;
            if (op == "=" && col.kind == expr::column && col.parts.back() == "ROWID" &&
                colsql.second.name == "ROWID" && lit.kind == expr::str) {
                long long objid = 0, rowid = 0;
                if (!decode_rowid(lit.text, objid, rowid))
                    fail(1410);
                size_t p = colsql.first.find(", ");
                std::string alias_rowid =
                    colsql.first.substr(p + 2, colsql.first.size() - p - 3);  // "sN.rowid"
                std::string obj = colsql.first.substr(10, p - 10);
                if (std::to_string(objid) != obj)
                    return {"(0)", number_type()};
                return {"(" + alias_rowid + " = " + std::to_string(rowid) + ")", number_type()};
            }
        }
        return {"(" + l.first + " " + op + " " + r.first + ")", number_type()};
    }
    case expr::neg:
        return {"(-" + sub(e.args[0]).first + ")", number_type()};
    case expr::not_:
        return {"(NOT " + sub(e.args[0]).first + ")", number_type()};
    case expr::is_null:
        return {"(" + sub(e.args[0]).first + (e.negated ? " IS NOT NULL)" : " IS NULL)"),
                number_type()};
    case expr::like: {
        std::string s = "(" + sub(e.args[0]).first + (e.negated ? " NOT LIKE " : " LIKE ") +
                        sub(e.args[1]).first;
        if (e.args.size() > 2)
            s += " ESCAPE " + sub(e.args[2]).first;
        return {s + ")", number_type()};
    }
    case expr::in_list: {
        std::string s = "(" + sub(e.args[0]).first + (e.negated ? " NOT IN (" : " IN (");
        for (size_t i = 1; i < e.args.size(); ++i)
            s += (i > 1 ? ", " : "") + sub(e.args[i]).first;
        return {s + "))", number_type()};
    }
    case expr::in_sub: {
        query q = select(*e.sub, sc, false);
        return {"(" + sub(e.args[0]).first + (e.negated ? " NOT IN (" : " IN (") + q.sql + "))",
                number_type()};
    }
    case expr::between:
        return {"(" + sub(e.args[0]).first + (e.negated ? " NOT BETWEEN " : " BETWEEN ") +
                    sub(e.args[1]).first + " AND " + sub(e.args[2]).first + ")",
                number_type()};
    case expr::exists: {
        query q = select(*e.sub, sc, false);
        return {"(EXISTS (" + q.sql + "))", number_type()};
    }
    case expr::subquery: {
        query q = select(*e.sub, sc, false);
        if (q.cols.size() != 1)
            fail(913);
        return {"(SELECT c1 FROM (" + q.sql + "))", q.cols[0].t};
    }
    case expr::case_: {
        std::string s = "(CASE";
        size_t i = 0;
        if (e.has_operand)
            s += " " + sub(e.args[i++]).first;
        size_t stop = e.args.size() - (e.has_else ? 1 : 0);
        otype result;
        bool first = true;
        for (; i + 1 < stop; i += 2) {
            s += " WHEN " + sub(e.args[i]).first;
            auto then = sub(e.args[i + 1]);
            s += " THEN " + then.first;
            if (first)
                result = then.second;
            first = false;
        }
        if (e.has_else)
            s += " ELSE " + sub(e.args.back()).first;
        return {s + " END)", result};
    }
    case expr::func:
        break;
    }

    // functions
    const std::string &f = e.text;
    std::vector<std::pair<std::string, otype>> a;
    for (const auto &x : e.args)
        a.push_back(sub(x));
    auto args = [&](size_t from = 0) {
        std::string s;
        for (size_t i = from; i < a.size(); ++i)
            s += (i > from ? ", " : "") + a[i].first;
        return s;
    };
    auto need = [&](size_t lo, size_t hi) {
        if (a.size() < lo || a.size() > hi)
            fail(938);
    };
    if (f == "COUNT") {
        if (e.star)
            return {"COUNT(*)", number_type()};
        need(1, 1);
        return {std::string("COUNT(") + (e.distinct ? "DISTINCT " : "") + a[0].first + ")",
                number_type()};
    }
    if (f == "SUM" || f == "AVG" || f == "MIN" || f == "MAX") {
        need(1, 1);
        std::string s = f + "(" + (e.distinct ? "DISTINCT " : "") + a[0].first + ")";
        if (f == "MIN" || f == "MAX")
            return {s, a[0].second};
        return {s, number_type()};
    }
    if (f == "UPPER" || f == "LOWER") {
        need(1, 1);
        return {f + "(" + a[0].first + ")", a[0].second};
    }
    if (f == "LENGTH" || f == "DBMS_LOB.GETLENGTH") {
        need(1, 1);
        // numbers are decimal text compared by ORANUM: SQLite's integer would compare with a
        // number literal as text does with an integer, always greater
        return {"(CAST(length(" + a[0].first + ") AS TEXT) COLLATE ORANUM)", number_type()};
    }
    if (f == "SUBSTR") {
        need(2, 3);
        return {"NULLIF(substr(" + args() + "), '')", text_type()};
    }
    if (f == "INSTR") {
        need(2, 2);
        return {"instr(" + args() + ")", number_type()};
    }
    if (f == "REPLACE") {
        need(2, 3);
        if (a.size() == 2)
            return {"NULLIF(replace(" + args() + ", ''), '')", text_type()};
        return {"NULLIF(replace(" + a[0].first + ", " + a[1].first + ", ifnull(" + a[2].first +
                    ", '')), '')",
                text_type()};
    }
    if (f == "TRIM" || f == "LTRIM" || f == "RTRIM") {
        need(1, 2);
        return {"NULLIF(" + upper_ascii(f) + "(" + args() + "), '')", text_type()};
    }
    if (f == "NVL") {
        need(2, 2);
        return {"ifnull(" + args() + ")", a[0].second};
    }
    if (f == "COALESCE") {
        need(1, 1000);
        return {"coalesce(" + args() + (a.size() == 1 ? ", NULL" : "") + ")", a[0].second};
    }
    if (f == "NVL2") {
        need(3, 3);
        return {"(CASE WHEN " + a[0].first + " IS NOT NULL THEN " + a[1].first + " ELSE " +
                    a[2].first + " END)",
                a[1].second};
    }
    if (f == "DECODE") {
        need(3, 1000);
        std::string s = "(CASE";
        size_t i = 1;
        for (; i + 1 < a.size(); i += 2)
            s += " WHEN " + a[0].first + " IS " + a[i].first + " THEN " + a[i + 1].first;
        if (i < a.size())
            s += " ELSE " + a[i].first;
        return {s + " END)", a[2].second};
    }
    if (f == "ABS") {
        need(1, 1);
        return {"abs(" + a[0].first + ")", number_type()};
    }
    if (f == "ROUND") {
        need(1, 2);
        return {"round(" + args() + ")", number_type()};
    }
    if (f == "MOD") {
        need(2, 2);
        return {"(" + a[0].first + " % " + a[1].first + ")", number_type()};
    }
    if (f == "TO_CHAR") {
        need(1, 2);
        // a binary number shows the shortest digits of its own precision
        if (a[0].second.is_ieee())
            return {"ocs_to_char_ieee(" + a[0].first +
                        (a[0].second.name == "BINARY_FLOAT" ? ", 1" : ", 0") +
                        (a.size() > 1 ? ", " + a[1].first : std::string()) + ")",
                    text_type()};
        return {"ocs_to_char(" + args() + ")", text_type()};
    }
    if (f == "TO_NUMBER") {
        need(1, 1);
        return {"ocs_to_number(" + a[0].first + ")", number_type()};
    }
    if (f == "TO_DATE" || f == "TO_TIMESTAMP") {
        need(1, 2);
        t.name = f == "TO_DATE" ? "DATE" : "TIMESTAMP";
        return {(f == "TO_DATE" ? "ocs_to_date(" : "ocs_to_timestamp(") + args() + ")", t};
    }
    if (f == "HEXTORAW") {
        need(1, 1);
        t.name = "RAW";
        t.len = 2000;
        return {"ocs_hextoraw(" + a[0].first + ")", t};
    }
    if (f == "RAWTOHEX") {
        need(1, 1);
        return {"NULLIF(hex(" + a[0].first + "), '')", text_type()};
    }
    if (f == "TO_NCHAR" || f == "TO_CLOB") {
        need(1, 1);
        t.name = f == "TO_NCHAR" ? "NVARCHAR2" : "CLOB";
        t.len = f == "TO_NCHAR" ? 2000 : 0;
        return {a[0].first, t};
    }
    if (f == "EMPTY_CLOB" || f == "EMPTY_BLOB") {
        need(0, 0);
        t.name = f == "EMPTY_CLOB" ? "CLOB" : "BLOB";
        return {f == "EMPTY_CLOB" ? "''" : "x''", t};
    }
    fail(904, {"\"" + f + "\""});
}
} // namespace ocs
