#include "resources/LoadResource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(Language)

namespace {

constexpr int NoId = std::numeric_limits<int>::min();

// Every id that some part of the program loads.
const QList<int> LoadedIds{20,   21,   1102, 1207, 2102, 2103, 2104, 2105, 2106, 2107, 2125, 2126, 2127,
                           2128, 2129, 2130, 2131, 2132, 2133, 2134, 2135, 2136, 2138, 2139, 2140, 2141,
                           2142, 2143, 2158, 2159, 2160, 2161, 2162, 2163, 2167, 2170, 2201, 2202, 2203,
                           2204, 2205, 2206, 2207, 2208, 2209, 2210, 2211, 2212, 2219, 4030};

QWidget *makeControl(const QString &kind, QWidget *parent)
{
    if (kind == u"label")
        return new QLabel(QStringLiteral("Design"), parent);
    if (kind == u"button")
        return new QPushButton(QStringLiteral("Design"), parent);
    if (kind == u"check")
        return new QCheckBox(QStringLiteral("Design"), parent);
    if (kind == u"frame")
        return new QGroupBox(QStringLiteral("Design"), parent);
    if (kind == u"edit")
        return new QLineEdit(QStringLiteral("Design"), parent);
    return new QComboBox(parent);
}

QString caption(const QWidget *control)
{
    if (auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (auto *frame = qobject_cast<const QGroupBox *>(control))
        return frame->title();
    if (auto *edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    return control->windowTitle();
}

} // namespace

class tst_LoadResource : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setLanguageOverride(std::nullopt); }
    void idReadings_data();
    void idReadings();
    void table_data();
    void table();
    void font_data() { table_data(); }
    void font();
    void tags_data();
    void tags();
};

void tst_LoadResource::idReadings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("whole");
    QTest::addColumn<int>("leading");
    const QString nines(400, u'9');
    QTest::newRow("blanks around") << " \t2102 \t" << 2102 << 2102;
    QTest::newRow("word after") << "2158 word" << NoId << 2158;
    QTest::newRow("signs") << "+5" << 5 << 5;
    QTest::newRow("blank after sign") << "- 3" << NoId << 0;
    QTest::newRow("half 2.5 to even") << "2.5" << 2 << 2;
    QTest::newRow("half 2103.5 to even") << "2103.5" << 2104 << 2104;
    QTest::newRow("half -2.5 to even") << "-2.5" << -2 << -2;
    QTest::newRow("two points") << "1.2.3" << NoId << 1;
    QTest::newRow("exponent signs") << "+2.158E+3" << 2158 << 2158;
    QTest::newRow("rounds to max") << "32767.4" << 32767 << 32767;
    QTest::newRow("rounds beyond max") << "32767.5" << NoId << NoId;
    QTest::newRow("beyond min") << "-32769" << NoId << NoId;
    QTest::newRow("huge digits then word") << nines + QStringLiteral(" word") << NoId << NoId;
    QTest::newRow("tiny fraction scaled up")
        << QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1e404") << 1000 << 1000;
    QTest::newRow("huge exponent") << "1e99999" << NoId << NoId;
    QTest::newRow("fullwidth digits") << "２１０２" << NoId << 0;
}

void tst_LoadResource::idReadings()
{
    QFETCH(QString, text);
    QFETCH(int, whole);
    QFETCH(int, leading);
    QCOMPARE(wholeNumberId(text).value_or(NoId), whole);
    QCOMPARE(leadingNumberId(text).value_or(NoId), leading);
}

void tst_LoadResource::table_data()
{
    QTest::addColumn<Language>("language");
    QTest::newRow("en") << Language::English;
    QTest::newRow("ja") << Language::Japanese;
}

void tst_LoadResource::table()
{
    QFETCH(Language, language);
    setLanguageOverride(language);
    for (int id : LoadedIds)
        QVERIFY2(hasResource(id), qPrintable(QString::number(id)));
    for (int id : resourceIds())
        QVERIFY2(LoadResource(id).isEmpty() == (id == 1102), qPrintable(QString::number(id)));
    QCOMPARE(LoadResource(-2102), QString());
}

void tst_LoadResource::font()
{
    QFETCH(Language, language);
    setLanguageOverride(language);
    const QFont font = resourceFont();
    QCOMPARE(font.pointSize(), 8);
    // Neither face exists on Linux; the family made to its widths stands in
    // when installed, and Japanese text must show as Japanese.
    const QString metric = language == Language::English ? "Liberation Sans" : "IPAPGothic";
    const QString resolved = QFontInfo(font).family();
    if (QFontDatabase::hasFamily(metric))
        QCOMPARE(resolved, metric);
    if (language == Language::Japanese)
        QVERIFY2(QFontMetrics(font).inFont(QChar(0x30D5)), qPrintable(resolved)); // フ
}

void tst_LoadResource::tags_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("tag");   // null: no Tag
    QTest::addColumn<int>("captionId"); // 0: the caption stays
    QTest::addColumn<bool>("takesFont");
    QTest::newRow("window") << "window"
                            << " 2142 " << 2142 << false;
    QTest::newRow("window, number then word") << "window"
                                              << "2142 word" << 0 << false;
    QTest::newRow("label") << "label"
                           << "2158" << 2158 << true;
    QTest::newRow("label, number then word") << "label"
                                             << "2158 word" << 2158 << true;
    QTest::newRow("label, no entry") << "label"
                                     << "9999" << 0 << true;
    QTest::newRow("label, word") << "label"
                                 << "App Description" << 0 << false;
    QTest::newRow("label, zero") << "label"
                                 << "0" << 0 << false;
    QTest::newRow("label, beyond 16 bits") << "label"
                                           << "40000" << 0 << false;
    QTest::newRow("button") << "button"
                            << "1207" << 1207 << true;
    QTest::newRow("check box") << "check"
                               << "2159" << 2159 << true;
    QTest::newRow("frame") << "frame"
                           << "2201" << 2201 << true;
    QTest::newRow("combo box") << "combo" << QString() << 0 << true;
}

void tst_LoadResource::tags()
{
    QFETCH(QString, kind);
    QFETCH(QString, tag);
    QFETCH(int, captionId);
    QFETCH(bool, takesFont);
    setLanguageOverride(Language::Japanese);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Design"));
    auto *holder = new QGroupBox(QStringLiteral("Holder"), &window); // controls sit inside frames too
    QWidget *control = kind == u"window" ? &window : makeControl(kind, holder);
    const QFont design(QStringLiteral("DejaVu Serif"), 12);
    control->setFont(design);
    if (!tag.isNull())
        control->setProperty("Tag", tag);
    const QString designCaption = caption(control);

    ApplyResourceStrings(&window);

    QCOMPARE(caption(control), captionId > 0 ? LoadResource(captionId) : designCaption);
    QCOMPARE(control->font().family(), (takesFont ? resourceFont() : design).family());
    QCOMPARE(holder->title(), QStringLiteral("Holder"));
}

QTEST_MAIN(tst_LoadResource)
#include "tst_LoadResource.moc"
