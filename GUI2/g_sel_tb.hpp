#pragma once

#include "g_wiz_pg.hpp"

#include <map>
#include <string>
#include <vector>

// the two-list page: names move between the available and the selected list, one
// by one or all at once; both lists stay in the toolkit's name order
class sel_tables_page : public wizard_page {
public:
    enum {
        id_intro = 1337,
        id_available_label = 1334,
        id_available = 1317,
        id_add = 1101,
        id_add_all = 1102,
        id_remove = 1111,
        id_remove_all = 1110,
        id_add_query = 1114,
        id_selected_label = 1312,
        id_selected = 1318,
    };

    // question: asked on Next when names are available and none is selected
    sel_tables_page(int template_id, std::wstring question);

    // moves every name that is a key of names and available into the selected list
    virtual void preselect(const std::map<std::wstring, std::wstring>& names);
    void on_command(int id, control_event event) override;

    // case-insensitive (full case folding), ties by utf-16 code units
    static bool name_less(const std::wstring& a, const std::wstring& b);

protected:
    void do_page_init();
    void on_add();
    void on_add_all();
    void on_delete();
    void on_del_all();
    void move_to_selected(int index);
    void move_to_available(int index);
    int find_available(const std::wstring& name) const;
    // false when the user keeps the page; otherwise the selected names are collected
    bool get_selected();

    std::vector<std::wstring> m_available;
    std::vector<std::wstring> m_selected;

private:
    // moves the item at index from one list to its sorted place in the other
    void move(int from, int to, int index);
    // mirrors of add and add all from one list to the other
    void move_current(int from, int to);
    void move_all(int from, int to);

    std::wstring m_question;
};
