#pragma once

#include "tk_threa.hpp"

#include <string>

// the Oracle settings page's parts that the quick launch uses as well
class oracle_settings_page {
public:
    // the connection task behind the wait dialog; the quick launch runs it directly
    class animation : public tk_task {
    public:
        explicit animation(unsigned period_ms);

        // connects the Oracle engine to the destination name; reports a failure
        void run() override;

        bool is_connected() const { return m_connected; }
        unsigned get_period() const { return m_period; }

    protected:
        // ends the wait dialog when there is one
        virtual void end_dialog() {}

    private:
        unsigned m_period;
        bool m_connected = false;
    };
};
