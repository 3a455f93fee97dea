#include "conversions.h"
#include "exception.h"

#include <QLocale>
#include <QTest>

class TestConversions : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void cleanup() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void formatsAmountsByLocale_data();
    void formatsAmountsByLocale();
    void readsNumbersWithThousandsAndRejectsGarbage();
    void datesAreStrictAndFollowTheLocale();
    void dateTimesAndCurrency();
};

void TestConversions::formatsAmountsByLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("grouped") << "pt_BR" << "#,##0.00" << 1234.5 << "1.234,50";
    QTest::newRow("millions") << "pt_BR" << "#,##0.00" << 1234567.891 << "1.234.567,89";
    QTest::newRow("plain") << "pt_BR" << "0.00" << 1234.5 << "1234,50";
    QTest::newRow("small") << "pt_BR" << "#,##0.00" << 0.5 << "0,50";
    QTest::newRow("no minus zero") << "pt_BR" << "#,##0.00" << -0.001 << "0,00";
    QTest::newRow("negative") << "pt_BR" << "#,##0.00" << -1234.5 << "-1.234,50";
    QTest::newRow("optional digits") << "pt_BR" << "0.##" << 7.5 << "7,5";
    QTest::newRow("en_US") << "en_US" << "#,##0.00" << 1234.5 << "1,234.50";
}

// Amounts on screen and in messages go through masks; the separators must come from the
// locale (pt_BR in the store, another locale to prove nothing is hard-coded).
void TestConversions::formatsAmountsByLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, mask);
    QFETCH(double, value);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(Sys::FormatFloat(mask, value), expected);
}

// Values typed by the operator come back as numbers: thousands separators are allowed,
// anything else is an Exception rather than a silent zero. FloatToStr gives the short form.
void TestConversions::readsNumbersWithThousandsAndRejectsGarbage()
{
    QCOMPARE(Sys::StrToFloat("1.234,50"), 1234.5);
    QCOMPARE(Sys::StrToFloat(" 30,004 "), 30.004);
    QCOMPARE(Sys::StrToFloat("-2,5"), -2.5);
    for (const char *bad : {"", "abc", "12,3,4", "1,5x", "R$ 10,00"})
        QVERIFY_THROWS_EXCEPTION(Exception, Sys::StrToFloat(QString::fromLatin1(bad)));
    double out = 7;
    QVERIFY(!Sys::TryStrToFloat("x", out));
    QCOMPARE(out, 7.0);
    QCOMPARE(Sys::FloatToStr(18), QStringLiteral("18"));
    QCOMPARE(Sys::FloatToStr(7.5), QStringLiteral("7,5"));
    QCOMPARE(Sys::FloatToStr(1234567.25), QStringLiteral("1234567,25"));
    QCOMPARE(Sys::StrToInt(" 42 "), 42);
    QVERIFY_THROWS_EXCEPTION(Exception, Sys::StrToInt("4,2"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(Sys::StrToFloat("1,234.50"), 1234.5);
    QCOMPARE(Sys::FloatToStr(7.5), QStringLiteral("7.5"));
}

// The issue date is typed as text: impossible dates and two-digit years must be refused,
// and the order of day and month follows the locale.
void TestConversions::datesAreStrictAndFollowTheLocale()
{
    QCOMPARE(Sys::StrToDate("29/02/2024"), QDateTime(QDate(2024, 2, 29), QTime(0, 0)));
    QCOMPARE(Sys::StrToDate("1/2/2024").date(), QDate(2024, 2, 1));
    for (const char *bad : {"31/02/2024", "29/02/2023", "01/13/2024", "01/01/24", "1-1-2024",
                            "aa/bb/cccc", "", "01/01/2024x", "01/01/2024/1"})
        QVERIFY_THROWS_EXCEPTION(Exception, Sys::StrToDate(QString::fromLatin1(bad)));
    QCOMPARE(Sys::DateToStr(QDate(2024, 1, 5)), QStringLiteral("05/01/2024"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(Sys::StrToDate("2/1/2024").date(), QDate(2024, 2, 1));
    QCOMPARE(Sys::DateToStr(QDate(2024, 2, 1)), QStringLiteral("2/1/2024"));
}

// Date-times print without a time at midnight, so plain dates read as dates; the currency is
// the locale's.
void TestConversions::dateTimesAndCurrency()
{
    const QDateTime dt(QDate(2024, 1, 31), QTime(10, 11, 12));
    QCOMPARE(Sys::DateTimeToStr(dt), QStringLiteral("31/01/2024 10:11:12"));
    QCOMPARE(Sys::DateTimeToStr(QDateTime(QDate(2024, 1, 31), QTime(0, 0))),
             QStringLiteral("31/01/2024"));
    QCOMPARE(Sys::StrToDateTime("31/01/2024 10:11:12"), dt);
    QCOMPARE(Sys::StrToDateTime("31/01/2024 10:11").time(), QTime(10, 11));
    QVERIFY_THROWS_EXCEPTION(Exception, Sys::StrToDateTime("31/01/2024 25:00"));
    QCOMPARE(Sys::CurrencyString(), QStringLiteral("R$"));
}

QTEST_MAIN(TestConversions)
#include "tst_conversions.moc"
