#include "qlx_welcome.hpp"

#include "g_f_dlg.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"
#include "qlx_shel.hpp"
#include "tarnova_convertor.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"

welcome_page::welcome_page() : wizard_page(qlx::tpl_welcome), m_extension(qlx::profile_extension)
{
    add_flags(page_hide_header | page_has_help);
    set_buttons(wizard_next);
    add_control({id_title, control_kind::title, L"Welcome to the Database\nConversion Wizard\n", 0});
    add_control({-1, control_kind::label, L"This wizard helps you convert PostgreSQL database into", 1});
    add_control({-1, control_kind::label, L"Oracle database. Click 'Next' to continue.", 2});
    add_control({-1, control_kind::label, L"", 3});
    add_control({-1, control_kind::label, L"WARNING: conversion productivity strongly depends", 4});
    add_control({-1, control_kind::label, L"on amount of available memory. It is recommended that", 5});
    add_control({-1, control_kind::label, L"you exit all programs before continue with the wizard.", 6});
    add_control({id_load, control_kind::button, L"&Load Settings", 7});
}

bool welcome_page::page_init()
{
    tk_trace(2, "welcome_page::show");
    set_title_font(id_title);
    return true;
}

void welcome_page::on_help()
{
    wizard_shell::display_help(qlx::help_welcome);
}

void welcome_page::on_command(int id, control_event event)
{
    if (id == id_load && event == control_event::clicked)
        on_load_settings();
}

void welcome_page::on_load_settings()
{
    if (m_extension.size() != 3)
        throw tk_mail_assertion("..\\GUI2/g_finish.hpp", 253);
    open_file_dialog dialog(profile_file_filters(m_extension), qlx::profile_dialog_title, L"");
    if (!dialog.show())
        return;
    tk_wtrace(2, L"Load settings from %ls", dialog.get_path().c_str());
    // a file that is not a profile, or a value its key does not take, changes nothing
    std::wstring refusal;
    if (!tarnova_convertor::instance().load_profile_file(dialog.get_path(), &refusal))
        wizard_shell::error(refusal.empty() ? std::wstring(qlx::profile_unreadable) : refusal);
}
