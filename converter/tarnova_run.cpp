#include "conversion_hooks.hpp"
#include "error_handler.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "udb_db.hpp"

#include <ctime>
#include <memory>

namespace {

void trace_time(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    tk_trace(3, format, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour,
             local.tm_min, local.tm_sec);
}

conversion_hooks plain_hooks;

// the record in hand; a reader that is not at its end always has one
const udb_record& current_record(udb_recordset& source)
{
    const udb_record* record = source.get_item();
    if (!record)
        throw tk_mail_assertion("tarnova_run.cpp", __LINE__);
    return *record;
}

} // namespace

init_conversion::init_conversion(tk_converter& task, bool /*no_com*/) : m_task(task)
{
    tk_trace(2, "init_conversion::ctor");
    trace_time("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
}

init_conversion::~init_conversion()
{
    tk_trace(2, "init_conversion::dtor");
    trace_time("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
    m_task.set_finished(true);
}

// the objects that live for one run: the destination's naming ends before the
// source database closes
struct tarnova_convertor::run_state {
    ~run_state() { end_naming(); }

    void end_naming()
    {
        if (naming)
            naming->end_naming();
        naming = nullptr;
    }

    std::unique_ptr<udb_database> source;
    udb_database* naming = nullptr;
};

conversion_hooks& tarnova_convertor::hooks() const
{
    return m_hooks ? *m_hooks : plain_hooks;
}

void tarnova_convertor::operator()()
{
    tk_trace(2, "tarnova_convertor::operator()");
    init_conversion scope(*this, false);
    run_state state;
    try {
        hooks().on_start();
        run_tables(state);
    } catch (const tk_final_exception&) {
        // the user aborted, or a level-1 error ended the run: reported already
    } catch (const tk_exception& e) {
        try {
            error_handler::instance().handle(e, true);
        } catch (const std::exception& inner) {
            tk_trace(3, "ERROR:\n%s", inner.what());
        }
    } catch (const std::exception& e) {
        if (error_handler::has_instance())
            error_handler::instance().count_reported_error();
        try {
            hooks().on_std_exception(e);
        } catch (const std::exception& inner) {
            tk_trace(3, "ERROR:\n%s", inner.what());
        }
    }
}

void tarnova_convertor::run_tables(run_state& state)
{
    // without a destination session nothing below could work: say so first
    udb_database& dest = prepare_destination();
    state.source = open_source();
    hooks().on_prepare(*this, *state.source);

    tab_total = static_cast<std::uint32_t>(selected.size());
    tk_wtrace(3, L"Converting database %ls (%d tables)", get_source_name().c_str(),
              static_cast<int>(tab_total.load()));
    hooks().on_database(get_source_name(), tab_total);

    for (const std::wstring& name : selected)
        queries.emplace(name, std::wstring());
    // every table of the source names, not only the selected ones: a table's generated name
    // is then the same whichever tables a run converts, and whichever queries it has
    std::vector<std::wstring> others;
    for (const auto& entry : queries)
        others.push_back(entry.first);
    dest.begin_naming(state.source->tables, others);
    state.naming = &dest;

    for (const auto& [name, query] : queries) {
        // a stopped thread (the wizard cancelled) ends the run between tables
        if (stop_requested())
            throw tk_final_exception();
        convert_table(state, name, query);
    }

    error_handler::instance().clear_context();
    tab_done = 0;
    tab_total = 0;
    state.end_naming();
    state.source.reset();
}

void tarnova_convertor::convert_table(run_state& state, const std::wstring& name,
                                      const std::wstring& query)
{
    set_cur_table(name);
    rec_total = 0;
    rec_done = 0;
    m_rec_failed = 0;
    m_rec_handled = 0;
    m_dest_held_rows = false;

    // a table the source lacks never reaches get_table (its internal check)
    if (query.empty() && !state.source->is_table_exist(name)) {
        hooks().on_missing_table(name);
        ++tab_done;
        return;
    }

    udb_database& dest = destination();
    std::unique_ptr<udb_recordset> source;
    std::unique_ptr<udb_recordset> writer;
    bool builds_indexes = false;   // the table is made here from the source's indexes
    bool copying = false;
    bool copied = false;
    bool failed = false;
    std::vector<std::string> name_losses;    // what naming the table met
    std::vector<std::string> key_losses;     // keys a merge cannot find rows by
    int held_rows = 0;                       // rows of the destination before the run
    const bool merging = mode == udb_mode_merge || mode == udb_mode_merge_update;
    try {
        try {
            source = query.empty() ? state.source->get_table(name, 1)
                                   : state.source->get_query(name, query, 1);
        } catch (const tk_exception& e) {
            // dropped since the source listed its tables: the same as one it lacks
            if (!query.empty() || e.get_kind() != tk_error_kind::missing_table)
                throw;
            tk_trace(2, "%s", e.what());
            hooks().on_missing_table(name);
            ++tab_done;
            return;
        }

        // kept at once, so that a table skipped or failed still holds its name in this run
        const std::wstring dest_name = dest.get_dest_table_name(name);
        dest.keep_dest_table_name(name, dest_name);
        name_losses = dest.get_naming_losses(name);

        const bool exists = dest.is_table_exist(dest_name);
        if (exists && mode == udb_mode_skip) {
            tk_trace(2, "Skip existing table");
            hooks().on_skipped_table(name);
            report_losses(name_losses, name);
            source.reset();
            ++tab_done;
            return;
        }
        // oracle cannot hold a table without columns; a table of its name stays as it is
        if (source->schema.fields.empty())
            throw tk_exception(exists ? "The table has no columns and was not written: the "
                                        "Oracle table of its name stays as it was"
                                      : "The table has no columns and was not created: Oracle "
                                        "cannot hold a table without columns",
                               tk_level_go_on);
        if (exists) {
            if (mode == udb_mode_overwrite) {
                tk_trace(2, "Overwrite existing table");
                try {
                    dest.delete_tab(dest_name);
                    // said at once: a run stopped before its end has still told the user
                    report_losses(dest.get_drop_losses(), name);
                } catch (const tk_exception& e) {
                    if (e.get_kind() == tk_error_kind::resource_busy)
                        throw tk_exception(
                            "Cannot delete table because it is busy with another process",
                            tk_level_go_on);
                    throw;
                }
            }
        }

        builds_indexes = !skip_idx && !dest.is_table_exist(dest_name);
        writer = dest.create_table(dest_name, source->schema,
                                   skip_idx ? udb_indexes() : source->indexes);
        // counted as the writer opened the table, before any row of this run
        held_rows = writer->rec_count;
        m_dest_held_rows = held_rows > 0;
        // a key over a column the run leaves to its default tells no row of this run from
        // one of an earlier run
        if (merging)
            key_losses = writer->get_unwritten_keys(source->schema);
        // a table an earlier run left without its keys (stopped, or a key refused) takes
        // every record as a new row: said whatever it holds, in every mode that writes into it
        if (exists && mode != udb_mode_overwrite && !skip_idx) {
            const std::vector<std::string> missing
                = writer->get_missing_keys(source->schema, source->indexes);
            key_losses.insert(key_losses.end(), missing.begin(), missing.end());
        }

        rec_total = static_cast<std::uint32_t>(source->rec_count);
        tk_wtrace(3, L"Converting table %ls (%d records)", name.c_str(),
                  static_cast<int>(rec_total.load()));
        hooks().on_table(name, rec_total);

        if (rec_total != 0 && !tab_def) {
            copying = true;
            copy_rows(*source, *writer);
            copied = true;
        }
    } catch (const tk_exception& e) {
        failed = true;
        error_handler& handler = error_handler::instance();
        handler.set_context(name);
        handler.handle(e, false);
    }
    report_losses(name_losses, name);
    if (writer) {
        if (builds_indexes)
            report_losses(source->get_losses(), name);
        report_losses(writer->get_losses(), name);
        report_losses(key_losses, name);
        // a record no key finds a row by is one row more: a merge into a table that held
        // rows cannot tell it from a new one (without any key, none of them)
        if (merging && m_dest_held_rows && writer->get_unkeyed_rows() > 0)
            report_losses({std::to_string(writer->get_unkeyed_rows())
                           + " records were added to the " + std::to_string(held_rows)
                           + " rows the Oracle table held, not merged: "
                           + (writer->has_unique_key()
                                  ? "they are NULL in every unique key, and a NULL key finds "
                                    "no row"
                                  : "it has no primary or unique key to find their rows by")},
                          name);
    }
    if (copying) {
        // the records a table error left unread were not written either
        const std::uint32_t unread
            = !copied && rec_total > m_rec_handled ? rec_total - m_rec_handled : 0;
        const std::uint32_t lost = m_rec_failed + unread;
        if (lost != 0)
            report_losses({std::to_string(lost) + " of " + std::to_string(rec_total.load())
                           + " records were not written"},
                          name);
    } else if (failed && !tab_def) {
        // the table failed before its first record: none of its records arrived. one that
        // failed while being read is counted apart, if it can be (a query that failed has
        // no rows to count, so it is said to be unwritten)
        const long long records
            = source ? source->rec_count : state.source->count_records(name, query);
        const std::string count = std::to_string(records);
        if (records > 0)
            report_losses({count + " of " + count + " records were not written"}, name);
        else if (records < 0)
            report_losses({"None of its records were written (their number could not be read)"},
                          name);
    }
    writer.reset();
    source.reset();
    ++tab_done;
}

void tarnova_convertor::copy_rows(udb_recordset& source, udb_recordset& writer)
{
    source.reset();
    while (!source.is_eof()) {
        if (stop_requested())
            throw tk_final_exception();
        tk_trace(1, "Converting %d record", static_cast<int>(rec_done.load()));
        if (const udb_record* record = read_record(source))
            write_record(writer, *record);
        ++m_rec_handled;
        source.next();
        ++rec_done;
    }
}

const udb_record* tarnova_convertor::read_record(udb_recordset& source)
{
    try {
        return &current_record(source);
    } catch (const tk_exception& e) {
        // a value that cannot travel unchanged costs its record, not the table
        if (e.get_kind() != tk_error_kind::bad_value)
            throw;
        report_record_error(e);
        return nullptr;
    }
}

void tarnova_convertor::write_record(udb_recordset& writer, const udb_record& record)
{
    // what the destination database refuses costs the record; other errors the table
    try {
        try {
            writer.append_record(record);
        } catch (const tk_exception& e) {
            if (e.get_kind() == tk_error_kind::none)
                throw;
            tk_trace(1, "GOT ERROR: %s (%08X)", e.what(), static_cast<unsigned>(e.get_code()));
            tk_trace(1, "mode=%d", mode);
            // a key that meets a row of this run is a lost record, whatever the mode; only
            // a table that held rows before may hold the row a merge keeps or updates
            const bool old_row
                = e.get_kind() == tk_error_kind::duplicate_key && m_dest_held_rows;
            if (mode == udb_mode_merge_update && old_row)
                update_record(writer, record);
            else if (!(mode == udb_mode_merge && old_row))
                throw;
        }
    } catch (const tk_exception& e) {
        if (e.get_kind() == tk_error_kind::none)
            throw;
        report_record_error(e);
    }
}

void tarnova_convertor::update_record(udb_recordset& writer, const udb_record& record)
{
    try {
        writer.update(record);
    } catch (const tk_exception& e) {
        // a record the writer could neither append nor update is reported like any
        // other record error; the table goes on
        if (e.get_level() != tk_level_go_on)
            throw;
        report_record_error(e);
    }
}

void tarnova_convertor::report_record_error(const tk_exception& e)
{
    ++m_rec_failed;
    error_handler& handler = error_handler::instance();
    handler.set_record_context(get_cur_table(), static_cast<int>(rec_done.load()) + 1);
    handler.handle(e, false);
}

void tarnova_convertor::report_losses(const std::vector<std::string>& losses,
                                      const std::wstring& name)
{
    for (const std::string& loss : losses) {
        error_handler& handler = error_handler::instance();
        handler.set_context(name);
        handler.handle(tk_exception(loss, tk_level_go_on), false);
    }
}
