#include "calendar.h"

#include "conversions.h"
#include "touchbutton.h"

#include <QCalendarWidget>
#include <QHBoxLayout>

TouchCalendarDialog::TouchCalendarDialog(const QString &title, const QDate &initial,
                                         QWidget *parent)
    : TouchDialog(title.isEmpty() ? QStringLiteral("Selecione a data") : title, parent)
{
    setObjectName(QStringLiteral("TouchCalendarDialog"));
    setFixedSize(640, 540);

    m_calendar = new QCalendarWidget(this);
    m_calendar->setObjectName(QStringLiteral("calendar"));
    m_calendar->setLocale(QLocale());
    m_calendar->setFont(touchFont(20));
    m_calendar->setGridVisible(true);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    m_calendar->setStyleSheet(QStringLiteral(
        "QCalendarWidget QWidget#qt_calendar_navigationbar { background: #1E4E8C; }"
        "QCalendarWidget QToolButton { color: white; font-size: 22px; font-weight: bold;"
        " min-height: 48px; min-width: 64px; icon-size: 36px; }"));
    m_calendar->setSelectedDate(initial.isValid() ? initial : QDate::currentDate());
    connect(m_calendar, &QCalendarWidget::activated, this, &QDialog::accept);
    body()->addWidget(m_calendar, 1);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    auto *today = makeButton(QStringLiteral("Hoje"), QStringLiteral("today"));
    today->setFixedHeight(60);
    connect(today, &QAbstractButton::clicked, this,
            [this] { m_calendar->setSelectedDate(QDate::currentDate()); });
    actions->addWidget(today);
    actions->addWidget(makeCancelButton());
    actions->addWidget(makeOkButton());
    body()->addLayout(actions);
    m_calendar->setFocus();
}

QDate TouchCalendarDialog::selectedDate() const { return m_calendar->selectedDate(); }

QString touchCalendar(const QString &arg1, const QString &arg2, const QString &arg3)
{
    Q_UNUSED(arg3);
    QDate initial;
    if (!arg1.trimmed().isEmpty()) {
        try {
            initial = Sys::StrToDate(arg1.trimmed()).date();
        } catch (...) {
            // not a date: start on today
        }
    }
    TouchCalendarDialog dialog(arg2, initial);
    if (dialog.run() != QDialog::Accepted)
        return QString();
    // The same form the screen converts back with the system's short date format.
    return Sys::DateToStr(dialog.selectedDate());
}
