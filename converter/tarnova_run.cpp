#include "conversion_hooks.hpp"
#include "error_handler.hpp"
#include "ora_db.hpp"
#include "ora_except.hpp"
#include "ora_tab.hpp"
#include "ora_vali.hpp"
#include "pgs_engine.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_db.hpp"

#include <ctime>
#include <memory>
#include <optional>

namespace {

constexpr int unique_violation = 0x100001;     // ORA-00001
constexpr int resource_busy = 54;              // ORA-00054, low 16 bits of the code

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

// the objects that live for one run; members are destroyed in reverse order:
// the table-name validator, the index-name validator, then the source database
struct tarnova_convertor::run_state {
    std::unique_ptr<udb_database> source;
    std::optional<ora_in_validator> index_names;
    std::unique_ptr<ora_tn_validator> table_names;
};

conversion_hooks& tarnova_convertor::hooks() const
{
    return m_hooks ? *m_hooks : plain_hooks;
}

ora_database& tarnova_convertor::destination() const
{
    ora_database* db = get_connected_database();
    if (!db)
        throw tk_exception("The Oracle database is not connected", 1);
    return *db;
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
    ora_database& dest = destination();
    state.source = m_pgs.engine().open_db(get_source_name(), L"", L"");
    state.index_names.emplace(dest.session());
    dest.upper_case = uppercase;
    hooks().on_prepare(*this, *state.source);

    tab_total = static_cast<std::uint32_t>(selected.size());
    tk_wtrace(3, L"Converting database %ls (%d tables)", get_source_name().c_str(),
              static_cast<int>(tab_total.load()));
    hooks().on_database(get_source_name(), tab_total);

    state.table_names = std::make_unique<ora_tn_validator>(selected, dest.tables);
    for (const std::wstring& name : selected)
        queries.emplace(name, std::wstring());

    for (const auto& [name, query] : queries) {
        // a stopped thread (the wizard cancelled) ends the run between tables
        if (stop_requested())
            throw tk_final_exception();
        convert_table(state, name, query);
    }

    error_handler::instance().clear_context();
    tab_done = 0;
    tab_total = 0;
    state.table_names.reset();
    state.index_names.reset();
    state.source.reset();
}

void tarnova_convertor::convert_table(run_state& state, const std::wstring& name,
                                      const std::wstring& query)
{
    set_cur_table(name);
    rec_total = 0;
    rec_done = 0;

    // a table the source lacks never reaches get_table (its internal check)
    if (query.empty() && !state.source->is_table_exist(name)) {
        hooks().on_missing_table(name);
        ++tab_done;
        return;
    }

    ora_database& dest = destination();
    ora_tn_validator& table_names = *state.table_names;
    std::unique_ptr<udb_recordset> source;
    std::unique_ptr<udb_recordset> writer;
    try {
        source = query.empty() ? state.source->get_table(name, 1)
                               : state.source->get_query(name, query, 1);

        std::wstring dest_name = name;
        if (uppercase)
            tk_wstring::to_upper(dest_name);
        if (!table_names.is_acceptable(dest_name))
            dest_name = table_names.get_safe_name(dest_name);

        if (dest.is_table_exist(dest_name)) {
            if (mode == 2) {
                tk_trace(2, "Skip existing table");
                source.reset();
                ++tab_done;
                return;
            }
            if (mode == 0) {
                tk_trace(2, "Overwrite existing table");
                try {
                    dest.delete_tab(dest_name);
                } catch (const ora_exception& e) {
                    if ((e.get_code() & 0xFFFF) == resource_busy)
                        throw tk_exception(
                            "Cannot delete table because it is busy with another process", 0);
                    throw;
                }
            }
        }

        writer = dest.create_table(dest_name, source->schema,
                                   skip_idx ? udb_indexes() : source->indexes);

        if (!table_names.is_acceptable(name)) {
            tk_wtrace(2, L"Store generated table name '%ls'", dest_name.c_str());
            table_names.add_existing_name(dest_name);
            dest.names_map.add_tn_mapping(name, dest_name);
            std::wstring bare = name;
            tk_wstring::replace_all(bare, L"[", L"");
            tk_wstring::replace_all(bare, L"]", L"");
            if (bare != name)
                dest.names_map.add_tn_mapping(bare, dest_name);
        }
        table_names.restricted_words.push_back(dest_name);

        rec_total = static_cast<std::uint32_t>(source->rec_count);
        tk_wtrace(3, L"Converting table %ls (%d records)", name.c_str(),
                  static_cast<int>(rec_total.load()));
        hooks().on_table(name, rec_total);

        if (rec_total != 0 && !tab_def)
            copy_rows(*source, *writer);
    } catch (const tk_exception& e) {
        error_handler& handler = error_handler::instance();
        handler.set_context(name);
        handler.handle(e, false);
    }
    if (writer)
        report_writer_losses(*writer, name);
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
        try {
            try {
                writer.append_record(current_record(source));
            } catch (const ora_exception& e) {
                tk_trace(1, "GOT ERROR: %s (%08X)", e.what(), static_cast<unsigned>(e.get_code()));
                tk_trace(1, "mode=%d", mode);
                if (mode == 4 && e.get_code() == unique_violation)
                    update_record(writer, source);
                else if (!(mode == 1 && e.get_code() == unique_violation))
                    throw;
            }
        } catch (const ora_exception& e) {
            report_record_error(e);
        } catch (const pgs_value_exception& e) {
            report_record_error(e);
        }
        source.next();
        ++rec_done;
    }
}

void tarnova_convertor::update_record(udb_recordset& writer, udb_recordset& source)
{
    try {
        writer.update(current_record(source));
    } catch (const tk_exception& e) {
        // a record the writer could neither append nor update is reported like any
        // other record error; the table goes on
        if (e.get_level() != 0)
            throw;
        report_record_error(e);
    }
}

void tarnova_convertor::report_record_error(const tk_exception& e)
{
    error_handler& handler = error_handler::instance();
    handler.set_record_context(get_cur_table(), static_cast<int>(rec_done.load()) + 1);
    handler.handle(e, false);
}

void tarnova_convertor::report_writer_losses(const udb_recordset& writer, const std::wstring& name)
{
    const auto* table = dynamic_cast<const ora_table*>(&writer);
    if (!table)
        return;
    const auto report = [&](const std::string& text) {
        error_handler& handler = error_handler::instance();
        handler.set_context(name);
        handler.handle(tk_exception(text, 0), false);
    };
    for (const ora_left_out_index& index : table->get_left_out_indexes())
        report("Index " + tk_to_ansi(index.index) + " was not created: column "
               + tk_to_ansi(index.column)
               + " is stored as a large object, which Oracle cannot index");
    for (const auto& [column, count] : table->get_replaced_values()) {
        if (count == 0)
            continue;
        report(std::to_string(count) + " value(s) of column " + tk_to_ansi(column)
               + " were beyond the Oracle number range and were written as the column default"
                 " or NULL");
    }
    // the destination no longer has the source's constraint: the user must know
    for (const std::wstring& column : table->get_dropped_not_null())
        report("Column " + tk_to_ansi(column)
               + " lost its NOT NULL constraint: an empty value arrives in Oracle as NULL");
}
