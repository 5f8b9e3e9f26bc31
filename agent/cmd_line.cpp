#include "cmd_line.hpp"

#include "console.hpp"
#include "error_handler.hpp"
#include "pgs_engine.hpp"
#include "setting_values.hpp"
#include "tab_file.hpp"
#include "tarnova_convertor.hpp"
#include "tk_cmdli.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_prof.hpp"

#include <cstdio>
#include <cstdlib>

namespace {

enum option_id {
    opt_dest,
    opt_help,
    opt_logfile,
    opt_mode,
    opt_no_schema,
    opt_oraclh,
    opt_oraclu,
    opt_oraclp,
    opt_oraport,
    opt_pgport,
    opt_posgsh,
    opt_posgsu,
    opt_posgsp,
    opt_profile,
    opt_silent,
    opt_skip_idx,
    opt_src,
    opt_tab_def,
    opt_tab_file,
    opt_uppercase,
};

// the order decides matching: the first name that the argument begins with wins
const cmdli_option options[] = {
    {opt_dest, "--dest="},
    {opt_help, "--help"},
    {opt_logfile, "--logfile="},
    {opt_mode, "--mode="},
    {opt_no_schema, "--no_schema"},
    {opt_oraclh, "--oraclh="},
    {opt_oraclu, "--oraclu="},
    {opt_oraclp, "--oraclp="},
    {opt_oraport, "--oraport="},
    {opt_pgport, "--pgport="},
    {opt_posgsh, "--posgsh="},
    {opt_posgsu, "--posgsu="},
    {opt_posgsp, "--posgsp="},
    {opt_profile, "--profile="},
    {opt_silent, "--silent"},
    {opt_skip_idx, "--skip_idx"},
    {opt_src, "--src="},
    {opt_tab_def, "--tab_def"},
    {opt_tab_file, "--tab_file="},
    {opt_uppercase, "--uppercase"},
    {0, ""},
};

const int version_major = 1;
const int version_minor = 0;

// the settings that reach the engines only at the end, and only without a profile
struct kept_settings {
    std::wstring ora_host = L"localhost";
    std::wstring ora_user;
    std::wstring ora_password;
    std::wstring ora_port = L"1521";
    int pg_port = 5432;
    std::string pg_host;
    std::string pg_user;
    std::string pg_password;

    std::wstring* wide_field(int id)
    {
        switch (id) {
        case opt_oraclh: return &ora_host;
        case opt_oraclu: return &ora_user;
        case opt_oraclp: return &ora_password;
        case opt_oraport: return &ora_port;
        default: return nullptr;
        }
    }

    std::string* narrow_field(int id)
    {
        switch (id) {
        case opt_posgsh: return &pg_host;
        case opt_posgsu: return &pg_user;
        case opt_posgsp: return &pg_password;
        default: return nullptr;
        }
    }
};

// a value that does not convert is ignored
bool to_wide(const std::string& value, std::wstring& out)
{
    try {
        out = tk_to_unicode(value);
        return true;
    } catch (const tk_exception& e) {
        tk_trace(1, "parse_cmd_line - ignored value: %s", e.what());
        return false;
    }
}

// the mode text must be exactly the decimal form of 0, 1 or 2
int mode_value(const std::string& text)
{
    const int mode = std::atoi(text.c_str());
    tk_trace(2, "\tgot mode %d", mode);
    if (std::to_string(mode) != text || mode < udb_mode_overwrite || mode > udb_mode_skip)
        fatal_exit("Invalid merge/overwrite mode");
    return mode;
}

// empty for the client library's default, else 1 to 65535: a port that is not one
// must not quietly connect to the default server instead
int port_value(const std::string& text)
{
    int port = 0;
    if (!setting_pgs_port(text, port))
        fatal_exit("Invalid PostgreSQL port");
    return port;
}

// the files the options read, all known before any option applies: the log starts at
// its option and would empty a file that a later option is still to read
void add_input_files(int argc, const char* const* argv, tarnova_convertor& task)
{
    for (tk_cmdli args(argc, argv, options); args.has_more(); args.next()) {
        if (args.get_id() == opt_tab_file)
            task.add_input_file(args.get_value(), "table names file");
        else if (args.get_id() == opt_profile)
            task.add_input_file(args.get_value(), "profile");
    }
}

// the run holds a name once, as a whole table or with one query: asked for two ways,
// one of them would silently not be converted. text is "" for a whole table
void refuse_if_two_ways(const tarnova_convertor& task, const std::wstring& name,
                        const std::wstring& text)
{
    const auto known = task.queries.find(name);
    if (known == task.queries.end() || known->second == text)
        return;
    if (known->second.empty() != text.empty())
        throw tk_exception(L"Table '" + name
                               + L"' is selected both as a whole table and with a query: only "
                                 L"one of them would be converted.\nPlease give the query a "
                                 L"name of its own.",
                           tk_level_fail);
    throw tk_exception(L"Table '" + name
                           + L"' is selected with two different queries: only one of them "
                             L"would be converted.\nPlease give each query a name of its own.",
                       tk_level_fail);
}

} // namespace

std::string usage_text()
{
    char first[64];
    std::snprintf(first, sizeof first, "KESTRUN v%d.%d - PostgreSQL to Oracle database converter",
                  version_major, version_minor);
    return std::string(first) + "\n"
           "Usage: KESTRUN.EXE OPTIONS\n"
           "\n"
           "   --dest=...     Oracle database name\n"
           "   --direct       connect to Oracle server via IP + port\n"
           "   --help         display this help message and exit\n"
           "   --logfile=...  path to the file where execution trace will be written\n"
           "   --mode=...     how to process tables that already exist in Oracle database\n"
           "                  (0 - overwrite, 1 - merge, 2 - skip)\n"
           "   --no_schema    do not include schema name in table name\n"
           "   --oraclh=...   Network name or IP address of Oracle server\n"
           "   --oraclu=...   Oracle user name\n"
           "   --oraclp=...   Oracle user password\n"
           "   --oraport=...  Oracle port (for direct mode only)\n"
           "   --pgport=...   PostgreSQL port\n"
           "   --posgsh=...   PostgreSQL server IP address or network name\n"
           "   --posgsu=...   PostgreSQL user name\n"
           "   --posgsp=...   PostgreSQL user password\n"
           "   --profile=...  path to the file to load conversion settings from\n"
           "   --silent       disable program output\n"
           "   --skip_idx     skip converting indexes\n"
           "   --src=...      PostgreSQL database name\n"
           "   --tab_def      convert table definitions only\n"
           "   --tab_file=... file containing the list of tables to convert\n"
           "                  (one table name per line)\n"
           "   --uppercase    make table/field names uppercase\n"
           "\n"
           "NOTES:\n"
           "   1) You may omit the host parameter to connect to a database server\n"
           "      on the local machine.\n"
           "   2) It is necessary to specify port parameter only if it differs from\n"
           "      the default: 5432 - for PostgreSQL, 1521 - for Oracle.\n"
           "   3) The default mode is 'overwrite'. You can change it using\n"
           "      '--mode' parameter\n"
           "   4) If you omit 'tab_file' parameter, all database tables will be converted.";
}

bool parse_cmd_line(int argc, const char* const* argv)
{
    tk_trace(2, "parse_cmd_line");
    for (int i = 0; i < argc; ++i)
        tk_trace(1, "parameter #%d: %s", i, argv[i]);

    tarnova_convertor& task = tarnova_convertor::instance();
    kept_settings kept;
    bool profile_loaded = false;
    std::wstring wide;
    add_input_files(argc, argv, task);

    tk_cmdli args(argc, argv, options);
    for (; args.has_more(); args.next()) {
        const std::string& value = args.get_value();
        switch (args.get_id()) {
        case opt_dest:
            if (to_wide(value, wide)) {
                tk_wtrace(2, L"\tparse_cmd_line - got dest %ls", wide.c_str());
                task.set_dest_name(wide);
            }
            break;
        case opt_help:
            fatal_exit(usage_text());
        case opt_logfile:
            tk_trace(1, "parse_cmd_line - got logfile %s", value.c_str());
            task.set_logfile(value);
            break;
        case opt_mode:
            task.set_mode(mode_value(value));
            break;
        case opt_no_schema:
            tk_trace(2, "\tconvert tables owned by the user");
            task.pgs().engine().set_no_schema(true);
            task.pgs().engine().set_view_owned(true);
            break;
        case opt_pgport:
            kept.pg_port = port_value(value);
            break;
        case opt_profile:
            if (to_wide(value, wide)) {
                tk_wtrace(1, L"parse_cmd_line - got profile %ls", wide.c_str());
                std::wstring refusal;
                udb_profile profile;
                profile_loaded = profile.load(wide);
                // a profile that says two things, or says a thing where it is not read, is
                // refused before any of it is looked at
                const std::wstring unread
                    = profile_loaded ? profile_read_refusal(profile) : std::wstring();
                if (!unread.empty())
                    throw tk_exception(tk_to_ansi(unread), tk_level_fail);
                if (profile_loaded) {
                    // only profiles fill the queries while the options apply
                    for (const auto& [name, text] : profile.get_selected_tables())
                        refuse_if_two_ways(task, name, text);
                    profile_loaded = task.load_profile(profile, &refusal);
                }
                // a profile that does not read is not applied: running without it
                // would convert something else than the user asked for
                if (!refusal.empty())
                    throw tk_exception(tk_to_ansi(refusal), tk_level_fail);
                if (!profile_loaded)
                    fatal_exit("Profile cannot be read. Please verify that the file is a "
                               "conversion profile.");
            }
            break;
        case opt_silent:
            tk_trace(1, "parse_cmd_line - silent mode is ON");
            task.set_silent(true);
            error_handler::instance().set_suppress(true);
            break;
        case opt_skip_idx:
            tk_trace(2, "\tskip converting indexes");
            task.skip_idx = true;
            break;
        case opt_src:
            if (to_wide(value, wide)) {
                tk_wtrace(2, L"\tparse_cmd_line - got src %ls", wide.c_str());
                task.set_source_name(wide);
            }
            break;
        case opt_tab_def:
            tk_trace(2, "\tconvert table definitions only");
            task.tab_def = true;
            break;
        case opt_tab_file:
            tk_trace(2, "\tparse_cmd_line - got tab_file %s", value.c_str());
            process_tab_file(value);
            break;
        case opt_uppercase:
            tk_trace(2, "\tmake table names uppercase");
            task.uppercase = true;
            break;
        default:
            // the server options are kept for the final store
            if (std::wstring* field = kept.wide_field(args.get_id()))
                to_wide(value, *field);
            else if (std::string* field = kept.narrow_field(args.get_id()))
                *field = value;
            break;
        }
    }

    if (!args.get_unknown().empty())
        return false;
    // the list that stands now against every query the profiles brought
    for (const std::wstring& name : task.selected)
        refuse_if_two_ways(task, name, L"");

    // with a profile the server settings are the profile's
    if (!profile_loaded) {
        if (task.get_dest_name().empty())
            fatal_exit("You should enter Oracle database name");
        if (task.get_source_name().empty())
            fatal_exit("You should enter PostgreSQL database name");
        task.store_oracle_settings(kept.ora_host, kept.ora_user, kept.ora_password,
                                   kept.ora_port);
        task.pgs().store_pgs_settings(kept.pg_host, kept.pg_user, kept.pg_password,
                                      kept.pg_port);
    }
    return true;
}
