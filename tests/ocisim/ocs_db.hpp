#pragma once

// one logged-on session of the stand-in: a user's schema in a SQLite file, the Oracle
// catalogue kept beside the data, and statements run with Oracle's rules

#include "ocs_sql.hpp"

#include <sqlite3.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ocs
{

// an Oracle type of a column or of a select-list item
struct otype
{
    std::string name = "VARCHAR2";  // NUMBER FLOAT VARCHAR2 NVARCHAR2 CHAR NCHAR DATE TIMESTAMP
                                    // CLOB NCLOB BLOB RAW LONG "LONG RAW" ROWID BINARY_FLOAT
                                    // BINARY_DOUBLE
    int len = 0;                    // declared length (chars or bytes), FLOAT binary precision
    int prec = -1;                  // NUMBER precision, -1 none
    int scale = -1000;              // NUMBER scale, -1000 none
    bool char_sem = false;
    bool nullable = true;
    int zone = 0;                   // TIMESTAMP WITH TIME ZONE 1, WITH LOCAL TIME ZONE 2

    unsigned short code() const;      // the describe code
    unsigned short data_size() const; // bytes
    bool is_lob() const { return name == "CLOB" || name == "NCLOB" || name == "BLOB"; }
    bool is_national() const { return name == "NVARCHAR2" || name == "NCHAR" || name == "NCLOB"; }
    bool is_number() const { return name == "NUMBER" || name == "FLOAT"; }
    bool is_binary() const { return name == "RAW" || name == "BLOB" || name == "LONG RAW"; }
    bool is_date() const { return name == "DATE" || name == "TIMESTAMP"; }
    // BINARY_FLOAT and BINARY_DOUBLE: IEEE values, kept as SQLite REAL
    bool is_ieee() const { return name == "BINARY_FLOAT" || name == "BINARY_DOUBLE"; }
};

struct value
{
    enum kind_t
    {
        null,
        str,
        num,
        date,
        raw,
        empty_clob,
        empty_blob,
        ieee
    } k = null;
    // UTF-8 text, decimal text, 'YYYY-MM-DD HH:MM:SS[.ffffff]', bytes, or for ieee the
    // shortest text of the double (ieee_stored_text)
    std::string s;
};

// a literal with the suffix f (BINARY_FLOAT) or d (BINARY_DOUBLE); nothing for a NUMBER one
std::optional<value> ieee_literal(const std::string &text);

struct out_column
{
    std::string name;
    otype t;
};

// where a LOB lives, held by a locator
struct lob_ref
{
    bool valid = false;
    bool clob = true;
    bool nchar = false;
    bool locked = false;       // selected FOR UPDATE
    bool has_row = false;      // false: a copy of a computed value, read only
    std::string table_sql, column_sql;
    long long rowid = 0;
    std::string snapshot;      // the value when there is no row
    class session *owner = nullptr;
};

class cursor
{
public:
    ~cursor();
    std::vector<out_column> cols;
    // false at the end; lobs[i] valid for LOB columns
    bool fetch(std::vector<value> &row, std::vector<lob_ref> &lobs);
    void stop();  // no further rows
    long long fetched = 0;

private:
    friend class session;
    sqlite3_stmt *st_ = nullptr;
    bool done_ = false;
    bool stepped_ = false;
    bool for_update_ = false;
    session *owner_ = nullptr;
    struct lob_source
    {
        int rowid_col = -1;
        std::string table_sql, column_sql;
    };
    std::vector<lob_source> lob_src_;  // per visible column
};

struct exec_result
{
    std::unique_ptr<cursor> cur;
    long long rows = 0;
    std::vector<value> returned;  // one per INTO bind
    int info_code = 0;            // success with info
    std::string info_text;
    bool is_select = false;
};

using bind_reader = std::function<std::optional<value>(const std::string &name)>;

class session
{
public:
    session(const std::string &file, const std::string &user, const std::vector<std::string> &banner,
            size_t max_ident);
    ~session();
    session(const session &) = delete;
    session &operator=(const session &) = delete;

    const std::string &user() const { return user_; }
    size_t max_ident() const { return max_ident_; }
    void set_banner(const std::vector<std::string> &banner);

    exec_result execute(const std::string &sql, bool parse_only, bool commit_on_success,
                        const bind_reader &binds);
    void commit();
    void rollback();

    std::string lob_get(const lob_ref &ref);
    void lob_put(const lob_ref &ref, std::string_view data);

    // used by the SQLite functions of the connection
    std::string next_value(const std::string &seq);
    std::string current_value(const std::string &seq);

    struct column_def
    {
        std::string name, sqlname;
        otype t;
        bool has_default = false;
        std::string def;
    };
    struct constraint_def
    {
        std::string name;
        char type = 0;
        std::string table;
        std::vector<std::string> cols;
        std::string r_cons, delete_rule, index_name;
        std::string r_table;                 // R: the referenced table and its columns
        std::vector<std::string> r_cols;
    };
    struct trigger_def
    {
        std::string name, column, sequence;
        bool when_null = false, valid = false;
    };
    struct table_def
    {
        long long objid = 0;
        std::string name, sqlname;
        std::vector<column_def> cols;
        std::vector<constraint_def> own;       // P U R of this table
        std::vector<constraint_def> children;  // R of any table that refer to this one
        std::vector<trigger_def> triggers;
        int find(const std::string &col) const;
    };

private:
    friend class translator;
    friend class cursor;

    void exec(const std::string &sql);
    void check_version();
    std::shared_ptr<table_def> table(const std::string &name);  // null when no such table
    std::shared_ptr<table_def> table_or_fail(const std::string &schema, const std::string &name);
    std::string object_type(const std::string &name);           // TABLE VIEW SEQUENCE or ""
    void begin_write();
    void bump_version();
    bool stop_running_cursors();
    void check_schema(const std::string &schema);
    std::string generated_name();

    exec_result run_select(const statement &st, bool parse_only, const bind_reader &binds);
    exec_result run_insert(const statement &st, bool parse_only, const bind_reader &binds);
    exec_result run_update(const statement &st, bool parse_only, const bind_reader &binds);
    exec_result run_delete(const statement &st, bool parse_only, const bind_reader &binds);
    void run_ddl(const statement &st, exec_result &res);

    void create_table(const statement &st);
    void add_constraint(const std::string &table, const constraint_spec &c);
    void create_index(const statement &st);
    void create_sequence(const statement &st);
    void create_trigger(const statement &st, exec_result &res);
    void create_view(const statement &st);
    void alter_modify(const statement &st);
    void alter_add_columns(const statement &st);
    void drop_constraint(const statement &st);
    void drop(const statement &st);
    void comment(const statement &st);
    void add_column_row(const std::string &table, int pos, const column_spec &c, const otype &t);
    void make_index(const std::string &table, const std::string &name,
                    const std::vector<std::string> &cols, bool unique, bool generated);
    std::string now_text_public();

    std::string column_sql_type(const otype &t) const;
    otype type_from_spec(const type_spec &t) const;

    // values
    value evaluate(const expr_ptr &e, const bind_reader &binds);
    value stored(const value &v, const column_def &c, const table_def &t);
    void bind_value(sqlite3_stmt *st, int pos, const value &v);
    value read_value(sqlite3_stmt *st, int col, const otype &t);
    value expression_value(sqlite3_stmt *st, int col, const otype &t);
    void write_row(table_def &t, std::vector<value> &row, long long rowid);
    void check_row(const table_def &t, const std::vector<value> &row, long long rowid, bool insert);
    void check_children(const table_def &t, const std::vector<value> &old_row,
                        const std::vector<value> *new_row);
    std::vector<value> load_row(const table_def &t, long long rowid);
    void delete_row(const table_def &t, long long rowid);
    std::string quoted_column(const table_def &t, const column_def &c) const;
    std::string qualified_constraint(const std::string &name) const;

    sqlite3_stmt *prepared(const std::string &sql);
    void drop_cache();
    [[noreturn]] void sqlite_fail(int rc);
    bool exists(const std::string &sql, const std::vector<value> &params);
    std::vector<long long> rowids(const std::string &sql, const std::vector<value> &params);
    void name_free(const std::string &name);
    static void column_name_allowed(const std::string &name);
    static constexpr size_t max_columns = 1000;
    std::vector<value> key_of(const table_def &t, const std::vector<std::string> &cols,
                              const std::vector<value> &row);
    std::string key_where(const table_def &t, const std::vector<std::string> &cols);

    sqlite3 *db_ = nullptr;
    std::map<std::string, sqlite3_stmt *> cache_;
    std::set<cursor *> cursors_;
    std::string user_;
    size_t max_ident_;
    long long version_ = -1;
    std::map<std::string, std::shared_ptr<table_def>> tables_;
    std::map<std::string, std::string> currval_;
};

// names inside SQLite: every Oracle name is kept exactly, so "T" and "t" are two tables
std::string sql_table_name(const std::string &oracle_name);
std::string sql_column_name(const std::string &oracle_name);
std::string sql_quote(const std::string &text);

// rowid text of a row
std::string encode_rowid(long long objid, long long rowid);
bool decode_rowid(const std::string &text, long long &objid, long long &rowid);

} // namespace ocs
