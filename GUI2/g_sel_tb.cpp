#include "g_sel_tb.hpp"

#include "g_wiz_sh.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>

sel_tables_page::sel_tables_page(int template_id, std::wstring question)
    : wizard_page(template_id), m_question(std::move(question))
{
    add_control({id_intro, control_kind::label, L"", 0});
    add_control({id_available_label, control_kind::label, L"", 1, false, 0, id_available});
    add_control({id_selected_label, control_kind::label, L"", 1, false, 0, id_selected});
    add_control({id_available, control_kind::list, L"", 2});
    add_control({id_selected, control_kind::list, L"", 2});
    add_control({id_add, control_kind::button, L"A&dd >", 3});
    add_control({id_add_all, control_kind::button, L"Add a&ll >", 3});
    add_control({id_remove, control_kind::button, L"< &Remove", 3});
    add_control({id_remove_all, control_kind::button, L"< Re&move all", 3});
    add_control({id_add_query, control_kind::button, L"&Add Query", 3, true});
}

bool sel_tables_page::name_less(const std::wstring& a, const std::wstring& b)
{
    const int c = tk_compare_no_case(a, b);
    return c != 0 ? c < 0 : a < b;
}

void sel_tables_page::preselect(const std::map<std::wstring, std::wstring>& names)
{
    for (const auto& [name, query] : names) {
        tk_wtrace(1, L"Processing '%ls'", name.c_str());
        const int index = find_available(name);
        if (index >= 0)
            move_to_selected(index);
    }
}

void sel_tables_page::on_command(int id, control_event event)
{
    if (event == control_event::double_clicked && id == id_available) {
        on_add();
        return;
    }
    if (event != control_event::clicked)
        return;
    switch (id) {
    case id_add:
        on_add();
        break;
    case id_add_all:
        on_add_all();
        break;
    case id_remove:
        on_delete();
        break;
    case id_remove_all:
        on_del_all();
        break;
    default:
        break;
    }
}

void sel_tables_page::do_page_init()
{
    tk_trace(2, "sel_tables_page::do_page_init");
    wizard_page_view* v = view();
    if (!v)
        return;
    v->clear_items(id_available);
    v->clear_items(id_selected);
    std::vector<std::wstring> names = m_available;
    std::sort(names.begin(), names.end(), name_less);
    for (const std::wstring& name : names)
        v->add_item(id_available, name);
    if (v->item_count(id_available) > 0)
        v->set_current_index(id_available, 0);
}

void sel_tables_page::move(int from, int to, int index)
{
    wizard_page_view* v = view();
    const std::wstring text = v->item_text(from, index);
    int place = 0;
    const int count = v->item_count(to);
    while (place < count && !name_less(text, v->item_text(to, place)))
        ++place;
    v->insert_item(to, place, text);
    v->remove_item(from, index);
}

void sel_tables_page::move_to_selected(int index)
{
    if (view())
        move(id_available, id_selected, index);
}

void sel_tables_page::move_to_available(int index)
{
    if (view())
        move(id_selected, id_available, index);
}

void sel_tables_page::move_current(int from, int to)
{
    wizard_page_view* v = view();
    if (!v)
        return;
    const int index = v->current_index(from);
    if (index < 0)
        return;
    move(from, to, index);
    const int count = v->item_count(from);
    if (count > 0) {
        v->set_current_index(from, std::min(index, count - 1));
    } else {
        v->set_focus(to);
        v->set_current_index(to, 0);
    }
}

void sel_tables_page::move_all(int from, int to)
{
    wizard_page_view* v = view();
    if (!v)
        return;
    while (v->item_count(from) > 0)
        move(from, to, 0);
    v->set_focus(to);
    v->set_current_index(to, 0);
}

void sel_tables_page::on_add()
{
    tk_trace(2, "sel_tables_page::on_add");
    move_current(id_available, id_selected);
}

void sel_tables_page::on_add_all()
{
    tk_trace(2, "sel_tables_page::on_add_all");
    move_all(id_available, id_selected);
}

void sel_tables_page::on_delete()
{
    tk_trace(2, "sel_tables_page::on_delete");
    move_current(id_selected, id_available);
}

void sel_tables_page::on_del_all()
{
    tk_trace(2, "sel_tables_page::on_del_all");
    move_all(id_selected, id_available);
}

int sel_tables_page::find_available(const std::wstring& name) const
{
    wizard_page_view* v = view();
    if (!v)
        return -1;
    for (int i = 0; i < v->item_count(id_available); ++i)
        if (v->item_text(id_available, i) == name)
            return i;
    return -1;
}

bool sel_tables_page::get_selected()
{
    wizard_page_view* v = view();
    if (!v)
        return true;
    if (v->item_count(id_available) > 0 && v->item_count(id_selected) == 0 && !m_question.empty()
        && !wizard_shell::question(m_question))
        return false;
    m_selected.clear();
    for (int i = 0; i < v->item_count(id_selected); ++i)
        m_selected.push_back(v->item_text(id_selected, i));
    return true;
}
