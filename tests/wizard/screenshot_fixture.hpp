#pragma once

#include "wizard_fixture.hpp"

#include <QAbstractButton>
#include <QPixmap>

#include <cstdlib>
#include <string>

// pictures of the wizard for a person to look at (scripts/screenshots.sh); skipped unless
// WIZARD_SCREENSHOT_DIR names where they go
class wizard_screenshot_base : public wizard_conversion {
protected:
    void SetUp() override
    {
        const char* dir = std::getenv("WIZARD_SCREENSHOT_DIR");
        if (!dir)
            GTEST_SKIP() << "pictures are taken by scripts/screenshots.sh";
        out = dir;
        wizard_conversion::SetUp();
    }

    bool save(QWidget* w, const std::string& name) const
    {
        return w->grab().save(QString::fromStdString(out + "/" + name + ".png"));
    }

    // an answer that takes the picture first, then clicks the button (ticking the dialog's
    // check box first when asked)
    modal_script::answer picture_then(const std::string& name, const QString& button,
                                      bool tick = false) const
    {
        return {"", false, [this, name, button, tick](QWidget* w) {
                    if (tick)
                        w->findChild<QAbstractButton*>(QStringLiteral("1222"))->click();
                    EXPECT_TRUE(save(w, name));
                    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
                        if (b->text().remove('&') == button || b->objectName() == button) {
                            b->click();
                            return;
                        }
                }};
    }

    // the settings of a last run that reached the Oracle page, with that Oracle password
    void last_run_settings(const std::string& oracle_password) const
    {
        const test_pg_server& s = test_pg_server::get();
        test_write_file(settings_file(),
                        "pgshost=sz:" + s.host + "\npgsport=dword:" + s.port + "\npgsuser=sz:"
                            + s.user + "\npgspswd=sz:" + s.password + "\noracleu=sz:" + ora.user()
                            + "\noraclep=sz:" + oracle_password + "\ndest=sz:" + ora.service()
                            + "\n");
    }

    std::string out;
};
