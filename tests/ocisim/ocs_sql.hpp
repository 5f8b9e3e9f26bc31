#pragma once

// the stand-in's front end for the Oracle dialect: tokens and statement trees

#include <memory>
#include <string>
#include <vector>

namespace ocs
{

enum class tok
{
    ident,   // unquoted, folded to upper case
    quoted,  // "exact"
    string,  // 'text', quotes undone
    number,
    bind,    // :name, text without the colon, upper case
    op,      // punctuation and operators
    end
};

struct token
{
    tok kind;
    std::string text;
    size_t pos = 0;  // byte offset in the statement
    size_t end = 0;
    bool national = false;  // N'text'
};

// the statement as tokens; lexical errors are raised as ORA errors when the statement runs.
// max_literal: the bytes a text literal may hold (the client's own scan knows no limit)
std::vector<token> tokenize(const std::string &sql, size_t max_ident, size_t max_literal = 4000);

struct select_stmt;
struct expr;
using expr_ptr = std::shared_ptr<expr>;

struct expr
{
    enum kind_t
    {
        str,      // text: value ('' became null)
        num,      // text: the number
        null,
        column,   // parts: [qualifier,] name
        func,     // text: name (upper), args; star: COUNT(*); distinct
        binop,    // text: operator (AND OR = <> < > <= >= + - * / ||)
        neg,      // unary minus
        not_,
        is_null,  // negated: IS NOT NULL
        like,     // args: value, pattern[, escape]; negated
        in_list,  // args[0] in args[1..]; negated
        in_sub,   // args[0] in sub; negated
        between,  // args: value, low, high; negated
        exists,   // sub
        subquery, // sub, a scalar
        bind,     // text: name
        case_,    // args: [operand], when, then, ..., [else]; has_operand, has_else
        date_lit, // DATE 'text' / TIMESTAMP 'text'
        seqval,   // parts: sequence, NEXTVAL|CURRVAL
    } kind;
    std::string text;
    std::vector<std::string> parts;
    std::vector<expr_ptr> args;
    std::shared_ptr<select_stmt> sub;
    bool negated = false;
    bool star = false;
    bool distinct = false;
    bool has_operand = false;
    bool has_else = false;
    bool timestamp = false;
    size_t begin = 0, end = 0;  // token range of the source
};

struct select_item
{
    expr_ptr e;            // null for * and q.*
    std::string star_qual; // q of q.*; empty for *
    std::string alias;
    std::string label;     // the column name Oracle gives an unaliased expression
};

struct from_item
{
    std::string schema, name;            // a table, view or catalogue view
    std::shared_ptr<select_stmt> sub;    // or a subquery
    std::string alias;
    std::string join;                    // "" first or comma, "INNER", "LEFT", "RIGHT", "FULL", "CROSS"
    expr_ptr on;
};

struct order_item
{
    expr_ptr e;
    bool desc = false;
    int nulls = 0;  // 0 default, 1 first, 2 last
};

struct select_stmt
{
    bool distinct = false;
    std::vector<select_item> items;
    std::vector<from_item> from;
    expr_ptr where;
    std::vector<expr_ptr> group_by;
    expr_ptr having;
    std::vector<order_item> order_by;
    bool for_update = false;
    std::string set_op;                  // UNION, UNION ALL, MINUS, INTERSECT with next
    std::shared_ptr<select_stmt> next;
};

struct type_spec
{
    std::string name;   // NUMBER, VARCHAR2, NVARCHAR2, CHAR, NCHAR, DATE, TIMESTAMP, CLOB, NCLOB,
                        // BLOB, RAW, LONG, LONG RAW, FLOAT
    int len = -1;       // length, or precision of NUMBER/FLOAT
    int scale = -1000;  // -1000: none
    bool star_precision = false;
    bool char_semantics = false;
    int zone = 0;       // TIMESTAMP WITH TIME ZONE 1, WITH LOCAL TIME ZONE 2
};

struct column_spec
{
    std::string name;
    type_spec type;
    bool has_default = false;
    std::string default_text;
    expr_ptr default_expr;
    int nullability = 0;  // 0 unsaid, 1 NULL, 2 NOT NULL
};

struct constraint_spec
{
    std::string name;           // empty: generated
    char type = 0;              // P U R
    std::vector<std::string> cols;
    std::string r_table;
    std::vector<std::string> r_cols;
    std::string delete_rule;    // NO ACTION, CASCADE, SET NULL
};

struct statement
{
    enum kind_t
    {
        select,
        insert,
        update,
        delete_,
        create_table,
        create_view,
        create_index,
        create_sequence,
        create_trigger,
        alter_add_constraint,
        alter_modify,
        alter_add_columns,
        alter_drop_constraint,
        drop,
        comment,
        truncate,
        commit,
        rollback,
    } kind;

    std::shared_ptr<select_stmt> query;   // select, insert ... select, view text

    std::string schema;                   // schema named before the object, empty when none
    std::string table;                    // object of the statement
    std::string alias;
    std::vector<std::string> columns;     // insert columns, index columns, view columns
    std::vector<expr_ptr> values;         // insert values
    std::vector<std::pair<std::string, expr_ptr>> sets;  // update
    expr_ptr where;
    std::vector<expr_ptr> returning;
    std::vector<std::string> into;        // bind names

    std::vector<column_spec> col_specs;   // create table, modify, add
    std::vector<constraint_spec> cons;    // create table, alter add
    bool unique = false;                  // create unique index
    bool or_replace = false;
    std::string object_type;              // drop: TABLE VIEW SEQUENCE INDEX TRIGGER; comment: TABLE COLUMN
    bool cascade = false;
    std::string name;                     // index, sequence, trigger, constraint, comment column
    std::string text;                     // view text, comment text, trigger text

    // sequence options as text
    std::string seq_start = "1", seq_incr = "1", seq_min, seq_max;
    bool seq_cycle = false;

    // trigger of the auto-increment shape
    std::string trg_column, trg_sequence;
    bool trg_when_null = false;
    bool trg_valid = false;
};

// parses one statement; ORA errors for what Oracle refuses at parse time
statement parse(const std::string &sql, const std::vector<token> &toks);

// the bind names of a statement, in order of appearance, upper case
std::vector<std::string> bind_names(const std::vector<token> &toks);

} // namespace ocs
