#include "ocs_sql.hpp"

#include "ocs_util.hpp"

#include <cctype>
#include <set>

namespace ocs
{

namespace
{

bool ident_start(unsigned char c)
{
    return std::isalpha(c) || c >= 0x80;
}

bool ident_char(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
}

} // namespace

std::vector<token> tokenize(const std::string &s, size_t max_ident, size_t max_literal)
{
    std::vector<token> out;
    size_t i = 0, n = s.size();
    while (i < n) {
        unsigned char c = s[i];
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            while (i < n && s[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            size_t e = s.find("*/", i + 2);
            i = e == std::string::npos ? n : e + 2;
            continue;
        }
        token t;
        t.pos = i;
        if ((c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'') {
            t.national = true;
            ++i;
            c = '\'';
        }
        if (c == '\'') {
            std::string v;
            ++i;
            for (;;) {
                if (i >= n)
                    fail(1756);
                if (s[i] == '\'') {
                    if (i + 1 < n && s[i + 1] == '\'') {
                        v += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                v += s[i++];
            }
            // a text literal holds at most 4000 bytes of the database's character set, a
            // national one 4000 bytes of utf-16
            if ((t.national ? utf16_length(v) * 2 : v.size()) > max_literal)
                fail(1704);
            t.kind = tok::string;
            t.text = v;
        } else if (c == '"') {
            size_t e = s.find('"', i + 1);
            if (e == std::string::npos)
                fail(1756);
            t.kind = tok::quoted;
            t.text = s.substr(i + 1, e - i - 1);
            if (t.text.empty())
                fail(1741);
            if (t.text.size() > max_ident)
                fail(972);
            i = e + 1;
        } else if (ident_start(c)) {
            size_t b = i;
            while (i < n && ident_char(s[i]))
                ++i;
            t.kind = tok::ident;
            t.text = upper_ascii(s.substr(b, i - b));
            if (t.text.size() > max_ident)
                fail(972);
        } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit((unsigned char)s[i + 1]))) {
            size_t b = i;
            while (i < n && std::isdigit((unsigned char)s[i]))
                ++i;
            if (i < n && s[i] == '.' && !(i + 1 < n && s[i + 1] == '.')) {
                ++i;
                while (i < n && std::isdigit((unsigned char)s[i]))
                    ++i;
            }
            if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                size_t k = i + 1;
                if (k < n && (s[k] == '+' || s[k] == '-'))
                    ++k;
                if (k < n && std::isdigit((unsigned char)s[k])) {
                    i = k;
                    while (i < n && std::isdigit((unsigned char)s[i]))
                        ++i;
                }
            }
            // 1.5f is a BINARY_FLOAT, 1.5d a BINARY_DOUBLE literal
            if (i < n && (s[i] == 'f' || s[i] == 'F' || s[i] == 'd' || s[i] == 'D') &&
                !(i + 1 < n && ident_char(s[i + 1])))
                ++i;
            t.kind = tok::number;
            t.text = s.substr(b, i - b);
        } else if (c == ':' && i + 1 < n && ident_char(s[i + 1])) {
            size_t b = ++i;
            while (i < n && ident_char(s[i]))
                ++i;
            t.kind = tok::bind;
            t.text = upper_ascii(s.substr(b, i - b));
        } else {
            static const char *const two[] = {"<>", "!=", "^=", "<=", ">=", "||", ":="};
            t.kind = tok::op;
            for (const char *op : two)
                if (s.compare(i, 2, op) == 0)
                    t.text = op;
            if (t.text.empty()) {
                if (std::string("(),.;+-*/=<>@").find(char(c)) == std::string::npos)
                    fail(911);
                t.text = std::string(1, char(c));
            }
            if (t.text == "!=" || t.text == "^=")
                t.text = "<>";
            i += t.text.size();
        }
        t.end = i;
        out.push_back(t);
    }
    token e;
    e.kind = tok::end;
    e.pos = e.end = n;
    out.push_back(e);
    return out;
}

std::vector<std::string> bind_names(const std::vector<token> &toks)
{
    std::vector<std::string> out;
    for (const token &t : toks)
        if (t.kind == tok::bind)
            out.push_back(t.text);
    return out;
}

namespace
{

const std::set<std::string> &reserved()
{
    static const std::set<std::string> r = {
        "FROM",   "WHERE",  "GROUP", "ORDER",   "HAVING", "UNION", "MINUS",  "INTERSECT", "FOR",
        "JOIN",   "INNER",  "LEFT",  "RIGHT",   "FULL",   "CROSS", "ON",     "AND",       "OR",
        "NOT",    "SELECT", "INTO",  "VALUES",  "SET",    "IS",    "NULL",   "IN",        "LIKE",
        "BETWEEN", "AS",    "BY",    "CONNECT", "START",  "RETURNING", "RETURN", "WITH", "OUTER",
        "THEN",   "WHEN",   "ELSE",  "END",     "DISTINCT", "ALL", "ASC",    "DESC",  "NULLS",
    };
    return r;
}

class parser
{
public:
    parser(const std::string &sql, const std::vector<token> &t) : sql_(sql), t_(t) {}

    statement run();

private:
    const token &peek(size_t k = 0) const { return t_[std::min(i_ + k, t_.size() - 1)]; }
    bool at_end() const { return peek().kind == tok::end; }
    bool is_kw(const char *kw, size_t k = 0) const
    {
        return peek(k).kind == tok::ident && peek(k).text == kw;
    }
    bool is_op(const char *op, size_t k = 0) const
    {
        return peek(k).kind == tok::op && peek(k).text == op;
    }
    bool accept_kw(const char *kw)
    {
        if (!is_kw(kw))
            return false;
        ++i_;
        return true;
    }
    bool accept_op(const char *op)
    {
        if (!is_op(op))
            return false;
        ++i_;
        return true;
    }
    // the error Oracle gives where a piece is missing: at the end of the text it is 00921
    [[noreturn]] void missing(int code) const
    {
        if (at_end() && code != 907 && code != 906)
            fail(921);
        if (peek().kind == tok::op && peek().text == ";")
            fail(911);
        fail(code);
    }
    void expect_kw(const char *kw, int code)
    {
        if (!accept_kw(kw))
            missing(code);
    }
    void expect_op(const char *op, int code)
    {
        if (!accept_op(op))
            missing(code);
    }
    bool is_name() const { return peek().kind == tok::ident || peek().kind == tok::quoted; }
    std::string name(int code = 904)
    {
        if (!is_name()) {
            if (code == 904 && !at_end())
                fail(904, {"\"" + peek().text + "\""});
            missing(code);
        }
        return t_[i_++].text;
    }
    void qualified(std::string &schema, std::string &obj, int code = 903)
    {
        obj = name(code);
        if (accept_op(".")) {
            schema = obj;
            obj = name(code);
        }
    }
    std::string span_text(size_t from_tok, size_t to_tok) const
    {
        if (to_tok <= from_tok)
            return "";
        return sql_.substr(t_[from_tok].pos, t_[to_tok].pos - t_[from_tok].pos);
    }
    void finish()
    {
        if (accept_op(";"))
            fail(911);
        if (!at_end())
            fail(933);
    }

    std::shared_ptr<select_stmt> select();
    std::shared_ptr<select_stmt> select_core();
    void from_list(select_stmt &s);
    from_item from_one();
    expr_ptr expression() { return or_expr(); }
    expr_ptr or_expr();
    expr_ptr and_expr();
    expr_ptr not_expr();
    expr_ptr predicate();
    expr_ptr additive();
    expr_ptr multiplicative();
    expr_ptr unary();
    expr_ptr primary();
    expr_ptr make(expr::kind_t k, size_t begin)
    {
        auto e = std::make_shared<expr>();
        e->kind = k;
        e->begin = begin;
        return e;
    }
    std::string label(size_t b, size_t e) const;

    type_spec type();
    column_spec column_def(bool modify);
    bool constraint_tail(constraint_spec &c);
    void references(constraint_spec &c);
    std::vector<std::string> name_list();
    std::string signed_number();

    statement create();
    statement alter();
    statement drop();
    statement insert();
    statement update();
    statement delete_();
    statement trigger(statement st);

    const std::string &sql_;
    const std::vector<token> &t_;
    size_t i_ = 0;
};

std::string parser::label(size_t b, size_t e) const
{
    std::string out;
    for (size_t k = b; k < e; ++k) {
        const token &t = t_[k];
        if (t.kind == tok::string)
            out += "'" + t.text + "'";
        else if (t.kind == tok::bind)
            out += ":" + t.text;
        else
            out += t.text;
    }
    return out;
}

// ---- expressions

expr_ptr parser::or_expr()
{
    size_t b = i_;
    expr_ptr l = and_expr();
    while (accept_kw("OR")) {
        auto e = make(expr::binop, b);
        e->text = "OR";
        e->args = {l, and_expr()};
        e->end = i_;
        l = e;
    }
    return l;
}

expr_ptr parser::and_expr()
{
    size_t b = i_;
    expr_ptr l = not_expr();
    while (accept_kw("AND")) {
        auto e = make(expr::binop, b);
        e->text = "AND";
        e->args = {l, not_expr()};
        e->end = i_;
        l = e;
    }
    return l;
}

expr_ptr parser::not_expr()
{
    size_t b = i_;
    if (accept_kw("NOT")) {
        auto e = make(expr::not_, b);
        e->args = {not_expr()};
        e->end = i_;
        return e;
    }
    if (is_kw("EXISTS") && is_op("(", 1)) {
        i_ += 2;
        auto e = make(expr::exists, b);
        e->sub = select();
        expect_op(")", 907);
        e->end = i_;
        return e;
    }
    return predicate();
}

expr_ptr parser::predicate()
{
    size_t b = i_;
    expr_ptr l = additive();
    static const char *const cmp[] = {"=", "<>", "<", ">", "<=", ">="};
    for (const char *op : cmp) {
        if (is_op(op)) {
            ++i_;
            auto e = make(expr::binop, b);
            e->text = op;
            e->args = {l, additive()};
            e->end = i_;
            return e;
        }
    }
    if (accept_kw("IS")) {
        auto e = make(expr::is_null, b);
        e->negated = accept_kw("NOT");
        expect_kw("NULL", 908);
        e->args = {l};
        e->end = i_;
        return e;
    }
    bool neg = false;
    if (is_kw("NOT") && (is_kw("LIKE", 1) || is_kw("IN", 1) || is_kw("BETWEEN", 1))) {
        neg = true;
        ++i_;
    }
    if (accept_kw("LIKE")) {
        auto e = make(expr::like, b);
        e->negated = neg;
        e->args = {l, additive()};
        if (accept_kw("ESCAPE"))
            e->args.push_back(additive());
        e->end = i_;
        return e;
    }
    if (accept_kw("BETWEEN")) {
        auto e = make(expr::between, b);
        e->negated = neg;
        expr_ptr lo = additive();
        expect_kw("AND", 905);
        e->args = {l, lo, additive()};
        e->end = i_;
        return e;
    }
    if (accept_kw("IN")) {
        expect_op("(", 906);
        if (is_kw("SELECT")) {
            auto e = make(expr::in_sub, b);
            e->negated = neg;
            e->args = {l};
            e->sub = select();
            expect_op(")", 907);
            e->end = i_;
            return e;
        }
        auto e = make(expr::in_list, b);
        e->negated = neg;
        e->args = {l};
        do
            e->args.push_back(expression());
        while (accept_op(","));
        expect_op(")", 907);
        e->end = i_;
        return e;
    }
    if (neg)
        missing(905);
    return l;
}

expr_ptr parser::additive()
{
    size_t b = i_;
    expr_ptr l = multiplicative();
    while (is_op("+") || is_op("-") || is_op("||")) {
        auto e = make(expr::binop, b);
        e->text = t_[i_++].text;
        e->args = {l, multiplicative()};
        e->end = i_;
        l = e;
    }
    return l;
}

expr_ptr parser::multiplicative()
{
    size_t b = i_;
    expr_ptr l = unary();
    while (is_op("*") || is_op("/")) {
        auto e = make(expr::binop, b);
        e->text = t_[i_++].text;
        e->args = {l, unary()};
        e->end = i_;
        l = e;
    }
    return l;
}

expr_ptr parser::unary()
{
    size_t b = i_;
    if (accept_op("-")) {
        expr_ptr inner = unary();
        if (inner->kind == expr::num) {
            // a negative literal stays a literal: -12
            inner->text = inner->text[0] == '-' ? inner->text.substr(1) : "-" + inner->text;
            inner->begin = b;
            return inner;
        }
        auto e = make(expr::neg, b);
        e->args = {inner};
        e->end = i_;
        return e;
    }
    if (accept_op("+"))
        return unary();
    return primary();
}

expr_ptr parser::primary()
{
    size_t b = i_;
    const token &t = peek();
    switch (t.kind) {
    case tok::number: {
        ++i_;
        auto e = make(expr::num, b);
        e->text = t.text;
        e->end = i_;
        return e;
    }
    case tok::string: {
        ++i_;
        auto e = make(t.text.empty() ? expr::null : expr::str, b);
        e->text = t.text;
        e->end = i_;
        return e;
    }
    case tok::bind: {
        ++i_;
        auto e = make(expr::bind, b);
        e->text = t.text;
        e->end = i_;
        return e;
    }
    case tok::op:
        if (accept_op("(")) {
            if (is_kw("SELECT")) {
                auto e = make(expr::subquery, b);
                e->sub = select();
                expect_op(")", 907);
                e->end = i_;
                return e;
            }
            expr_ptr inner = expression();
            expect_op(")", 907);
            return inner;
        }
        missing(936);
    case tok::end:
        fail(936);
    case tok::ident:
    case tok::quoted:
        break;
    }
    if (t.kind == tok::ident) {
        if (t.text == "NULL") {
            ++i_;
            auto e = make(expr::null, b);
            e->end = i_;
            return e;
        }
        if ((t.text == "DATE" || t.text == "TIMESTAMP") && peek(1).kind == tok::string) {
            i_ += 2;
            auto e = make(expr::date_lit, b);
            e->text = t_[i_ - 1].text;
            e->timestamp = t.text == "TIMESTAMP";
            e->end = i_;
            return e;
        }
        if (t.text == "CASE") {
            ++i_;
            auto e = make(expr::case_, b);
            if (!is_kw("WHEN")) {
                e->has_operand = true;
                e->args.push_back(expression());
            }
            if (!is_kw("WHEN"))
                missing(905);
            while (accept_kw("WHEN")) {
                e->args.push_back(expression());
                expect_kw("THEN", 905);
                e->args.push_back(expression());
            }
            if (accept_kw("ELSE")) {
                e->has_else = true;
                e->args.push_back(expression());
            }
            expect_kw("END", 905);
            e->end = i_;
            return e;
        }
        if (reserved().count(t.text) && t.text != "NULL")
            missing(936);
    }
    std::vector<std::string> parts = {name()};
    while (is_op(".") && (peek(1).kind == tok::ident || peek(1).kind == tok::quoted)) {
        ++i_;
        parts.push_back(name());
    }
    if (parts.size() == 2 && t_[i_ - 1].kind == tok::ident && !is_op("(") &&
        (parts[1] == "NEXTVAL" || parts[1] == "CURRVAL")) {
        auto e = make(expr::seqval, b);
        e->parts = parts;
        e->end = i_;
        return e;
    }
    if (accept_op("(")) {
        auto e = make(expr::func, b);
        std::string fname;
        for (size_t k = 0; k < parts.size(); ++k)
            fname += (k ? "." : "") + parts[k];
        e->text = fname;
        if (accept_op("*")) {
            e->star = true;
        } else if (!is_op(")")) {
            if (accept_kw("DISTINCT"))
                e->distinct = true;
            else
                accept_kw("ALL");
            do
                e->args.push_back(expression());
            while (accept_op(","));
        }
        expect_op(")", 907);
        e->end = i_;
        return e;
    }
    auto e = make(expr::column, b);
    e->parts = parts;
    e->end = i_;
    return e;
}

// ---- queries

std::shared_ptr<select_stmt> parser::select()
{
    auto s = select_core();
    select_stmt *last = s.get();
    for (;;) {
        std::string op;
        if (accept_kw("UNION"))
            op = accept_kw("ALL") ? "UNION ALL" : "UNION";
        else if (accept_kw("MINUS"))
            op = "MINUS";
        else if (accept_kw("INTERSECT"))
            op = "INTERSECT";
        else
            break;
        last->set_op = op;
        bool paren = accept_op("(");
        last->next = select_core();
        if (paren)
            expect_op(")", 907);
        last = last->next.get();
    }
    if (accept_kw("ORDER")) {
        expect_kw("BY", 905);
        do {
            order_item o;
            o.e = expression();
            if (accept_kw("DESC"))
                o.desc = true;
            else
                accept_kw("ASC");
            if (accept_kw("NULLS")) {
                if (accept_kw("FIRST"))
                    o.nulls = 1;
                else if (accept_kw("LAST"))
                    o.nulls = 2;
                else
                    missing(905);
            }
            s->order_by.push_back(o);
        } while (accept_op(","));
    }
    if (accept_kw("FOR")) {
        expect_kw("UPDATE", 905);
        s->for_update = true;
        if (accept_kw("OF")) {
            do {
                name();
                if (accept_op("."))
                    name();
            } while (accept_op(","));
        }
        if (accept_kw("NOWAIT")) {
        } else if (accept_kw("WAIT")) {
            if (peek().kind == tok::number)
                ++i_;
        } else if (accept_kw("SKIP")) {
            expect_kw("LOCKED", 905);
        }
    }
    return s;
}

std::shared_ptr<select_stmt> parser::select_core()
{
    expect_kw("SELECT", 928);
    auto s = std::make_shared<select_stmt>();
    if (accept_kw("DISTINCT") || accept_kw("UNIQUE"))
        s->distinct = true;
    else
        accept_kw("ALL");
    do {
        select_item it;
        size_t b = i_;
        if (accept_op("*")) {
            s->items.push_back(it);
            continue;
        }
        if (is_name() && is_op(".", 1) && is_op("*", 2)) {
            it.star_qual = name();
            i_ += 2;
            s->items.push_back(it);
            continue;
        }
        if (is_kw("FROM"))
            fail(936);
        it.e = expression();
        it.label = it.e->kind == expr::column ? it.e->parts.back() : label(b, i_);
        if (accept_kw("AS")) {
            it.alias = name();
        } else if ((peek().kind == tok::ident && !reserved().count(peek().text)) ||
                   peek().kind == tok::quoted) {
            it.alias = name();
        }
        s->items.push_back(it);
    } while (accept_op(","));
    if (!accept_kw("FROM"))
        missing(923);
    from_list(*s);
    if (accept_kw("WHERE"))
        s->where = expression();
    if (accept_kw("GROUP")) {
        expect_kw("BY", 905);
        do
            s->group_by.push_back(expression());
        while (accept_op(","));
    }
    if (accept_kw("HAVING"))
        s->having = expression();
    return s;
}

from_item parser::from_one()
{
    from_item f;
    if (accept_op("(")) {
        f.sub = select();
        expect_op(")", 907);
    } else {
        qualified(f.schema, f.name);
        if (accept_op("@"))
            fail(942);
    }
    if ((peek().kind == tok::ident && !reserved().count(peek().text)) || peek().kind == tok::quoted)
        f.alias = name();
    return f;
}

void parser::from_list(select_stmt &s)
{
    s.from.push_back(from_one());
    for (;;) {
        if (accept_op(",")) {
            s.from.push_back(from_one());
            continue;
        }
        std::string join;
        if (accept_kw("JOIN")) {
            join = "INNER";
        } else if (is_kw("INNER") && is_kw("JOIN", 1)) {
            i_ += 2;
            join = "INNER";
        } else if (is_kw("CROSS") && is_kw("JOIN", 1)) {
            i_ += 2;
            join = "CROSS";
        } else if (is_kw("LEFT") || is_kw("RIGHT") || is_kw("FULL")) {
            join = t_[i_++].text;
            accept_kw("OUTER");
            expect_kw("JOIN", 905);
        } else {
            break;
        }
        from_item f = from_one();
        f.join = join;
        if (join != "CROSS") {
            expect_kw("ON", 969);
            f.on = expression();
        }
        s.from.push_back(f);
    }
}

// ---- DDL pieces

std::string parser::signed_number()
{
    bool neg = accept_op("-");
    if (peek().kind != tok::number)
        missing(922);
    return (neg ? "-" : "") + t_[i_++].text;
}

std::vector<std::string> parser::name_list()
{
    expect_op("(", 906);
    std::vector<std::string> out;
    do
        out.push_back(name());
    while (accept_op(","));
    expect_op(")", 907);
    return out;
}

type_spec parser::type()
{
    type_spec t;
    if (peek().kind != tok::ident)
        missing(902);
    std::string n = t_[i_++].text;
    auto number_arg = [&]() -> int {
        if (peek().kind != tok::number)
            missing(902);
        auto d = decimal::parse(t_[i_++].text);
        if (!d || !d->is_integer())
            fail(902);
        auto v = d->to_int128();
        return v && *v < 1000000 ? int(*v) : 1000000;
    };
    if (n == "NUMBER" || n == "DECIMAL" || n == "NUMERIC" || n == "DEC") {
        t.name = "NUMBER";
        if (accept_op("(")) {
            if (accept_op("*"))
                t.star_precision = true;
            else
                t.len = number_arg();
            if (accept_op(",")) {
                bool neg = accept_op("-");
                t.scale = number_arg() * (neg ? -1 : 1);
            } else if (n != "NUMBER") {
                t.scale = 0;
            }
            expect_op(")", 907);
        } else if (n != "NUMBER") {
            t.scale = 0;
        }
    } else if (n == "INTEGER" || n == "INT" || n == "SMALLINT") {
        t.name = "NUMBER";
        t.scale = 0;
        t.star_precision = true;
    } else if (n == "FLOAT") {
        t.name = "FLOAT";
        t.len = 126;
        if (accept_op("(")) {
            t.len = number_arg();
            expect_op(")", 907);
        }
    } else if (n == "VARCHAR2" || n == "VARCHAR" || n == "NVARCHAR2" || n == "RAW") {
        t.name = n == "VARCHAR" ? "VARCHAR2" : n;
        expect_op("(", 906);
        t.len = number_arg();
        if (n != "NVARCHAR2" && n != "RAW") {
            if (accept_kw("CHAR"))
                t.char_semantics = true;
            else
                accept_kw("BYTE");
        }
        expect_op(")", 907);
    } else if (n == "CHAR" || n == "NCHAR" || n == "CHARACTER") {
        t.name = n == "NCHAR" ? "NCHAR" : "CHAR";
        t.len = 1;
        if (is_kw("VARYING"))
            fail(902);
        if (accept_op("(")) {
            t.len = number_arg();
            if (t.name == "CHAR") {
                if (accept_kw("CHAR"))
                    t.char_semantics = true;
                else
                    accept_kw("BYTE");
            }
            expect_op(")", 907);
        }
    } else if (n == "DATE" || n == "CLOB" || n == "NCLOB" || n == "BLOB") {
        t.name = n;
    } else if (n == "TIMESTAMP") {
        t.name = "TIMESTAMP";
        t.len = 6;
        if (accept_op("(")) {
            t.len = number_arg();
            expect_op(")", 907);
        }
        if (accept_kw("WITH")) {
            t.zone = accept_kw("LOCAL") ? 2 : 1;
            expect_kw("TIME", 905);
            expect_kw("ZONE", 905);
        }
    } else if (n == "BINARY_FLOAT" || n == "BINARY_DOUBLE") {
        t.name = n;
    } else if (n == "LONG") {
        t.name = accept_kw("RAW") ? "LONG RAW" : "LONG";
    } else {
        fail(902);
    }
    return t;
}

void parser::references(constraint_spec &c)
{
    std::string schema;
    qualified(schema, c.r_table);
    if (is_op("("))
        c.r_cols = name_list();
    c.delete_rule = "NO ACTION";
    if (accept_kw("ON")) {
        expect_kw("DELETE", 905);
        if (accept_kw("CASCADE")) {
            c.delete_rule = "CASCADE";
        } else if (accept_kw("SET")) {
            expect_kw("NULL", 905);
            c.delete_rule = "SET NULL";
        } else {
            missing(905);
        }
    }
}

// PRIMARY KEY / UNIQUE / FOREIGN KEY / REFERENCES after an optional CONSTRAINT name
bool parser::constraint_tail(constraint_spec &c)
{
    if (accept_kw("PRIMARY")) {
        expect_kw("KEY", 905);
        c.type = 'P';
    } else if (accept_kw("UNIQUE")) {
        c.type = 'U';
    } else if (accept_kw("FOREIGN")) {
        expect_kw("KEY", 905);
        c.type = 'R';
        c.cols = name_list();
        expect_kw("REFERENCES", 905);
        references(c);
        return true;
    } else if (accept_kw("REFERENCES")) {
        c.type = 'R';
        references(c);
        return true;
    } else if (accept_kw("CHECK")) {
        // a check constraint is accepted and not enforced
        expect_op("(", 906);
        expression();
        expect_op(")", 907);
        c.type = 'C';
        return true;
    } else {
        return false;
    }
    if (is_op("("))
        c.cols = name_list();
    return true;
}

column_spec parser::column_def(bool modify)
{
    column_spec c;
    c.name = name();
    if (!modify || !(is_kw("DEFAULT") || is_kw("NULL") || is_kw("NOT") || at_end() ||
                     is_op(",") || is_op(")")))
        c.type = type();
    for (;;) {
        if (accept_kw("DEFAULT")) {
            size_t b = i_;
            c.default_expr = expression();
            c.has_default = true;
            c.default_text = span_text(b, i_);
        } else if (accept_kw("NOT")) {
            expect_kw("NULL", 908);
            c.nullability = 2;
        } else if (accept_kw("NULL")) {
            c.nullability = 1;
        } else {
            break;
        }
    }
    return c;
}

// ---- statements

statement parser::create()
{
    statement st;
    if (accept_kw("OR")) {
        expect_kw("REPLACE", 922);
        st.or_replace = true;
    }
    if (accept_kw("FORCE") || accept_kw("NOFORCE")) {
    }
    if (accept_kw("TABLE")) {
        st.kind = statement::create_table;
        qualified(st.schema, st.table);
        expect_op("(", 906);
        if (!is_op(")")) {
            do {
                constraint_spec c;
                if (accept_kw("CONSTRAINT")) {
                    c.name = name();
                    if (!constraint_tail(c))
                        missing(902);
                    st.cons.push_back(c);
                    continue;
                }
                if (is_kw("PRIMARY") || is_kw("UNIQUE") || is_kw("FOREIGN") || is_kw("CHECK")) {
                    constraint_tail(c);
                    st.cons.push_back(c);
                    continue;
                }
                column_spec col = column_def(false);
                // inline constraints of the column
                for (;;) {
                    constraint_spec ic;
                    if (accept_kw("CONSTRAINT"))
                        ic.name = name();
                    if (accept_kw("NOT")) {
                        expect_kw("NULL", 908);
                        col.nullability = 2;
                        continue;
                    }
                    if (accept_kw("NULL")) {
                        col.nullability = 1;
                        continue;
                    }
                    if (accept_kw("DEFAULT")) {
                        size_t b = i_;
                        col.default_expr = expression();
                        col.has_default = true;
                        col.default_text = span_text(b, i_);
                        continue;
                    }
                    if (!constraint_tail(ic)) {
                        if (!ic.name.empty())
                            missing(902);
                        break;
                    }
                    if (ic.cols.empty())
                        ic.cols = {col.name};
                    st.cons.push_back(ic);
                }
                st.col_specs.push_back(col);
            } while (accept_op(","));
        } else {
            fail(904, {""});
        }
        expect_op(")", 907);
        while (accept_kw("TABLESPACE") || accept_kw("PCTFREE") || accept_kw("LOGGING") ||
               accept_kw("NOLOGGING")) {
            if (is_name() || peek().kind == tok::number)
                ++i_;
        }
        finish();
        return st;
    }
    if (accept_kw("VIEW")) {
        st.kind = statement::create_view;
        qualified(st.schema, st.table);
        if (is_op("("))
            st.columns = name_list();
        expect_kw("AS", 905);
        size_t b = i_;
        st.query = select();
        st.text = trim(sql_.substr(t_[b].pos, peek().pos - t_[b].pos));
        finish();
        return st;
    }
    if (accept_kw("UNIQUE")) {
        st.unique = true;
        if (!is_kw("INDEX"))
            missing(901);
    }
    if (accept_kw("INDEX")) {
        st.kind = statement::create_index;
        std::string s2;
        qualified(s2, st.name);
        expect_kw("ON", 969);
        qualified(st.schema, st.table);
        expect_op("(", 906);
        do {
            st.columns.push_back(name());
            if (!accept_kw("ASC"))
                accept_kw("DESC");
        } while (accept_op(","));
        expect_op(")", 907);
        while (accept_kw("TABLESPACE") || accept_kw("NOLOGGING") || accept_kw("LOGGING"))
            if (is_name())
                ++i_;
        finish();
        return st;
    }
    if (accept_kw("SEQUENCE")) {
        st.kind = statement::create_sequence;
        qualified(st.schema, st.name);
        for (;;) {
            if (accept_kw("INCREMENT")) {
                expect_kw("BY", 905);
                st.seq_incr = signed_number();
            } else if (accept_kw("START")) {
                expect_kw("WITH", 905);
                st.seq_start = signed_number();
            } else if (accept_kw("MAXVALUE")) {
                st.seq_max = signed_number();
            } else if (accept_kw("MINVALUE")) {
                st.seq_min = signed_number();
            } else if (accept_kw("NOMAXVALUE") || accept_kw("NOMINVALUE") ||
                       accept_kw("NOCACHE") || accept_kw("ORDER") || accept_kw("NOORDER")) {
            } else if (accept_kw("CYCLE")) {
                st.seq_cycle = true;
            } else if (accept_kw("NOCYCLE")) {
                st.seq_cycle = false;
            } else if (accept_kw("CACHE")) {
                signed_number();
            } else {
                break;
            }
        }
        finish();
        return st;
    }
    if (accept_kw("TRIGGER")) {
        st.kind = statement::create_trigger;
        return trigger(st);
    }
    fail(901);
}

// the one trigger shape the engine writes: fills a column from a sequence before insert.
// any other body is stored as a trigger that does not compile.
statement parser::trigger(statement st)
{
    st.text = sql_;
    st.name = name();
    if (accept_op(".")) {
        st.name = name();
    }
    expect_kw("BEFORE", 905);
    expect_kw("INSERT", 905);
    expect_kw("ON", 969);
    qualified(st.schema, st.table);
    expect_kw("FOR", 905);
    expect_kw("EACH", 905);
    expect_kw("ROW", 905);
    std::string when_col;
    if (accept_kw("WHEN")) {
        expect_op("(", 906);
        if (!accept_kw("NEW"))
            missing(905);
        expect_op(".", 905);
        when_col = name();
        expect_kw("IS", 905);
        expect_kw("NULL", 905);
        expect_op(")", 907);
        st.trg_when_null = true;
    }
    // the body is PL/SQL: errors there make an invalid trigger, not a refused statement
    size_t body = i_;
    try {
        expect_kw("BEGIN", 905);
        std::string col, seq;
        if (accept_kw("SELECT")) {
            std::string s1 = name();
            expect_op(".", 905);
            expect_kw("NEXTVAL", 905);
            seq = s1;
            expect_kw("INTO", 925);
            if (peek().kind != tok::bind || peek().text != "NEW")
                missing(905);
            ++i_;
            expect_op(".", 905);
            col = name();
            expect_kw("FROM", 923);
            expect_kw("DUAL", 942);
            expect_op(";", 905);
        } else {
            if (peek().kind != tok::bind || peek().text != "NEW")
                missing(905);
            ++i_;
            expect_op(".", 905);
            col = name();
            expect_op(":=", 905);
            seq = name();
            expect_op(".", 905);
            expect_kw("NEXTVAL", 905);
            expect_op(";", 905);
        }
        expect_kw("END", 905);
        if (is_name())
            ++i_;
        expect_op(";", 905);
        if (!at_end())
            missing(905);
        st.trg_column = col;
        st.trg_sequence = seq;
        st.trg_valid = when_col.empty() || when_col == col;
    } catch (const ora_error &) {
        i_ = body;
        st.trg_valid = false;
    }
    return st;
}

statement parser::alter()
{
    statement st;
    if (!accept_kw("TABLE"))
        fail(940);
    qualified(st.schema, st.table);
    if (accept_kw("ADD")) {
        constraint_spec c;
        if (accept_kw("CONSTRAINT")) {
            c.name = name();
            if (!constraint_tail(c))
                missing(902);
        } else if (!constraint_tail(c)) {
            st.kind = statement::alter_add_columns;
            if (accept_op("(")) {
                do
                    st.col_specs.push_back(column_def(false));
                while (accept_op(","));
                expect_op(")", 907);
            } else {
                st.col_specs.push_back(column_def(false));
            }
            finish();
            return st;
        }
        st.kind = statement::alter_add_constraint;
        st.cons.push_back(c);
        finish();
        return st;
    }
    if (accept_kw("MODIFY")) {
        st.kind = statement::alter_modify;
        if (accept_op("(")) {
            do
                st.col_specs.push_back(column_def(true));
            while (accept_op(","));
            expect_op(")", 907);
        } else {
            st.col_specs.push_back(column_def(true));
        }
        finish();
        return st;
    }
    if (accept_kw("DROP")) {
        st.kind = statement::alter_drop_constraint;
        if (accept_kw("CONSTRAINT")) {
            st.name = name();
        } else if (accept_kw("PRIMARY")) {
            expect_kw("KEY", 905);
            st.object_type = "PRIMARY";
        } else {
            fail(905);
        }
        accept_kw("CASCADE");
        finish();
        return st;
    }
    fail(922);
}

statement parser::drop()
{
    statement st;
    st.kind = statement::drop;
    static const char *const types[] = {"TABLE", "VIEW", "SEQUENCE", "INDEX", "TRIGGER"};
    for (const char *k : types)
        if (accept_kw(k))
            st.object_type = k;
    if (st.object_type.empty())
        fail(950);
    qualified(st.schema, st.table);
    if (st.object_type == "TABLE") {
        if (accept_kw("CASCADE")) {
            expect_kw("CONSTRAINTS", 905);
            st.cascade = true;
        }
        accept_kw("PURGE");
    }
    finish();
    return st;
}

statement parser::insert()
{
    statement st;
    st.kind = statement::insert;
    expect_kw("INTO", 925);
    qualified(st.schema, st.table);
    if ((peek().kind == tok::ident && !reserved().count(peek().text)) || peek().kind == tok::quoted)
        st.alias = name();
    if (is_op("(") && !is_kw("SELECT", 1))
        st.columns = name_list();
    if (accept_kw("VALUES")) {
        expect_op("(", 906);
        do
            st.values.push_back(expression());
        while (accept_op(","));
        expect_op(")", 907);
    } else if (is_kw("SELECT") || is_op("(")) {
        bool paren = accept_op("(");
        st.query = select();
        if (paren)
            expect_op(")", 907);
    } else {
        missing(926);
    }
    if (accept_kw("RETURNING") || accept_kw("RETURN")) {
        do
            st.returning.push_back(expression());
        while (accept_op(","));
        expect_kw("INTO", 925);
        do {
            if (peek().kind != tok::bind)
                missing(936);
            st.into.push_back(t_[i_++].text);
        } while (accept_op(","));
        if (st.into.size() < st.returning.size())
            fail(947);
        if (st.into.size() > st.returning.size())
            fail(913);
    }
    finish();
    return st;
}

statement parser::update()
{
    statement st;
    st.kind = statement::update;
    qualified(st.schema, st.table);
    if ((peek().kind == tok::ident && !reserved().count(peek().text)) || peek().kind == tok::quoted)
        st.alias = name();
    expect_kw("SET", 905);
    do {
        std::string col = name();
        if (accept_op(".")) {
            col = name();
        }
        expect_op("=", 927);
        st.sets.emplace_back(col, expression());
    } while (accept_op(","));
    if (accept_kw("WHERE"))
        st.where = expression();
    finish();
    return st;
}

statement parser::delete_()
{
    statement st;
    st.kind = statement::delete_;
    accept_kw("FROM");
    qualified(st.schema, st.table);
    if ((peek().kind == tok::ident && !reserved().count(peek().text)) || peek().kind == tok::quoted)
        st.alias = name();
    if (accept_kw("WHERE"))
        st.where = expression();
    finish();
    return st;
}

statement parser::run()
{
    if (at_end())
        fail(900);
    if (is_kw("SELECT") || is_op("(")) {
        statement st;
        st.kind = statement::select;
        bool paren = accept_op("(");
        st.query = select();
        if (paren)
            expect_op(")", 907);
        finish();
        return st;
    }
    if (accept_kw("INSERT"))
        return insert();
    if (accept_kw("UPDATE"))
        return update();
    if (accept_kw("DELETE"))
        return delete_();
    if (accept_kw("CREATE"))
        return create();
    if (accept_kw("ALTER"))
        return alter();
    if (accept_kw("DROP"))
        return drop();
    if (accept_kw("COMMENT")) {
        statement st;
        st.kind = statement::comment;
        expect_kw("ON", 969);
        if (accept_kw("COLUMN")) {
            st.object_type = "COLUMN";
            std::string a = name();
            expect_op(".", 905);
            std::string b = name();
            if (accept_op(".")) {
                st.schema = a;
                st.table = b;
                st.name = name();
            } else {
                st.table = a;
                st.name = b;
            }
        } else if (accept_kw("TABLE")) {
            st.object_type = "TABLE";
            qualified(st.schema, st.table);
        } else {
            fail(905);
        }
        expect_kw("IS", 905);
        if (peek().kind != tok::string)
            missing(936);
        st.text = t_[i_++].text;
        finish();
        return st;
    }
    if (accept_kw("TRUNCATE")) {
        statement st;
        st.kind = statement::truncate;
        expect_kw("TABLE", 905);
        qualified(st.schema, st.table);
        finish();
        return st;
    }
    if (accept_kw("COMMIT") || accept_kw("ROLLBACK")) {
        statement st;
        st.kind = t_[i_ - 1].text == "COMMIT" ? statement::commit : statement::rollback;
        accept_kw("WORK");
        finish();
        return st;
    }
    fail(900);
}

} // namespace

statement parse(const std::string &sql, const std::vector<token> &toks)
{
    parser p(sql, toks);
    return p.run();
}

} // namespace ocs
