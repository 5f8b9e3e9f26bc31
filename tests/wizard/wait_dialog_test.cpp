#include "g_gui_call.hpp"
#include "g_qt_svc.hpp"
#include "g_qt_wait.hpp"
#include "g_wait_dlg.hpp"
#include "qlx_images.hpp"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "test_wait.hpp"

#include <atomic>
#include <thread>

namespace {

qt_wait_dialog* shown_wait_dialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<qt_wait_dialog*>(w); d && d->isVisible())
            return d;
    return nullptr;
}

} // namespace

TEST(wizard_wait_dialog, cycles_eight_frames_ignores_escape_and_closes_when_the_task_ends)
{
    gui_thread::end_closing();
    qt_wizard_services services;
    qt_wizard_services::set_image_provider(qlx_image);
    wait_end end;
    std::vector<int> frames;
    std::atomic<bool> came_round{false};
    QString text;
    bool open_after_escape = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        qt_wait_dialog* d = shown_wait_dialog();
        if (!d)
            return;
        if (frames.empty()) {
            text = d->findChildren<QLabel*>().last()->text();
            QTest::keyClick(d, Qt::Key_Escape);
            d->close();
            open_after_escape = d->isVisible();
        }
        if (frames.empty() || frames.back() != d->current_frame())
            frames.push_back(d->current_frame());
        came_round = came_round || frames.size() >= 9;
    });
    probe.start(20);
    // the task ends once the icon has come round to its first frame again; the dialog stays
    // up until then
    std::thread task([&] {
        test_wait_until([&] { return came_round.load(); }, "the wait dialog's ninth frame");
        end.end();
    });
    services.wait_dialog(L"Dravenor 1.0 ", L"Connecting to Oracle server. Please wait...", 502, 500,
                         end);
    task.join();
    EXPECT_EQ(text.toStdString(), "Connecting to Oracle server. Please wait...");
    EXPECT_TRUE(open_after_escape);
    // one frame every half second from the first, back to the first after the eighth
    ASSERT_GE(frames.size(), 9u);
    EXPECT_EQ(std::vector<int>(frames.begin(), frames.begin() + 9),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(shown_wait_dialog(), nullptr);
}

TEST(wizard_wait_dialog, end_asked_for_before_the_dialog_shows_still_ends_it)
{
    gui_thread::end_closing();
    qt_wizard_services services;
    wait_end end;
    // a connection that failed at once, before the dialog was up
    end.end();
    // the frames the dialog showed while it was up: it goes before its second one
    std::vector<int> frames;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (qt_wait_dialog* d = shown_wait_dialog())
            if (frames.empty() || frames.back() != d->current_frame())
                frames.push_back(d->current_frame());
    });
    probe.start(20);
    {
        const test_watchdog watchdog("the end of a wait dialog whose task had ended");
        services.wait_dialog(L"Dravenor 1.0 ", L"Connecting to PostgreSQL server. Please wait...",
                             502, 500, end);
    }
    EXPECT_EQ(shown_wait_dialog(), nullptr);
    EXPECT_TRUE(frames.empty() || frames == std::vector<int>{0})
        << "the dialog showed " << frames.size() << " frames";
}
