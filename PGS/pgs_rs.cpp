#include "pgs_rs.hpp"

#include "pgs_copy.hpp"
#include "pgs_impl.hpp"
#include "pgs_session.hpp"
#include "pgs_type.hpp"
#include "pgs_value.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <vector>
#include <climits>
#include <cstdlib>

namespace {

// put before a date's text where it cannot travel as a date
constexpr char k_date_marker = '?';

// rows per FETCH, and the bytes a batch should stay within: wide rows get
// smaller batches, so memory stays flat whatever the table. the width of a row
// is known only once one is read: the first FETCH takes one row, and each later
// one at most twice the rows of the one before
constexpr long k_batch_rows = 10000;
constexpr size_t k_batch_bytes = 16u << 20;

constexpr pqxx::oid k_oid_bpchar = 1042;
constexpr pqxx::oid k_oid_varchar = 1043;
constexpr pqxx::oid k_oid_bit = 1560;
constexpr pqxx::oid k_oid_varbit = 1562;
constexpr pqxx::oid k_oid_numeric = 1700;

// precision << 8 | scale where oracle's NUMBER can take it, else 0
int decimal_reserved(long long precision, long long scale)
{
    if (precision < 1 || precision > 38 || scale < 0 || scale > precision)
        return 0;
    return static_cast<int>(precision << 8 | scale);
}

// a uuid's text is always 36 characters: with that size it stays a text column that a
// key or an index can cover, not a large object
constexpr int k_uuid_text_size = 36;

int known_text_size(const std::string& type_name, int size)
{
    return size == 0 && type_name == "uuid" ? k_uuid_text_size : size;
}

bool is_name_char(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c >= 0x80;
}

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
}

// the text without the semicolons that end it, which would break it as a subquery: psql
// runs "SELECT 1; -- done" as the query alone. literals, quoted names and comments are
// skipped over, so that a ';' or a "--" inside them is no end. a semicolon between two
// statements stays: the server refuses such a text. empty when nothing but blanks,
// comments and semicolons is left
std::wstring strip_query(const std::wstring& text)
{
    const size_t n = text.size();
    size_t end = 0;   // after the last character that is neither blank, comment nor ';'
    std::vector<size_t> semicolons;
    size_t word_start = 0;
    size_t word_end = 0;
    size_t i = 0;
    while (i < n) {
        const wchar_t c = text[i];
        const wchar_t after = i + 1 < n ? text[i + 1] : L'\0';
        if (c == L'-' && after == L'-') {
            while (i < n && text[i] != L'\n')
                ++i;
        } else if (c == L'/' && after == L'*') {
            // block comments nest
            int depth = 0;
            do {
                if (text[i] == L'/' && i + 1 < n && text[i + 1] == L'*') {
                    ++depth;
                    i += 2;
                } else if (text[i] == L'*' && i + 1 < n && text[i + 1] == L'/') {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            } while (i < n && depth > 0);
        } else if (c == L';') {
            semicolons.push_back(i++);
        } else if (is_blank(c)) {
            ++i;
        } else if (c == L'\'' || c == L'"') {
            // E'...' takes backslash escapes; elsewhere only a doubled quote is one
            const bool escapes = c == L'\'' && word_end == i && word_end - word_start == 1 &&
                                 (text[word_start] == L'E' || text[word_start] == L'e');
            ++i;
            while (i < n) {
                if (escapes && text[i] == L'\\') {
                    i += 2;
                } else if (text[i] == c) {
                    ++i;
                    if (i >= n || text[i] != c)
                        break;
                    ++i;
                } else {
                    ++i;
                }
            }
            end = std::min(i, n);
        } else if (c == L'$' && (after == L'$' || (is_name_char(after) && !(after >= L'0' &&
                                                                              after <= L'9')))) {
            // $tag$...$tag$, unless the tag does not close: then a name's character
            size_t close = i + 1;
            while (close < n && is_name_char(text[close]))
                ++close;
            if (close < n && text[close] == L'$') {
                const std::wstring tag = text.substr(i, close - i + 1);
                const size_t found = text.find(tag, close + 1);
                i = found == std::wstring::npos ? n : found + tag.size();
            } else {
                i = close;
            }
            end = i;
        } else if (is_name_char(c)) {
            // a name or a number, with the '$' that a name may hold
            word_start = i;
            while (i < n && (is_name_char(text[i]) || text[i] == L'$'))
                ++i;
            word_end = end = i;
        } else {
            end = ++i;
        }
    }
    if (end == 0)
        return std::wstring();
    std::wstring stripped;
    for (size_t k = 0; k < n; ++k)
        if (k < end || std::find(semicolons.begin(), semicolons.end(), k) == semicolons.end())
            stripped += text[k];
    size_t last = stripped.size();
    while (last > 0 && is_blank(stripped[last - 1]))
        --last;
    return stripped.substr(0, last);
}

// the value of one column into out (left empty for NULL), or a failure text when it
// cannot travel unchanged. large values are built in place: a copy of a wide value
// would hold its memory twice
void read_value(const pgs_ftd& field, const pqxx::field& column, std::string& failure,
                ole_variant& out)
{
    if (column.is_null())
        return;
    const char* text = column.c_str();
    // the failure text names the first value of the row that cannot travel
    const auto fail = [&](const char* why) {
        // a date's marker is ours, not part of the value
        const char* shown = field.vartype == VT_DATE && text[0] == k_date_marker ? text + 1 : text;
        if (failure.empty())
            failure = "The value " + std::string(shown) + " of column \"" +
                      tk_to_utf8(field.name) + "\" " + why;
    };
    // the server's text forms are fixed, so the common types are read directly
    // into the values the variant library would build from them
    switch (field.vartype) {
    case VT_BSTR:
        // the server's text holds no NUL
        out.attach_utf8(text, column.size());
        return;
    case VT_BLOB:
        // decoded straight into the value: a wide value is held once more, not three
        // times
        if (!pgs_decode_base64(text, column.size(), out))
            fail("cannot be read as bytes");
        return;
    case VT_DECIMAL: {
        DECIMAL value;
        if (!pgs_parse_decimal(text, value))
            return fail("cannot be held exactly as a decimal");
        out = ole_variant(value);
        return;
    }
    case VT_DATE: {
        SYSTEMTIME value;
        if (!pgs_parse_date(text, value))
            return fail("is not a date that can be converted");
        out = ole_variant(value);
        return;
    }
    case VT_BOOL:
        out = ole_variant(text[0] == 't');
        return;
    case VT_I2:
    case VT_I4:
    case VT_I8:
        if (!pgs_parse_integer(text, field.vartype, out))
            fail("does not fit the column's integer type");
        return;
    case VT_R8:
        out = ole_variant(std::strtod(text, nullptr));
        return;
    default:
        out = ole_variant::from_string(text, field.vartype);
        return;
    }
}

// LOCK TABLE in a savepoint: false when the server refuses it (the lock needs the table's
// own privilege, a read only its columns'). a relation that is gone is a missing table when
// `listed` says the database listed it
bool lock_relation(pqxx::dbtransaction& tx, const std::string& relation, bool listed)
{
    try {
        pqxx::subtransaction lock(tx, "lock_table");
        lock.exec("LOCK TABLE " + relation + " IN ACCESS SHARE MODE");
        lock.commit();
        return true;
    } catch (const pqxx::sql_error& e) {
        const std::string state = e.sqlstate();
        // dropped, or renamed, since the database listed its tables
        if (listed && (state == "42P01" || state == "3F000"))
            throw pgs_exception(e.what(), tk_error_kind::missing_table);
        tk_trace(2, "%s", e.what());
        return false;
    }
}

// the first oid of objects made after the cluster was: the catalogue's own are below
constexpr unsigned k_first_user_oid = 16384;

// how often a read starts again when a table it reads was rewritten before it was locked
constexpr int k_read_attempts = 5;

// whether a table this transaction holds a lock on, other than those locked before its
// snapshot, was rewritten (ALTER TABLE ... TYPE, TRUNCATE, REFRESH MATERIALIZED VIEW) after
// the snapshot was taken and before the lock: the snapshot would see none of its rows. the
// snapshot's catalogue gives the storage the table had, the current one the storage it has
bool rewritten_since_snapshot(pqxx::transaction_base& tx, const std::vector<unsigned>& locked)
{
    std::string before;
    for (const unsigned oid : locked)
        before += (before.empty() ? "" : ",") + std::to_string(oid);
    const pqxx::result found = tx.exec(
        "SELECT pg_catalog.count(*) FROM pg_catalog.pg_locks l WHERE l.locktype = 'relation' "
        "AND l.pid = pg_catalog.pg_backend_pid() AND l.granted AND l.relation >= " +
        std::to_string(k_first_user_oid) + " AND l.relation <> ALL ('{" + before +
        "}'::pg_catalog.oid[]) "
        // an index is rebuilt with its table, and also alone without a change of rows
        "AND pg_catalog.pg_get_indexdef(l.relation) IS NULL "
        "AND pg_catalog.pg_relation_filenode(l.relation) IS NOT NULL "
        "AND pg_catalog.pg_relation_filenode(l.relation) IS DISTINCT FROM "
        "(SELECT c.relfilenode FROM pg_catalog.pg_class c WHERE c.oid = l.relation)");
    return found[0][0].as<long long>() != 0;
}

// the end of reads that found a rewrite at every attempt
pgs_exception rewritten_each_time(const std::wstring& name)
{
    return pgs_exception("Cannot read " + tk_to_utf8(name) +
                         ": another session rewrote a table it reads each time before the run "
                         "could lock it");
}

} // namespace

struct pgs_recordset::reader {
    explicit reader(pgs_session& session)
        : session(session), tx(session.connection(), "read_source")
    {
        session.add_open_read(1);
        session.set_snapshot(&tx);
    }
    ~reader()
    {
        session.set_snapshot(nullptr);
        session.add_open_read(-1);
    }

    // asks for the next batch, which the server computes while this one is read
    void request()
    {
        requested = fetch_count;
        pending = pipe->insert("FETCH FORWARD " + std::to_string(requested) + " FROM pgs_rows");
        has_pending = true;
    }

    pgs_session& session;
    pgs_source_transaction tx;
    // the relations of a query locked before its snapshot
    std::vector<unsigned> locked;
    // the cursor of the rows is declared: a later reset needs a read of its own
    bool declared = false;
    // destroyed before the transaction it runs in
    std::unique_ptr<pqxx::pipeline> pipe;
    pqxx::pipeline::query_id pending = 0;
    bool has_pending = false;
    long requested = 0;
    pqxx::result batch;
    // rows of the batch, also once it is released
    size_t rows = 0;
    size_t row = 0;
    // the current row is in m_current_record (with its failure text)
    bool row_built = false;
    std::string row_failure;
    long fetch_count = 1;
    size_t widest_row = 0;
    bool last_batch = false;
};

pgs_recordset::pgs_recordset(pgs_session& session,
                             const std::pair<std::wstring, std::wstring>& location,
                             const std::wstring& name, int mode, bool partitioned)
    : udb_recordset(name), m_session(session), m_schema_name(location.first),
      m_table_name(location.second), m_partitioned(partitioned)
{
    tk_wtrace(2, L"pgs_recordset::pgs_recordset2(%ls)", name.c_str());
    open_read();
    init_schema(m_reader->tx);
    if (!schema.fields.empty()) {
        if (mode == 1)
            init_indexes(m_reader->tx);
        tk_trace(2, "Got %d records", static_cast<int>(schema.fields.size()));
    } else {
        tk_trace(2, "Empty table");
    }
    rec_count = get_rec_count(m_reader->tx);
    end_catalogue_read(mode);
}

pgs_recordset::pgs_recordset(pgs_session& session,
                             const std::pair<std::wstring, std::wstring>& location,
                             const std::wstring& name, const std::wstring& text, int mode)
    : udb_recordset(name, strip_query(text)), m_session(session),
      m_schema_name(location.first), m_table_name(location.second)
{
    tk_wtrace(2, L"pgs_recordset::pgs_recordset1(%ls)", name.c_str());
    if (this->text.empty())
        throw pgs_exception("The query of " + tk_to_utf8(name) + " is empty");
    for (int attempt = 1;; ++attempt) {
        open_read();
        init_query_schema(m_reader->tx);
        rec_count = get_rec_count(m_reader->tx);
        // counting ran the functions the query calls, which locked the tables they read
        // only now: one rewritten since the snapshot is read again
        if (!query_rewritten_since_snapshot())
            break;
        m_reader.reset();
        schema.fields.clear();
        if (attempt == k_read_attempts)
            throw rewritten_each_time(m_table_name.empty() ? name : m_table_name);
    }
    end_catalogue_read(mode);
}

bool pgs_recordset::query_rewritten_since_snapshot()
{
    pqxx::dbtransaction& tx = m_reader->tx;
    return pgs_guard("Cannot read the records of " + shown_name() + ": ", [&] {
        pgs_pin_catalog(tx);
        const bool rewritten = rewritten_since_snapshot(tx, m_reader->locked);
        // the query's values are sent on the database's own search_path
        tx.exec("SET LOCAL search_path TO DEFAULT");
        return rewritten;
    });
}

void pgs_recordset::open_read()
{
    for (int attempt = 1;; ++attempt) {
        // a query's tables are found before its snapshot, to be locked before it is taken
        const std::vector<std::pair<unsigned, std::string>> tables =
            is_query() ? find_query_tables() : std::vector<std::pair<unsigned, std::string>>();
        bool whole = false;
        try {
            whole = pgs_guard("Cannot begin reading " + shown_name() + ": ", [&] {
                m_reader = std::make_unique<reader>(m_session);
                pqxx::dbtransaction& tx = m_reader->tx;
                if (!is_query()) {
                    // a query runs on the database's own search_path, the reader's statements
                    // on this
                    pgs_pin_catalog(tx);
                    if (lock_table(tx))
                        return true;
                    // the snapshot, then the table's lock, by planning its read
                    pgs_plan_on_own_path(tx, m_session);
                    tx.exec("SELECT NULL FROM " + get_source() + " LIMIT 0");
                    pgs_pin_catalog(tx);
                    return !rewritten_since_snapshot(tx, {});
                }
                std::vector<unsigned> locked;
                for (const auto& table : tables)
                    if (lock_relation(tx, table.second, false))
                        locked.push_back(table.first);
                // the snapshot, then the locks of every table the query reads (also one that
                // was not found, or not locked, before), by planning it
                m_reader->locked = locked;
                pgs_exec_single(tx, "SELECT * FROM " + query_subquery() + " LIMIT 0");
                pgs_pin_catalog(tx);
                const bool unchanged = !rewritten_since_snapshot(tx, locked);
                tx.exec("SET LOCAL search_path TO DEFAULT");
                return unchanged;
            });
        } catch (...) {
            m_reader.reset();
            throw;
        }
        if (whole)
            return;
        m_reader.reset();
        tk_trace(2, "A table was rewritten between the snapshot and its lock: read again");
        if (attempt == k_read_attempts)
            throw rewritten_each_time(m_table_name.empty() ? name : m_table_name);
    }
}

std::vector<std::pair<unsigned, std::string>> pgs_recordset::find_query_tables()
{
    return pgs_guard("Cannot begin reading " + shown_name() + ": ", [&] {
        return pgs_run_read(m_session, "query_tables", [&](pqxx::transaction_base& tx) {
            // the user's text must not write, not even when planning calls its functions
            tx.exec("SET TRANSACTION READ ONLY");
            tx.exec("SET LOCAL search_path TO DEFAULT");
            // planning the query locks every relation it reads, views and partitions too
            pgs_exec_single(tx, "SELECT * FROM " + query_subquery() + " LIMIT 0");
            pgs_pin_catalog(tx);
            const pqxx::result rows = tx.exec(
                "SELECT l.relation, pg_catalog.quote_ident(n.nspname) || '.' || "
                "pg_catalog.quote_ident(c.relname) FROM pg_catalog.pg_locks l "
                "JOIN pg_catalog.pg_class c ON c.oid = l.relation "
                "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                "WHERE l.locktype = 'relation' AND l.pid = pg_catalog.pg_backend_pid() AND "
                "l.granted AND l.relation >= " + std::to_string(k_first_user_oid) +
                " AND c.relkind IN ('r', 'p', 'v') ORDER BY 1");
            std::vector<std::pair<unsigned, std::string>> tables;
            for (const pqxx::row& row : rows)
                tables.emplace_back(row[0].as<unsigned>(), row[1].c_str());
            return tables;
        });
    });
}

bool pgs_recordset::lock_table(pqxx::dbtransaction& tx)
{
    // before the first read takes the snapshot: a change of the table's definition (a new
    // type of a column, a TRUNCATE) waits until its rows are read. committed after the
    // snapshot, it would have rewritten the table into rows the snapshot does not see
    return lock_relation(tx, get_source(), true);
}

void pgs_recordset::end_catalogue_read(int mode)
{
    // a table opened to take rows would have its load wait for this transaction
    if (mode != 1)
        m_reader.reset();
}

pgs_recordset::~pgs_recordset()
{
    tk_trace(1, "pgs_recordset::~pgs_recordset");
    pgs_load::finish(std::move(m_load), name);
    // ends the read transaction (and with it the cursor) without commit
    m_reader.reset();
    tk_trace(1, "pgs_recordset::~pgs_recordset - END");
}

void pgs_recordset::append_record(const udb_record& record)
{
    tk_trace(1, "pgs_recordset::append_record");
    tk_wtrace(1, L"get_name()=%ls", name.c_str());
    if (!m_load)
        m_load = std::make_unique<pgs_load>(m_session, get_safe_table_name(), schema);
    m_load->write_record(record);
}

void pgs_recordset::complete()
{
    // whatever happens, this load ends here: a failed one is rolled back
    if (const std::unique_ptr<pgs_load> load = std::move(m_load))
        load->complete();
}

std::string pgs_recordset::get_table_sql() const
{
    return "SELECT ordinal_position, column_name,  data_type, character_maximum_length, "
           "column_default, is_nullable, numeric_precision, numeric_precision_radix, "
           "numeric_scale, datetime_precision FROM information_schema.columns  WHERE "
           "table_schema = " +
           m_session.literal(m_schema_name) +
           " AND table_name = " + m_session.literal(m_table_name) +
           " order by table_name, ordinal_position ";
}

void pgs_recordset::init_schema(pqxx::dbtransaction& tx)
{
    tk_trace(2, "pgs_recordset::init_schema");
    pgs_guard("Cannot read the columns of " + shown_name() + ": ", [&] {
        const pqxx::result rows = tx.exec(get_table_sql());
        for (const pqxx::row& row : rows) {
            const std::string type_name = row[2].c_str();
            const VARTYPE vartype = pgs_get_vartype(type_name);
            const int size = known_text_size(type_name, row[3].is_null() ? 0 : row[3].as<int>());
            const bool not_null = std::string(row[5].c_str()) != "YES";
            int reserved = 0;
            if (vartype == VT_DECIMAL && !row[6].is_null() && !row[8].is_null())
                reserved = decimal_reserved(row[6].as<long long>(), row[8].as<long long>());
            schema.add_field(std::make_unique<pgs_ftd>(size, tk_from_utf8(row[1].c_str()), vartype,
                                                       not_null, reserved, type_name,
                                                       row[0].as<int>()));
        }
        // information_schema lists only the columns the user holds a privilege on: a column
        // it cannot read would otherwise be left out of the copy without a word
        const pqxx::result hidden = tx.exec(
            "SELECT attname FROM pg_catalog.pg_attribute WHERE attrelid = " +
            m_session.connection().quote(m_session.qualified_name(m_schema_name, m_table_name)) +
            "::regclass AND attnum > 0 AND NOT attisdropped AND NOT "
            "has_column_privilege(attrelid, attnum, 'SELECT') ORDER BY attnum");
        if (!hidden.empty()) {
            std::string names;
            for (const pqxx::row& row : hidden)
                names += (names.empty() ? "" : ", ") + std::string(row[0].c_str());
            throw pgs_exception("Cannot read the columns of " + tk_to_utf8(m_table_name) +
                                ": permission denied for column " + names);
        }
    });
}

void pgs_recordset::init_query_schema(pqxx::dbtransaction& tx)
{
    tk_trace(2, "pgs_recordset::init_query_schema");
    pgs_guard("Cannot read the columns of " + shown_name() + ": ", [&] {
        const pqxx::result shape =
            pgs_exec_single(tx, "SELECT * FROM " + query_subquery() + " LIMIT 0");
        pgs_pin_catalog(tx);
        for (pqxx::row_size_type i = 0; i < shape.columns(); ++i) {
            const pqxx::oid type = shape.column_type(i);
            const pqxx::oid table = shape.column_table(i);
            // the type modifier is known only for a column taken from a table
            std::string sql = "SELECT format_type(" + std::to_string(type) + ", NULL)";
            if (table != 0)
                sql += ", (SELECT atttypmod FROM pg_attribute WHERE attrelid = " +
                       std::to_string(table) +
                       " AND attnum = " + std::to_string(shape.table_column(i) + 1) + ")";
            const pqxx::result described = tx.exec(sql);
            const std::string type_name = described[0][0].c_str();
            const int typmod =
                table != 0 && !described[0][1].is_null() ? described[0][1].as<int>() : -1;
            const VARTYPE vartype = pgs_get_vartype(type_name);
            int size = 0;
            int reserved = 0;
            if ((type == k_oid_bpchar || type == k_oid_varchar) && typmod >= 4)
                size = typmod - 4;
            else if ((type == k_oid_bit || type == k_oid_varbit) && typmod > 0)
                size = typmod;
            else if (type == k_oid_numeric && typmod >= 4)
                reserved = decimal_reserved((typmod - 4) >> 16 & 0xffff, (typmod - 4) & 0xffff);
            size = known_text_size(type_name, size);
            schema.add_field(std::make_unique<pgs_ftd>(size, tk_from_utf8(shape.column_name(i)),
                                                       vartype, false, reserved, type_name,
                                                       static_cast<int>(i) + 1));
        }
        // the count and the rows run on the database's own search_path again
        tx.exec("SET LOCAL search_path TO DEFAULT");
    });
}

std::string pgs_recordset::get_safe_table_name() const
{
    tk_trace(1, "pgs_recordset::get_safe_table_name");
    // always the stored schema: no_schema only shapes the listed names
    return m_session.qualified_name(m_schema_name, m_table_name);
}

std::string pgs_recordset::get_source() const
{
    // a table's rows are its own, not those of the tables that inherit from it; a
    // partitioned table has none but those of its partitions
    if (!is_query())
        return (m_partitioned ? "" : "ONLY ") + get_safe_table_name();
    // the query's columns get names of their own: its names may repeat
    std::string source = query_subquery();
    for (size_t i = 0; i < schema.fields.size(); ++i)
        source += (i == 0 ? "(c" : ", c") + std::to_string(i + 1);
    if (!schema.fields.empty())
        source += ")";
    return source;
}

std::string pgs_recordset::shown_name() const
{
    return tk_to_ansi(m_table_name.empty() ? name : m_table_name);
}

std::string pgs_recordset::query_subquery() const
{
    // on a line of its own: a "--" comment at the end of the text runs to the line's end
    return "(" + tk_to_utf8(text) + "\n) AS q";
}

int pgs_recordset::get_rec_count(pqxx::dbtransaction& tx)
{
    tk_trace(1, "pgs_recordset::get_rec_count");
    return pgs_guard("Cannot get number of records (" + shown_name() + "): ", [&] {
        if (!is_query())
            pgs_plan_on_own_path(tx, m_session);
        const pqxx::result rows =
            pgs_exec_single(tx, "SELECT pg_catalog.count(*) FROM " + get_source());
        if (!is_query())
            pgs_pin_catalog(tx);
        const long long count = rows[0][0].as<long long>();
        return count > INT_MAX ? INT_MAX : static_cast<int>(count);
    });
}

std::string pgs_recordset::get_select_fields() const
{
    tk_trace(1, "pgs_recordset::get_select_fields");
    std::string items;
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        const pgs_ftd& field = static_cast<const pgs_ftd&>(*schema.fields[i]);
        const std::string column = is_query() ? "c" + std::to_string(i + 1)
                                              : m_session.identifier(field.name);
        if (i != 0)
            items += ", ";
        // qualified: a query's rows are read on the database's own search_path
        switch (field.vartype) {
        case VT_DATE: {
            // a date alone would take the to_char of timestamptz: its local midnight, which
            // a day starting summer time lacks, so the value would move. as a timestamp it
            // stays that day at 00:00 in every time zone
            const std::string value = field.pg_type_name == "date"
                                          ? column + "::pg_catalog.timestamp"
                                          : column;
            // to_char gives NULL for infinity, drops the era of a BC date and fails the
            // whole read for a date beyond the timestamp range: those come as a marked
            // text no date parser takes, so that get_item reports their record alone
            items += "CASE WHEN pg_catalog.isfinite(" + column + ") AND " + column +
                     " OPERATOR(pg_catalog.>=) '0001-01-01' AND " + column +
                     " OPERATOR(pg_catalog.<) '10000-01-01' THEN pg_catalog.to_char(" + value +
                     ", 'DD-MM-YYYY HH24:MI:SS US') ELSE '" + k_date_marker +
                     "' OPERATOR(pg_catalog.||) " + column + "::pg_catalog.text END as " + column;
            break;
        }
        case VT_BOOL:
            // a NULL stays NULL
            items += "CASE WHEN " + column + " THEN 'true' WHEN NOT " + column +
                     " THEN 'false' END ";
            break;
        case VT_DECIMAL:
            items += field.pg_type_name == "money" ? column + "::pg_catalog.numeric" : column;
            break;
        case VT_BLOB:
            // base64 takes a third less of the client library's memory than the hex form
            items += "pg_catalog.encode(" + column + ", 'base64') as " + column;
            break;
        default:
            items += column;
        }
    }
    return items;
}

void pgs_recordset::reset()
{
    tk_trace(1, "pgs_recordset::reset");
    const std::string select = "SELECT " + get_select_fields() + " FROM " + get_source();
    // the first reading takes the rows of the snapshot its columns came from; reading again
    // takes a read of its own: one transaction at a time on the connection
    if (!m_reader || m_reader->declared) {
        finish();
        open_read();
    }
    m_reader->declared = true;
    pgs_guard("Cannot read the records of " + shown_name() + ": ", [&] {
        try {
            // a table's read is planned on the path its users have, its values sent on
            // the pinned one
            if (!is_query())
                pgs_plan_on_own_path(m_reader->tx, m_session);
            pgs_exec_single(m_reader->tx, "DECLARE pgs_rows NO SCROLL CURSOR FOR " + select);
            if (!is_query())
                pgs_pin_catalog(m_reader->tx);
            m_reader->pipe = std::make_unique<pqxx::pipeline>(m_reader->tx);
            m_reader->pipe->retain(0);
            fetch(!is_query());
            if (is_query()) {
                // the first row ran the functions the query calls, whose tables were locked
                // only then: one rewritten since the snapshot would be read empty
                m_reader->pipe.reset();
                if (query_rewritten_since_snapshot())
                    throw pgs_exception("Cannot read the records of " + shown_name() +
                                        ": another session rewrote a table the query reads "
                                        "after the run began reading it");
                m_reader->pipe = std::make_unique<pqxx::pipeline>(m_reader->tx);
                m_reader->pipe->retain(0);
                request_next();
            }
        } catch (...) {
            finish();
            throw;
        }
    });
    m_eof = m_reader->batch.empty();
    if (m_eof)
        finish();
}

void pgs_recordset::fetch(bool ask_next)
{
    reader& r = *m_reader;
    if (!r.has_pending)
        r.request();
    r.has_pending = false;
    // the rows read so far go before the next ones arrive
    r.batch.clear();
    r.batch = r.pipe->retrieve(r.pending);
    r.rows = r.batch.size();
    r.row = 0;
    r.row_built = false;
    r.last_batch = r.batch.size() < static_cast<size_t>(r.requested);
    if (r.batch.empty())
        return;
    for (const pqxx::row& row : r.batch) {
        // a row takes some memory even without columns
        size_t bytes = 16;
        for (const pqxx::field& field : row)
            bytes += field.size() + 16;
        r.widest_row = std::max(r.widest_row, bytes);
    }
    r.fetch_count = static_cast<long>(std::max<size_t>(
        1, std::min({static_cast<size_t>(k_batch_rows), k_batch_bytes / r.widest_row,
                     static_cast<size_t>(r.requested) * 2})));
    if (ask_next)
        request_next();
}

void pgs_recordset::request_next()
{
    reader& r = *m_reader;
    // the next batch is asked for while this one is read only when both fit the
    // bound: a row wider than it waits until this batch is done with
    if (!r.batch.empty() && !r.last_batch && r.widest_row <= k_batch_bytes / 2)
        r.request();
}

void pgs_recordset::finish()
{
    m_reader.reset();
    m_eof = true;
}

bool pgs_recordset::is_eof()
{
    tk_trace(1, "pgs_recordset::is_eof(%d)", m_eof ? 1 : 0);
    return m_eof;
}

void pgs_recordset::next()
{
    tk_trace(1, "pgs_recordset::next");
    if (m_eof) {
        reset();
        return;
    }
    reader& r = *m_reader;
    r.row_built = false;
    if (++r.row < r.rows)
        return;
    if (r.last_batch) {
        finish();
        return;
    }
    try {
        pgs_guard("Cannot read the records of " + shown_name() + ": ", [&] { fetch(); });
    } catch (...) {
        finish();
        throw;
    }
    if (r.rows == 0)
        finish();
}

udb_record* pgs_recordset::get_item()
{
    tk_trace(1, "pgs_recordset::get_item");
    if (m_eof)
        return nullptr;
    reader& r = *m_reader;
    if (!r.row_built) {
        // the row before goes first: two wide rows would need twice the memory
        m_current_record.reset();
        auto record = std::make_unique<pgs_record>();
        r.row_failure.clear();
        const pqxx::row row = r.batch[r.row];
        for (size_t i = 0; i < schema.fields.size(); ++i) {
            const pgs_ftd& field = static_cast<const pgs_ftd&>(*schema.fields[i]);
            auto value = std::make_unique<udb_field>(field.name, field.size, ole_variant(),
                                                     field.b_not_null, field.auto_increment);
            read_value(field, row[static_cast<pqxx::row::size_type>(i)], r.row_failure, *value);
            record->add_field(std::move(value));
        }
        m_current_record = std::move(record);
        r.row_built = true;
        // the batch's last row is built: its server text is no longer needed while the
        // record is written
        if (r.row + 1 == r.rows)
            r.batch.clear();
    }
    if (!r.row_failure.empty())
        throw pgs_value_exception(r.row_failure);
    return m_current_record.get();
}
