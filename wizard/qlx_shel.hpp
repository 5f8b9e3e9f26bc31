#pragma once

// the tarnova program's texts, resource ids and images
namespace qlx {

// images, drawn in code
enum image_id {
    icon_program = 501,
    bitmap_watermark = 311,
    bitmap_header = 312,
    icon_wait_first = 502,      // eight frames, 502 to 509
    icon_wait_last = 509,
};

// page templates
enum template_id {
    tpl_welcome = 103,
    tpl_pgs_settings = 134,
    tpl_oracle_settings = 132,
    tpl_conversion_settings = 106,
    tpl_tables = 127,
    tpl_progress = 107,
    tpl_finish = 116,
};

enum help_id {
    help_welcome = 1013,
    help_pgs = 1010,
    help_oracle = 1017,
    help_settings = 1016,
    help_tables = 1015,
};

constexpr int version_major = 1;
constexpr int version_minor = 0;
// formatted with the version and an empty text: the caption keeps its trailing blank
constexpr const wchar_t* caption_format = L"Dravenor %d.%d %ls";
constexpr const wchar_t* profile_extension = L"qlx";
constexpr const wchar_t* profile_dialog_title = L"Select Profile File";

constexpr const wchar_t* finish_error_text =
    L"There were some errors while converting the database.\nClick 'Finish' to exit the wizard.";
constexpr const wchar_t* finish_success_text =
    L"Wizard has migrated your PostgreSQL database to\nOracle server successfully.\n\n"
    L"Click 'Finish' to exit the wizard.";

constexpr const wchar_t* profile_unreadable =
    L"Profile cannot be read. Please verify that the file is a conversion profile.";
constexpr const wchar_t* profile_not_saved =
    L"Profile cannot be saved. Please verify the path and that the file may be written.";
constexpr const wchar_t* thread_not_started = L"The conversion could not be started: "
                                              L"the system refused to create its thread.";
// the wait dialog's own text, and the Oracle page's text in its place
constexpr const wchar_t* wait_text = L"Connecting to PostgreSQL server. Please wait...";
constexpr const wchar_t* wait_text_oracle = L"Connecting to Oracle server. Please wait...";
constexpr unsigned wait_period_ms = 500;

constexpr const wchar_t* thread_not_started_connect =
    L"The connection could not be started: the system refused to create its thread.";
constexpr const wchar_t* no_oracle_name = L"You should enter Oracle database name";
constexpr const wchar_t* no_pgs_name = L"You should enter PostgreSQL database name";
constexpr const wchar_t* no_pgs_database = L"PostgreSQL database does not exist";
constexpr const wchar_t* bad_pgs_port = L"Invalid PostgreSQL port";
constexpr const wchar_t* bad_oracle_port = L"Invalid Oracle port";
constexpr const wchar_t* no_tables_selected = L"There are no tables selected. Continue anyway?";
constexpr const char* gui_failed = "Failed to initialize GUI library";
constexpr const wchar_t* qt_too_old =
    L"Incorrect version of the Qt library. Qt 6.4\nor later is required to proceed with the "
    L"application.";

} // namespace qlx

#include <string>

// "Dravenor 1.0 "
std::wstring qlx_caption();
