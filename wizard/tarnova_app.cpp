#include "tarnova_app.hpp"

#include "error_handler.hpp"
#include "g_gui_call.hpp"
#include "g_qt_desk.hpp"
#include "g_qt_sheet.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_sh.hpp"
#include "qlx_error.hpp"
#include "qlx_finish.hpp"
#include "qlx_images.hpp"
#include "qlx_oracle.hpp"
#include "qlx_pgs.hpp"
#include "qlx_progress.hpp"
#include "qlx_run.hpp"
#include "qlx_settings.hpp"
#include "qlx_shel.hpp"
#include "qlx_tables.hpp"
#include "qlx_welcome.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <QLibraryInfo>
#include <QVersionNumber>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

QtMessageHandler qt_default_handler = nullptr;

void startup_handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg && text.contains(QStringLiteral("platform plugin"))) {
        std::fprintf(stderr, "%s\n", qlx::gui_failed);
        std::fflush(stderr);
        std::_Exit(255);
    }
    if (qt_default_handler)
        qt_default_handler(type, context, text);
}

std::string command_line(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

// the sheet on the screen until it closes; every request of a worker is answered
// from then on, so the teardown that follows can wait for the run
int run_sheet(wizard_shell& sheet)
{
    qt_wizard_sheet window(sheet);
    const int result = window.exec();
    gui_thread::begin_closing();
    return result;
}

// the protected stretch of the quick launch; everything built here is gone before
// an error that escapes it is reported
int quick_launch(const std::string& line)
{
    tarnova_convertor task(tarnova_convertor::program::wizard);
    // until the run starts the last session's settings stay as stored: a launch that ends
    // before it (a refused profile, a failed connection) must not put its options there
    task.set_save_at_end(false);
    wizard_run_hooks hooks;
    task.set_hooks(&hooks);
    tk_trace(2, "QUICK LAUNCH: profile=%s", line.c_str());
    const std::wstring path = tk_to_unicode(line);
    // named: the path is the command line's words joined, which may not be what was meant
    if (!tk_is_file_exist(path, 0x4000)) {
        wizard_shell::error(L"Profile '" + tk_escape_controls(path, false)
                            + L"' does not exist. Please verify the correct path/name was given.");
        return 0;
    }
    // what the profile leaves out of the conversion is what a first start has, never
    // what the last session chose: the same profile gives the same run anywhere
    task.use_first_start_options();
    // a file that is not a profile must not run with the last settings
    std::wstring refusal;
    if (!task.load_profile_file(path, &refusal)) {
        wizard_shell::error(refusal.empty() ? std::wstring(qlx::profile_unreadable) : refusal);
        return 0;
    }
    wizard_shell sheet(qlx_caption(), qlx::icon_program, qlx::bitmap_watermark,
                       qlx::bitmap_header);
    progress_page progress;
    qlx_finish_page finish;
    // no sheet to stay on: the failure's box, then the end, as for Oracle below
    if (!pgs_settings_page_impl::connect())
        return 0;
    bool connected = false;
    {
        oracle_settings_page::animation connection(500);
        connection.run();
        connected = connection.is_connected();
    }
    if (!connected)
        return 0;
    sheet.add_page(progress);
    sheet.add_page(finish);
    // the run's settings are the next start's
    task.set_save_at_end(true);
    return run_sheet(sheet);
}

// the seven pages from the registry's settings
int interactive()
{
    tarnova_convertor task(tarnova_convertor::program::wizard);
    wizard_run_hooks hooks;
    task.set_hooks(&hooks);
    wizard_shell sheet(qlx_caption(), qlx::icon_program, qlx::bitmap_watermark,
                       qlx::bitmap_header);
    welcome_page welcome;
    pgs_settings_page_impl pgs;
    oracle_settings_page oracle;
    sel_file_page settings;
    qlx_sel_tables_page tables;
    progress_page progress;
    qlx_finish_page finish;
    for (wizard_page* page : std::initializer_list<wizard_page*>{
             &welcome, &pgs, &oracle, &settings, &tables, &progress, &finish})
        sheet.add_page(*page);
    return run_sheet(sheet);
}

} // namespace

void tarnova_install_startup_handler()
{
    qt_default_handler = qInstallMessageHandler(startup_handler);
}

int tarnova_main(int argc, char** argv)
{
    gui_thread::end_closing();
    error_handler handler(pgs_connection_error_count, pgs_connection_errors);
    handler.load_err_map(oracle_error_count, oracle_errors);
    qt_wizard_services services;
    qt_wizard_services::set_image_provider(qlx_image);
    qt_desktop_backend desktop;
    wizard_error_reaction reaction;
    handler.set_reaction(&reaction);
    // an internal error on any thread still logs Oracle off before the exit
    handler.set_before_exit(&tarnova_convertor::log_off_before_exit);

    int result = 0;
    if (QLibraryInfo::version() < QVersionNumber(6, 4)) {
        wizard_shell::error(std::wstring(qlx::qt_too_old));
        result = 255;
    } else {
        const std::string line = command_line(argc, argv);
        try {
            result = line.empty() ? interactive() : quick_launch(line);
        } catch (const tk_final_exception&) {
            // reported already
        } catch (const tk_exception& e) {
            handler.report(e, true);
        } catch (const std::exception& e) {
            wizard_shell::error(std::string(e.what()));
        }
    }
    handler.set_reaction(nullptr);
    return result;
}
