#include "g_qt_wait.hpp"

#include "g_qt_svc.hpp"

#include <QHBoxLayout>
#include <QLabel>

namespace {
constexpr int frame_count = 8;
}

qt_wait_dialog::qt_wait_dialog(const QString& text, int first_frame, unsigned period_ms,
                               QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_image(new QLabel), m_first(first_frame)
{
    setModal(true);
    setObjectName(QStringLiteral("101"));
    auto* row = new QHBoxLayout(this);
    m_image->setObjectName(QStringLiteral("1301"));
    row->addWidget(m_image);
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    row->addWidget(label, 1);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(12);
    show_frame();
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % frame_count;
        show_frame();
    });
    m_timer.start(static_cast<int>(period_ms));
}

void qt_wait_dialog::show_frame()
{
    m_image->setPixmap(qt_wizard_services::image(m_first + m_frame));
}
