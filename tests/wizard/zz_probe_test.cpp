#include "page_helpers.hpp"
#include "wizard_fixture.hpp"
#include <QApplication>
#include <QTest>
#include <cstdio>
TEST_F(wizard_conversion, zz_probe_focus)
{
    modal_script script;
    ui_steps steps({at(p_welcome, [] {
        shown_sheet()->activateWindow();
        QTest::qWaitForWindowActive(shown_sheet(), 5000);
        QWidget* w = QApplication::focusWidget();
        std::printf("FOCUS=%s %s\n", w ? w->metaObject()->className() : "none",
                    w ? w->objectName().toUtf8().constData() : "");
        click_sheet(QWizard::CancelButton);
    })});
    script.add({"Yes", false, {}});
    run_tarnova({});
}
