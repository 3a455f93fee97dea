#pragma once

#include "touchdialog.h"

#include <QDate>

class QCalendarWidget;

// A large month grid. Enter or a double tap on a day confirms it.
class TouchCalendarDialog : public TouchDialog
{
    Q_OBJECT
public:
    TouchCalendarDialog(const QString &title, const QDate &initial, QWidget *parent = nullptr);

    QDate selectedDate() const;
    QCalendarWidget *calendar() const { return m_calendar; }

protected:
    void enterPressed() override { accept(); }

private:
    QCalendarWidget *m_calendar;
};

// arg1: a date text to start on (today when empty or not a date); arg2: the title.
QString touchCalendar(const QString &arg1, const QString &arg2, const QString &arg3);
