#pragma once

#include "g_wiz_pg.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"

#include <string>
#include <vector>

// a page for the four Oracle server fields of a conversion task (host, port, user
// name, password); a derived page adds its own fields after the host
template <class t_converter>
class ora_settings_page2 : public wizard_page {
public:
    enum { id_host = 1003, id_port = 1004, id_user = 1012, id_password = 1013 };

    bool page_init() override
    {
        tk_trace(2, "ora_settings_page2<t_converter>::page_init");
        t_converter& task = converter();
        if (wizard_page_view* v = view()) {
            v->set_text(id_host, task.host);
            v->set_text(id_port, task.port);
            v->set_text(id_user, task.user);
            v->set_text(id_password, task.password);
        }
        return true;
    }

    // the fields into the task, whole
    virtual void store_settings()
    {
        tk_trace(1, "oracle_settings_page2<t_converter>::store_settings");
        t_converter& task = converter();
        wizard_page_view* v = view();
        if (!v)
            return;
        task.store_oracle_settings(v->get_text(id_host), v->get_text(id_user),
                                   v->get_text(id_password), v->get_text(id_port));
    }

protected:
    // after_host: the derived page's rows between the host and the port
    ora_settings_page2(int template_id, const std::vector<control_spec>& after_host)
        : wizard_page(template_id)
    {
        add_control({-1, control_kind::label,
                     L"If the program has been installed on Oracle server machine, you can leave",
                     0});
        add_control({-1, control_kind::label,
                     L"'Server' editbox empty. It is necessary to specify the port only if it "
                     L"differs",
                     1});
        add_control({-1, control_kind::label, L"from default value 1521.", 2});
        add_control({-1, control_kind::label, L"&Server (IP or network name):", 3});
        add_control({id_host, control_kind::edit, L"", 3});
        for (const control_spec& ctl : after_host)
            add_control(ctl);
        add_control({1307, control_kind::label, L"Po&rt:", 10});
        add_control({id_port, control_kind::edit, L"", 10});
        add_control({-1, control_kind::label, L"&Username:", 11});
        add_control({id_user, control_kind::edit, L"", 11});
        add_control({-1, control_kind::label, L"&Password:", 12});
        add_control({id_password, control_kind::password, L"", 12});
    }

    static t_converter& converter()
    {
        if (!t_converter::has_instance())
            throw tk_mail_assertion("..\\common/ora_set2.hpp", 68);
        return t_converter::instance();
    }
};
