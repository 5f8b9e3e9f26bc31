#include "g_qt_page.hpp"

#include "g_gui_call.hpp"
#include "g_qt_text.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_pg.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSizePolicy>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

template <class W>
W* as(QWidget* widget)
{
    return qobject_cast<W*>(widget);
}

} // namespace

qt_wizard_page::qt_wizard_page(wizard_page& page) : m_page(page)
{
    setObjectName(QString::number(page.get_template_id()));
    if (page.get_flags() & page_header) {
        setTitle(to_qstring(page.get_title()));
        setSubTitle(to_qstring(page.get_subtitle()));
    }
    auto* rows = new QVBoxLayout(this);
    int last_row = -1;
    QHBoxLayout* row = nullptr;
    for (const control_spec& spec : page.get_controls()) {
        if (!row || spec.row != last_row) {
            row = new QHBoxLayout;
            rows->addLayout(row);
            last_row = spec.row;
        }
        QWidget* widget = build(spec);
        // a button keeps its own size at the start of its row
        row->addWidget(widget, 0,
                       spec.kind == control_kind::button ? Qt::AlignLeft : Qt::Alignment());
        if (spec.hidden)
            widget->hide();
        if (spec.id != -1)
            m_controls[spec.id] = widget;
    }
    rows->addStretch(1);
    page.attach_view(this);
}

qt_wizard_page::~qt_wizard_page()
{
    m_page.attach_view(nullptr);
}

QWidget* qt_wizard_page::build(const control_spec& spec)
{
    const QString text = to_qstring(spec.text);
    const int id = spec.id;
    QWidget* widget = nullptr;
    switch (spec.kind) {
    case control_kind::label:
    case control_kind::title: {
        auto* label = new QLabel(text);
        label->setTextFormat(Qt::PlainText);
        // the texts carry their own line breaks, as the pages were laid out
        label->setWordWrap(false);
        if (spec.kind == control_kind::title) {
            QFont font;
            font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
            font.setPointSize(10);
            font.setBold(true);
            label->setFont(font);
        }
        widget = label;
        break;
    }
    case control_kind::edit:
    case control_kind::password: {
        auto* edit = new QLineEdit(text);
        if (spec.kind == control_kind::password)
            edit->setEchoMode(QLineEdit::Password);
        connect(edit, &QLineEdit::textEdited, this,
                [this, id] { notify(id, control_event::changed); });
        widget = edit;
        break;
    }
    case control_kind::multiline: {
        auto* edit = new QPlainTextEdit(text);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->installEventFilter(this);
        widget = edit;
        break;
    }
    case control_kind::button: {
        auto* button = new QPushButton(text);
        button->setAutoDefault(false);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this,
                [this, id] { notify(id, control_event::clicked); });
        widget = button;
        break;
    }
    case control_kind::check_box: {
        auto* box = new QCheckBox(text);
        // the page toggles it itself on the click
        box->setCheckable(true);
        connect(box, &QCheckBox::clicked, this, [this, id, box](bool checked) {
            box->setChecked(!checked);
            notify(id, control_event::clicked);
        });
        widget = box;
        break;
    }
    case control_kind::progress: {
        auto* bar = new QProgressBar;
        bar->setRange(0, 100);
        bar->setValue(0);
        widget = bar;
        break;
    }
    case control_kind::list: {
        auto* list = new QListWidget;
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        connect(list, &QListWidget::itemSelectionChanged, this,
                [this, id] { notify(id, control_event::changed); });
        widget = list;
        break;
    }
    case control_kind::combo: {
        auto* combo = new QComboBox;
        combo->setEditable(true);
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, id] { notify(id, control_event::changed); });
        widget = combo;
        break;
    }
    case control_kind::image: {
        auto* label = new QLabel;
        label->setPixmap(qt_wizard_services::image(spec.image));
        widget = label;
        break;
    }
    }
    if (id != -1)
        widget->setObjectName(QString::number(id));
    return widget;
}

void qt_wizard_page::notify(int id, control_event event)
{
    gui_thread::guarded([&] { m_page.on_command(id, event); });
}

bool qt_wizard_page::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        for (const auto& [id, widget] : m_controls)
            if (widget == watched)
                notify(id, control_event::focus);
    }
    return QWizardPage::eventFilter(watched, event);
}

QWidget* qt_wizard_page::control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void qt_wizard_page::set_text(int id, const std::wstring& text)
{
    QWidget* w = control(id);
    const QString q = to_qstring(text);
    if (auto* label = as<QLabel>(w))
        label->setText(q);
    else if (auto* edit = as<QLineEdit>(w))
        edit->setText(q);
    else if (auto* plain = as<QPlainTextEdit>(w))
        plain->setPlainText(q);
    else if (auto* button = as<QAbstractButton>(w))
        button->setText(q);
    else if (auto* combo = as<QComboBox>(w))
        combo->setEditText(q);
}

std::wstring qt_wizard_page::get_text(int id) const
{
    QWidget* w = control(id);
    if (auto* label = as<QLabel>(w))
        return from_qstring(label->text());
    if (auto* edit = as<QLineEdit>(w))
        return from_qstring(edit->text());
    if (auto* plain = as<QPlainTextEdit>(w))
        return from_qstring(plain->toPlainText());
    if (auto* button = as<QAbstractButton>(w))
        return from_qstring(button->text());
    if (auto* combo = as<QComboBox>(w))
        return from_qstring(combo->currentText());
    return std::wstring();
}

void qt_wizard_page::append_text(int id, const std::wstring& text)
{
    if (auto* plain = as<QPlainTextEdit>(control(id))) {
        QTextCursor cursor = plain->textCursor();
        cursor.movePosition(QTextCursor::End);
        // the page's "\r\n" are line ends
        QString q = to_qstring(text);
        q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        cursor.insertText(q);
    }
}

void qt_wizard_page::set_read_only(int id, bool read_only)
{
    if (auto* plain = as<QPlainTextEdit>(control(id)))
        plain->setReadOnly(read_only);
    else if (auto* edit = as<QLineEdit>(control(id)))
        edit->setReadOnly(read_only);
}

void qt_wizard_page::clear_selection(int id)
{
    if (auto* plain = as<QPlainTextEdit>(control(id))) {
        QTextCursor cursor = plain->textCursor();
        cursor.movePosition(QTextCursor::Start);
        plain->setTextCursor(cursor);
        plain->ensureCursorVisible();
    }
}

bool qt_wizard_page::get_check(int id) const
{
    auto* box = as<QCheckBox>(control(id));
    return box && box->isChecked();
}

bool qt_wizard_page::set_check(int id, bool checked)
{
    auto* box = as<QCheckBox>(control(id));
    if (!box)
        return false;
    box->setChecked(checked);
    return true;
}

void qt_wizard_page::enable(int id, bool enable)
{
    if (QWidget* w = control(id)) {
        w->setEnabled(enable);
        if (enable)
            w->setFocus();
    }
}

void qt_wizard_page::show(int id, bool show)
{
    if (QWidget* w = control(id))
        w->setVisible(show);
}

void qt_wizard_page::set_progress(int id, int position)
{
    if (auto* bar = as<QProgressBar>(control(id)))
        bar->setValue(position);
}

void qt_wizard_page::clear_items(int id)
{
    if (auto* list = as<QListWidget>(control(id)))
        list->clear();
    else if (auto* combo = as<QComboBox>(control(id)))
        combo->clear();
}

void qt_wizard_page::add_item(int id, const std::wstring& text)
{
    if (auto* list = as<QListWidget>(control(id)))
        list->addItem(to_qstring(text));
    else if (auto* combo = as<QComboBox>(control(id)))
        combo->addItem(to_qstring(text));
}

int qt_wizard_page::item_count(int id) const
{
    if (auto* list = as<QListWidget>(control(id)))
        return list->count();
    if (auto* combo = as<QComboBox>(control(id)))
        return combo->count();
    return 0;
}

std::wstring qt_wizard_page::item_text(int id, int index) const
{
    if (auto* list = as<QListWidget>(control(id))) {
        if (QListWidgetItem* item = list->item(index))
            return from_qstring(item->text());
    } else if (auto* combo = as<QComboBox>(control(id))) {
        if (index >= 0 && index < combo->count())
            return from_qstring(combo->itemText(index));
    }
    return std::wstring();
}

int qt_wizard_page::current_index(int id) const
{
    if (auto* list = as<QListWidget>(control(id)))
        return list->currentRow();
    if (auto* combo = as<QComboBox>(control(id)))
        return combo->currentIndex();
    return -1;
}

void qt_wizard_page::set_current_index(int id, int index)
{
    if (auto* list = as<QListWidget>(control(id)))
        list->setCurrentRow(index);
    else if (auto* combo = as<QComboBox>(control(id)))
        combo->setCurrentIndex(index);
}

bool qt_wizard_page::is_item_selected(int id, int index) const
{
    if (auto* list = as<QListWidget>(control(id)))
        if (QListWidgetItem* item = list->item(index))
            return item->isSelected();
    return false;
}

void qt_wizard_page::select_item(int id, int index, bool selected)
{
    if (auto* list = as<QListWidget>(control(id)))
        if (QListWidgetItem* item = list->item(index))
            item->setSelected(selected);
}
