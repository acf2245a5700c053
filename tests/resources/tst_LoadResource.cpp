#include "resources/LoadResource.h"

#include <QtTest>

#include <limits>

namespace {

constexpr int NoId = std::numeric_limits<int>::min();

// Every id that some part of the program loads.
const QList<int> LoadedIds{20,   21,   1102, 1207, 2102, 2103, 2104, 2105, 2106, 2107, 2125, 2126, 2127,
                           2128, 2129, 2130, 2131, 2132, 2133, 2134, 2135, 2136, 2138, 2139, 2140, 2141,
                           2142, 2143, 2158, 2159, 2160, 2161, 2162, 2163, 2167, 2170, 2201, 2202, 2203,
                           2204, 2205, 2206, 2207, 2208, 2209, 2210, 2211, 2212, 2219, 4030};

} // namespace

class tst_LoadResource : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setLanguageOverride(std::nullopt); }
    void idReadings_data();
    void idReadings();
    void table();
};

void tst_LoadResource::idReadings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("whole");
    QTest::addColumn<int>("leading");
    const QString nines(400, u'9');
    QTest::newRow("blanks around") << " \t2102 \t" << 2102 << 2102;
    QTest::newRow("word after") << "2158 word" << NoId << 2158;
    QTest::newRow("blank after sign") << "- 3" << NoId << 0;
    QTest::newRow("half 2.5 to even") << "2.5" << 2 << 2;
    QTest::newRow("half 2103.5 to even") << "2103.5" << 2104 << 2104;
    QTest::newRow("exponent signs") << "+2.158E+3" << 2158 << 2158;
    QTest::newRow("rounds beyond max") << "32767.5" << NoId << NoId;
    QTest::newRow("beyond min") << "-32769" << NoId << NoId;
    QTest::newRow("tiny fraction scaled up")
        << QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1e404") << 1000 << 1000;
    QTest::newRow("huge exponent") << "1e99999" << NoId << NoId;
}

void tst_LoadResource::idReadings()
{
    QFETCH(QString, text);
    QFETCH(int, whole);
    QFETCH(int, leading);
    QCOMPARE(wholeNumberId(text).value_or(NoId), whole);
    QCOMPARE(leadingNumberId(text).value_or(NoId), leading);
}

void tst_LoadResource::table()
{
    for (Language language : {Language::English, Language::Japanese}) {
        setLanguageOverride(language);
        for (int id : LoadedIds)
            QVERIFY2(hasResource(id), qPrintable(QString::number(id)));
        for (int id : resourceIds())
            QVERIFY2(LoadResource(id).isEmpty() == (id == 1102), qPrintable(QString::number(id)));
    }
}

QTEST_MAIN(tst_LoadResource)
#include "tst_LoadResource.moc"
