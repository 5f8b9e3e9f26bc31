#include "g_qt_page.hpp"

#include "g_gui_call.hpp"
#include "g_qt_text.hpp"
#include "g_qt_svc.hpp"
#include "g_wiz_pg.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSizePolicy>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <limits>

namespace {

// an editable combo whose page may fill the list before it opens
class popup_combo : public QComboBox {
public:
    explicit popup_combo(std::function<void()> before) : m_before(std::move(before)) {}
    void showPopup() override
    {
        m_before();
        QComboBox::showPopup();
    }

private:
    std::function<void()> m_before;
};

template <class W>
W* as(QWidget* widget)
{
    return qobject_cast<W*>(widget);
}

} // namespace

qt_wizard_page::qt_wizard_page(wizard_page& page)
    : m_page(page), m_radios(new QButtonGroup(this))
{
    m_radios->setExclusive(true);
    setObjectName(QString::number(page.get_template_id()));
    if (page.get_flags() & page_header) {
        setTitle(to_qstring(page.get_title()));
        setSubTitle(to_qstring(page.get_subtitle()));
    }
    auto* rows = new QVBoxLayout(this);
    int last_row = -1;
    QHBoxLayout* row = nullptr;
    // a label with a mnemonic names the control after it; a label that starts a row of
    // several controls is a caption, and the captions share one width
    QLabel* buddy_wanted = nullptr;
    QLabel* row_caption = nullptr;
    std::vector<QLabel*> captions;
    std::vector<QLabel*> notes;
    bool row_has_list = false;
    bool row_grows = false;
    bool row_of_choices = false;
    for (const control_spec& ctl : page.get_controls()) {
        if (!row || ctl.row != last_row) {
            // radios and check boxes of a row stand together at its start
            if (row && row_of_choices)
                row->addStretch(1);
            row = new QHBoxLayout;
            rows->addLayout(row);
            last_row = ctl.row;
            row_caption = nullptr;
            row_grows = false;
            row_of_choices = false;
        }
        QWidget* widget = build(ctl);
        const bool is_label = ctl.kind == control_kind::label || ctl.kind == control_kind::group;
        if (row->count() == 1 && row_caption && !is_label)
            captions.push_back(row_caption);
        if (row->count() == 0 && ctl.kind == control_kind::label)
            row_caption = qobject_cast<QLabel*>(widget);
        // a note after an edit: the notes share one width, so the edits line up
        if (row_grows && ctl.kind == control_kind::label)
            notes.push_back(qobject_cast<QLabel*>(widget));
        if (ctl.kind == control_kind::radio || ctl.kind == control_kind::check_box)
            row_of_choices = true;
        if (buddy_wanted && !is_label && ctl.kind != control_kind::title) {
            buddy_wanted->setBuddy(widget);
            buddy_wanted = nullptr;
        }
        if (ctl.kind == control_kind::label && ctl.buddy == 0
            && ctl.text.find(L'&') != std::wstring::npos)
            buddy_wanted = qobject_cast<QLabel*>(widget);
        // edits and lists take the room of their row
        const bool grows = ctl.kind == control_kind::edit || ctl.kind == control_kind::password
                           || ctl.kind == control_kind::combo || ctl.kind == control_kind::list
                           || ctl.kind == control_kind::multiline
                           || ctl.kind == control_kind::progress;
        // a button keeps its own size at the start of its place
        row->addWidget(widget, grows ? 1 : 0,
                       ctl.kind == control_kind::button ? Qt::AlignLeft : Qt::Alignment());
        if (ctl.kind == control_kind::list)
            row_has_list = true;
        row_grows = row_grows || grows;
        if (ctl.hidden)
            widget->hide();
        if (ctl.id != -1)
            m_controls[ctl.id] = widget;
    }
    for (const control_spec& ctl : page.get_controls())
        if (ctl.buddy != 0)
            if (auto* label = qobject_cast<QLabel*>(control(ctl.id)))
                label->setBuddy(control(ctl.buddy));
    if (row && row_of_choices)
        row->addStretch(1);
    int note_width = 0;
    for (QLabel* note : notes)
        note_width = std::max(note_width, note->sizeHint().width());
    for (QLabel* note : notes)
        note->setFixedWidth(note_width);
    int caption_width = 0;
    for (QLabel* caption : captions)
        caption_width = std::max(caption_width, caption->sizeHint().width());
    for (QLabel* caption : captions)
        caption->setFixedWidth(caption_width);
    // lists take the page's height; other pages keep their controls at the top
    if (!row_has_list)
        rows->addStretch(1);
    page.attach_view(this);
}

qt_wizard_page::~qt_wizard_page()
{
    m_page.attach_view(nullptr);
}

QWidget* qt_wizard_page::build(const control_spec& ctl)
{
    const QString text = to_qstring(ctl.text);
    const int id = ctl.id;
    QWidget* widget = nullptr;
    switch (ctl.kind) {
    case control_kind::label:
    case control_kind::title:
    case control_kind::group: {
        auto* label = new QLabel(text);
        label->setTextFormat(Qt::PlainText);
        // the texts carry their own line breaks, as the pages were laid out
        label->setWordWrap(false);
        if (ctl.kind == control_kind::group) {
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
        } else if (ctl.kind == control_kind::title) {
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
        auto* edit = new QLineEdit;
        // texts are kept whole, however long
        edit->setMaxLength(std::numeric_limits<int>::max());
        edit->setText(text);
        if (ctl.kind == control_kind::password)
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
        // Enter presses the button that has the keyboard, as on every desktop; elsewhere
        // it presses the sheet's default button (Next or Finish) again
        button->setAutoDefault(true);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this,
                [this, id] { notify(id, control_event::clicked); });
        widget = button;
        break;
    }
    case control_kind::check_box: {
        auto* box = new QCheckBox(text);
        connect(box, &QCheckBox::clicked, this, [this, id] { notify(id, control_event::clicked); });
        widget = box;
        break;
    }
    case control_kind::radio: {
        auto* radio = new QRadioButton(text);
        m_radios->addButton(radio);
        connect(radio, &QRadioButton::clicked, this,
                [this, id] { notify(id, control_event::clicked); });
        widget = radio;
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
        // the page keeps the order; Qt's sorting would not match it
        list->setSortingEnabled(false);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        connect(list, &QListWidget::itemSelectionChanged, this,
                [this, id] { notify(id, control_event::changed); });
        connect(list, &QListWidget::itemDoubleClicked, this,
                [this, id] { notify(id, control_event::double_clicked); });
        widget = list;
        break;
    }
    case control_kind::combo: {
        auto* combo = new popup_combo([this, id] { notify(id, control_event::dropdown); });
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
        // names that differ in case are other names: neither completion nor Enter may
        // turn a typed name into one of them
        combo->completer()->setCaseSensitivity(Qt::CaseSensitive);
        // the user's choice only: a choice made in code or by adding items is not one
        connect(combo, &QComboBox::activated, this,
                [this, id] { notify(id, control_event::activated); });
        connect(combo, &QComboBox::editTextChanged, this,
                [this, id] { notify(id, control_event::changed); });
        widget = combo;
        break;
    }
    case control_kind::image: {
        auto* label = new QLabel;
        label->setPixmap(qt_wizard_services::image(ctl.image));
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
    auto* box = as<QAbstractButton>(control(id));
    return box && box->isCheckable() && box->isChecked();
}

bool qt_wizard_page::set_check(int id, bool checked)
{
    auto* box = as<QAbstractButton>(control(id));
    if (!box || !box->isCheckable())
        return false;
    if (!checked && box->group() == m_radios) {
        // an exclusive group does not let its checked radio go otherwise
        m_radios->setExclusive(false);
        box->setChecked(false);
        m_radios->setExclusive(true);
        return true;
    }
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

void qt_wizard_page::insert_item(int id, int index, const std::wstring& text)
{
    if (auto* list = as<QListWidget>(control(id)))
        list->insertItem(index, to_qstring(text));
    else if (auto* combo = as<QComboBox>(control(id)))
        combo->insertItem(index, to_qstring(text));
}

void qt_wizard_page::remove_item(int id, int index)
{
    if (auto* list = as<QListWidget>(control(id)))
        delete list->takeItem(index);
    else if (auto* combo = as<QComboBox>(control(id)))
        combo->removeItem(index);
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

void qt_wizard_page::set_focus(int id)
{
    if (QWidget* w = control(id))
        w->setFocus();
}

void qt_wizard_page::select_item(int id, int index, bool selected)
{
    if (auto* list = as<QListWidget>(control(id)))
        if (QListWidgetItem* item = list->item(index))
            item->setSelected(selected);
}
