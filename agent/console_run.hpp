#pragma once

#include "conversion_hooks.hpp"

#include <set>
#include <string>

// what the console adds to the conversion run: every source table when nothing is
// selected, progress lines, the line for a requested table the source lacks, and a
// report for a name that stands for more than one source table
class console_run_hooks : public conversion_hooks {
public:
    void on_prepare(udb_converter& task, udb_database& source) override;
    void on_database(const std::wstring& name, std::uint32_t tables) override;
    void on_missing_table(const std::wstring& name) override;
    void on_table(const std::wstring& name, std::uint32_t records) override;
    void on_skipped_table(const std::wstring& name) override;
    void on_std_exception(const std::exception& e) override;

private:
    // the tables left out count their records unless the run writes none (skipped, or
    // --tab_def)
    void report_shared_name(const std::wstring& name, bool count_records) const;

    // requested names that more than one source table answers to
    std::set<std::wstring> m_shared_names;
    udb_database* m_source = nullptr;
    bool m_without_schema = false;
    bool m_tab_def = false;
};
