#pragma once

#include "oracle_converter_impl.hpp"
#include "pgs_converter_impl.hpp"
#include "tk_regk.hpp"
#include "tk_singl.hpp"
#include "udb_converter.hpp"

#include <memory>
#include <string>
#include <vector>

class conversion_hooks;
class udb_database;
class udb_profile;
class udb_record;
class udb_recordset;

// the conversion task: every setting of a conversion and the run itself. one per
// process; the wizard keeps its settings in the registry, the console does not
class tarnova_convertor : public udb_converter,
                          public oracle_converter_impl,
                          public tk_singleton<tarnova_convertor> {
public:
    enum class program { wizard, console };

    explicit tarnova_convertor(program variant);
    // noexcept: the task interface promises it; the registration cannot be missing here
    ~tarnova_convertor() noexcept override;

    // the conversion (the task's run operation); lets no exception escape
    void operator()();
    void run() override;
    bool is_done() override { return false; }
    // true for any text; nothing is run
    virtual bool test_query(const std::wstring& text);

    // the program's additions to the run; not owned, null for none
    void set_hooks(conversion_hooks* hooks) { m_hooks = hooks; }

    // opens the source database and copies its table names
    void get_all_tables(std::vector<std::wstring>& tables);

    // false, nothing applied, when a value does not read as its key's form (the
    // message naming key and value goes to refusal); false without a message when
    // the file does not read as a profile
    bool load_profile(const udb_profile& profile, std::wstring* refusal = nullptr);
    bool store_profile(udb_profile& profile) const;
    bool load_profile_file(const std::wstring& path, std::wstring* refusal = nullptr);
    // false when the profile could not be written completely, with the message naming
    // the path and the system's reason in refusal; false, nothing written, with the
    // message naming the entry in refusal, when a value cannot be kept in a profile line
    bool save_profile_file(const std::wstring& path, std::wstring* refusal = nullptr) const;

    // the registry settings: save writes them, else reads them (defaults first)
    bool serialize(bool save);
    // whether the wizard's end writes the settings back (it does unless told otherwise)
    void set_save_at_end(bool save) { m_save_at_end = save; }
    // mode, definitions only, skip indexes, upper case and no schema as a first start
    // has them (the registry's defaults); the server settings and names stay
    void use_first_start_options();

    pgs_converter_impl& pgs() { return m_pgs; }
    const pgs_converter_impl& pgs() const { return m_pgs; }
    program get_program() const { return m_program; }

    // for the paths that end the process at once: logs the task's oracle session off
    static void log_off_before_exit() noexcept;

    bool uppercase = false;

private:
    struct run_state;

    void run_tables(run_state& state);
    void convert_table(run_state& state, const std::wstring& name, const std::wstring& query);
    void copy_rows(udb_recordset& source, udb_recordset& writer);
    // the source's current record; null when it was reported instead
    const udb_record* read_record(udb_recordset& source);
    void write_record(udb_recordset& writer, const udb_record& record);
    void update_record(udb_recordset& writer, const udb_record& record);
    void report_record_error(const tk_exception& e);
    // after a table, one level-0 report each with the table as context: what the reader
    // or the writer could not keep (indexes left out, replaced numbers), and how many
    // records were not written
    void report_losses(const std::vector<std::string>& losses, const std::wstring& name);
    // the connected destination; not connected is a level-1 error
    udb_database& destination() const;
    // the destination with the run's settings applied
    udb_database& prepare_destination();
    std::unique_ptr<udb_database> open_source();
    conversion_hooks& hooks() const;

    pgs_converter_impl m_pgs;
    tk_reg_key m_key;
    program m_program;
    bool m_save_at_end = true;
    conversion_hooks* m_hooks = nullptr;
    // of the current table: the records reported (not written), and those written or
    // reported
    std::uint32_t m_rec_failed = 0;
    std::uint32_t m_rec_handled = 0;
    // the destination table held rows before this run wrote into it: only a key of those
    // may a merge meet without a word (an empty one holds only keys this run wrote)
    bool m_dest_held_rows = false;
};

// the scope of one run: the start line, and at the end the end line and the
// finished flag, set on every path as the run's last action
class init_conversion {
public:
    init_conversion(tk_converter& task, bool no_com);
    ~init_conversion();
    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

private:
    tk_converter& m_task;
};
