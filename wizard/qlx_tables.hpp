#pragma once

#include "g_sel_tb.hpp"

// the table page of the conversion task: its source database's tables, the
// profile's tables pre-selected; Next sets the run's tables
class qlx_sel_tables_page : public sel_tables_page {
public:
    qlx_sel_tables_page();

    bool page_init() override;
    int on_next() override;
    void on_help() override;
};
