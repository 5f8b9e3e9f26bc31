#pragma once

// turns Oracle queries and expressions into SQLite text over the stand-in's internal names

#include "ocs_db.hpp"

namespace ocs
{

struct scope;

class translator
{
public:
    translator(session &s, const bind_reader &binds) : s_(s), binds_(binds) {}

    struct query
    {
        std::string sql;
        std::vector<out_column> cols;
        std::vector<bool> aliased;  // the column has an alias of the select list
        // per visible column: the hidden rowid column and the LOB's place, for locators
        std::vector<int> lob_rowid_col;
        std::vector<std::string> lob_table, lob_column;
        bool uses_sequence = false;
    };

    query select(const select_stmt &q, const scope *parent, bool top);

    // an expression over one table under its SQLite alias, for UPDATE and DELETE
    std::pair<std::string, otype> table_expression(const expr &e,
                                                   const std::shared_ptr<session::table_def> &t,
                                                   const std::string &oracle_alias,
                                                   const std::string &sql_alias);
    // an expression without columns, for INSERT values and defaults
    std::pair<std::string, otype> const_expression(const expr &e) { return expression(e, nullptr); }
    bool uses_sequence() const { return uses_sequence_; }

private:
    query select_core(const select_stmt &q, const scope *parent, bool top);
    std::pair<std::string, otype> expression(const expr &e, const scope *sc);
    std::string literal(const value &v, otype &t);
    std::string add_source(scope &sc, const from_item &f);

    session &s_;
    const bind_reader &binds_;
    std::string order_scope_expr(const expr &e);

    std::shared_ptr<scope> last_scope_;
    int next_alias_ = 0;
    int depth_ = 0;
    bool uses_sequence_ = false;
};

// the SQLite functions and the collation every connection of the stand-in registers
void register_functions(sqlite3 *db, session *s);
// the catalogue views as temporary views of a connection
void create_catalogue_views(sqlite3 *db, const std::string &user);
bool is_catalogue_view(const std::string &name);
// the Oracle types of a catalogue view's columns, empty for another name
std::vector<out_column> catalogue_columns(const std::string &name);

} // namespace ocs
