#include "agent_fixture.hpp"

#include <pqxx/pqxx>

#include <string>
#include <vector>

using strings = std::vector<std::string>;

namespace {

// how a column's value is compared between the two sides
enum class kind { number, text, flag, timestamp, date, bytes };

struct column {
    std::string source;      // the postgresql column
    std::string dest;        // the oracle column
    kind k;
    bool lob = false;        // a large object keeps an empty value; other columns make it NULL
};

struct table {
    std::string source;
    std::string dest;
    std::string order;       // the key, by position
    std::vector<column> columns;
};

// a decimal text as sign, significant digits and exponent: 1.50, .15E+1 and 1.5e0 agree
std::string decimal_key(const std::string& text)
{
    if (text == "~")
        return text;
    std::string digits;
    long exponent = 0;
    bool negative = false, point = false;
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits += c;
            if (point)
                --exponent;
        } else if (c == 'e' || c == 'E') {
            exponent += std::stol(text.substr(i + 1));
            break;
        } else {
            return "not a number: " + text;
        }
    }
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return "0";
    digits.erase(0, first);
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    return (negative ? "-" : "") + digits + "e" + std::to_string(exponent);
}

// the select item giving the postgresql value in the form oracle shows it; outside large
// objects oracle keeps no empty text or empty bytes: both are NULL there
std::string source_item(const column& c)
{
    const std::string name = "\"" + c.source + "\"";
    if (c.lob)
        return c.k == kind::bytes ? "upper(encode(" + name + ", 'hex'))" : name;
    switch (c.k) {
    case kind::number:
        return name + "::text";
    case kind::flag:
        return name + "::int::text";
    case kind::timestamp:
        return "to_char(" + name + ", 'YYYY-MM-DD HH24:MI:SS')";
    case kind::date:
        return "to_char(" + name + ", 'YYYY-MM-DD') || ' 00:00:00'";
    case kind::bytes:
        return "nullif(upper(encode(" + name + ", 'hex')), '')";
    case kind::text:
        break;
    }
    return "nullif(" + name + "::text, '')";
}

// orasql's escapes of a value
std::string escaped(const std::string& value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

const std::vector<table> sample = {
    {"customers", "customers", "1",
     {{"id", "id", kind::number}, {"name", "name", kind::text}, {"email", "email", kind::text},
      {"city", "city", kind::text}, {"active", "active", kind::flag},
      {"balance", "balance", kind::number}, {"joined", "joined", kind::timestamp}}},
    {"documents", "documents", "1",
     {{"doc_id", "doc_id", kind::number}, {"title", "title", kind::text},
      {"body", "body", kind::text, true}, {"payload", "payload", kind::bytes, true},
      {"token", "token", kind::text}, {"created", "created", kind::date}}},
    {"measurements", "measurements", "1, 2",
     {{"sensor", "sensor", kind::number}, {"taken", "taken", kind::timestamp},
      {"reading", "reading", kind::number}, {"ratio", "ratio", kind::number},
      {"counter", "counter", kind::number}}},
    {"order", "order", "1", {{"select", "select", kind::number}, {"comment", "comment", kind::text}}},
    {"line items", "line_items", "1",
     {{"line no", "line_no", kind::number}, {"order no", "order_no", kind::number},
      {"unit price", "unit_price", kind::number}, {"quantity", "quantity", kind::number},
      {"note", "note", kind::text, true}}},
};

} // namespace

TEST_F(kestrun_conversion, sample_database_arrives_value_by_value)
{
    pg.exec(test_read_file(DEMO_SAMPLE_SQL));
    const kestrun_result r = run({});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");

    pqxx::connection source(pg.conn_string());
    for (const table& t : sample) {
        std::string pg_select, ora_select;
        for (const column& c : t.columns) {
            pg_select += (pg_select.empty() ? "" : ", ") + source_item(c);
            ora_select += (ora_select.empty() ? "" : ", ") + ("\"" + c.dest + "\"");
        }
        pqxx::nontransaction tx(source);
        const pqxx::result expected =
            tx.exec("SELECT " + pg_select + " FROM \"" + t.source + "\" ORDER BY " + t.order);
        const strings arrived =
            oracle("SELECT " + ora_select + " FROM \"" + t.dest + "\" ORDER BY " + t.order + ";");
        ASSERT_EQ(arrived.size(), expected.size()) << t.source;
        for (size_t row = 0; row < arrived.size(); ++row) {
            const strings values = [&] {
                strings out;
                std::string line = arrived[row];
                for (size_t tab; (tab = line.find('\t')) != std::string::npos; line.erase(0, tab + 1))
                    out.push_back(line.substr(0, tab));
                out.push_back(line);
                return out;
            }();
            ASSERT_EQ(values.size(), t.columns.size()) << t.source << " row " << row;
            for (size_t i = 0; i < values.size(); ++i) {
                const column& c = t.columns[i];
                const std::string want = expected[row][static_cast<int>(i)].is_null()
                                             ? "~"
                                             : escaped(expected[row][static_cast<int>(i)].c_str());
                if (c.k == kind::number)
                    EXPECT_EQ(decimal_key(values[i]), decimal_key(want))
                        << t.source << "." << c.source << " row " << row << ": " << values[i];
                else
                    EXPECT_EQ(values[i], want) << t.source << "." << c.source << " row " << row;
            }
        }
    }

    // keys, unique constraints and plain indexes
    EXPECT_EQ(oracle("SELECT constraint_type, COUNT(*) FROM user_constraints "
                     "GROUP BY constraint_type ORDER BY 1;"),
              (strings{"P\t5", "U\t1"}));
    EXPECT_EQ(oracle("SELECT COUNT(*) FROM user_indexes WHERE uniqueness = 'NONUNIQUE';"),
              strings{"2"});
}
