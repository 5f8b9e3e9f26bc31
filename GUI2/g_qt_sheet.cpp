#include "g_qt_sheet.hpp"

#include "g_gui_call.hpp"
#include "g_qt_page.hpp"
#include "g_qt_svc.hpp"
#include "g_qt_text.hpp"
#include "g_wiz_pg.hpp"
#include "g_wiz_sh.hpp"
#include "g_wiz_svc.hpp"

#include <QAbstractButton>
#include <QKeySequence>
#include <QShortcut>

qt_wizard_sheet::qt_wizard_sheet(wizard_shell& model, QWidget* parent)
    : QWizard(parent), m_model(model)
{
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton, true);
    setOption(QWizard::IndependentPages, true);
    setOption(QWizard::NoBackButtonOnStartPage, false);
    setWindowTitle(to_qstring(model.get_caption()));
    // room for the longest line of the pages beside the watermark
    setMinimumWidth(640);

    const QPixmap watermark = qt_wizard_services::image(model.get_watermark_id());
    const QPixmap header = qt_wizard_services::image(model.get_header_id());
    int index = 0;
    for (wizard_page* page : model.pages()) {
        auto* view = new qt_wizard_page(*page);
        if (page->get_flags() & page_hide_header)
            view->setPixmap(QWizard::WatermarkPixmap, watermark);
        else
            view->setPixmap(QWizard::LogoPixmap, header);
        setPage(index++, view);
        m_pages.push_back(view);
    }

    // navigation is the model's: Qt's own reactions are taken away
    for (WizardButton which : {BackButton, NextButton, FinishButton})
        QObject::disconnect(button(which), nullptr, this, nullptr);
    connect(button(BackButton), &QAbstractButton::clicked, this, [this] { on_back(); });
    connect(button(NextButton), &QAbstractButton::clicked, this, [this] { on_next(); });
    connect(button(FinishButton), &QAbstractButton::clicked, this, [this] { on_finish(); });
    connect(this, &QWizard::currentIdChanged, this, [this](int id) { on_current_changed(id); });
    connect(this, &QWizard::helpRequested, this,
            [this] { gui_thread::guarded([this] { m_model.on_help(); }); });
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [this] { gui_thread::guarded([this] { m_model.on_help(); }); });
    connect(&m_timer, &QTimer::timeout, this, [this] {
        gui_thread::guarded([this] { m_model.on_timer(wizard_shell::progress_timer_id); });
    });
    qt_wizard_services::attach_sheet(this);
}

qt_wizard_sheet::~qt_wizard_sheet()
{
    m_timer.stop();
    qt_wizard_services::attach_sheet(nullptr);
}

int qt_wizard_sheet::nextId() const
{
    const int next = currentId() + 1;
    return next < static_cast<int>(m_pages.size()) ? next : -1;
}

qt_wizard_page* qt_wizard_sheet::page_at(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_pages.size()))
        return nullptr;
    return m_pages[static_cast<std::size_t>(index)];
}

void qt_wizard_sheet::reject()
{
    bool close = false;
    gui_thread::guarded([&] { close = m_model.on_cancel_requested(); });
    if (close)
        QWizard::reject();
}

void qt_wizard_sheet::move_to(int index)
{
    if (index >= 0 && index != currentId() && page_at(index))
        setCurrentId(index);
}

void qt_wizard_sheet::on_current_changed(int id)
{
    if (id < 0)
        return;
    int skip = -1;
    gui_thread::guarded([&] {
        show_help_button(m_model.pages()[static_cast<std::size_t>(id)]->get_flags()
                         & page_has_help);
        skip = m_model.on_activated(id);
    });
    if (skip >= 0) {
        move_to(skip);
        return;
    }
    // the page filled its controls: QWizard sizes the page area again only on a layout change
    setTitleFormat(titleFormat());
}

void qt_wizard_sheet::on_next()
{
    int target = -1;
    gui_thread::guarded([&] { target = m_model.on_next_pressed(); });
    move_to(target);
}

void qt_wizard_sheet::on_back()
{
    int target = -1;
    gui_thread::guarded([&] { target = m_model.on_back_pressed(); });
    move_to(target);
}

void qt_wizard_sheet::on_finish()
{
    bool finish = false;
    gui_thread::guarded([&] { finish = m_model.on_finish_pressed(); });
    if (finish)
        accept();
}

QAbstractButton* qt_wizard_sheet::sheet_button(int id) const
{
    switch (id) {
    case sheet_cancel:
        return button(CancelButton);
    case sheet_help:
        return button(HelpButton);
    case sheet_back:
        return button(BackButton);
    case sheet_next:
        return button(NextButton);
    case sheet_finish:
        return button(FinishButton);
    default:
        return nullptr;
    }
}

void qt_wizard_sheet::apply_buttons(int flags)
{
    button(BackButton)->setEnabled(flags & wizard_back);
    button(NextButton)->setEnabled(flags & wizard_next);
    button(FinishButton)->setEnabled(flags & wizard_finish);
}

void qt_wizard_sheet::enable_sheet_button(int id, bool enable)
{
    if (QAbstractButton* b = sheet_button(id))
        b->setEnabled(enable);
}

void qt_wizard_sheet::focus_sheet_button(int id)
{
    if (QAbstractButton* b = sheet_button(id))
        b->setFocus();
}

void qt_wizard_sheet::show_help_button(bool show)
{
    setOption(QWizard::HaveHelpButton, show);
}

void qt_wizard_sheet::start_progress_timer(int period_ms)
{
    m_timer.start(period_ms);
}

void qt_wizard_sheet::stop_progress_timer()
{
    m_timer.stop();
}
