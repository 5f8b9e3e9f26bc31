#pragma once

#include "tk_conv.hpp"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class udb_profile;

// what a run does with a destination table that exists; the mode stays an open int
// (profiles and the registry store the number) and any other value keeps the table
constexpr int udb_mode_overwrite = 0;
constexpr int udb_mode_merge = 1;           // keep it; a duplicate key costs the record
constexpr int udb_mode_skip = 2;            // leave the table out
constexpr int udb_mode_merge_update = 4;    // keep it; a duplicate key updates the row

// the engine-neutral settings of a conversion and its progress fields. the run is
// the only writer of the progress fields; another thread may read them at any time
class udb_converter : public tk_converter {
public:
    udb_converter();
    ~udb_converter() override;

    void set_mode(int mode);
    // empties selected, queries and available
    void clear_tables();

    bool load_profile(const udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

    // a copy taken under a short lock, safe against the run replacing it
    std::wstring get_cur_table() const;
    void set_cur_table(const std::wstring& name);

    int mode = udb_mode_overwrite;
    std::atomic<std::uint32_t> rec_total{0};
    std::atomic<std::uint32_t> rec_done{0};
    std::atomic<std::uint32_t> tab_total{0};
    std::atomic<std::uint32_t> tab_done{0};
    std::vector<std::wstring> selected;                 // in selection order
    std::map<std::wstring, std::wstring> queries;       // table -> query text, "" = whole table
    std::map<std::wstring, std::wstring> available;     // available queries from a profile
    bool convert_views = false;
    bool skip_idx = false;
    bool tab_def = false;

private:
    mutable std::mutex m_cur_table_mutex;
    std::wstring m_cur_table;
};

// a query text as one profile line: every line break (CR LF, LF or CR) becomes one blank
std::wstring udb_one_line_query(const std::wstring& text);
