#include "resources/LoadResource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <limits>

namespace {

constexpr int NoId = std::numeric_limits<int>::min();

// Every id that some part of the program loads.
const QList<int> LoadedIds{20,   21,   1102, 1207, 2102, 2103, 2104, 2105, 2106, 2107, 2125, 2126, 2127,
                           2128, 2129, 2130, 2131, 2132, 2133, 2134, 2135, 2136, 2138, 2139, 2140, 2141,
                           2142, 2143, 2158, 2159, 2160, 2161, 2162, 2163, 2167, 2170, 2201, 2202, 2203,
                           2204, 2205, 2206, 2207, 2208, 2209, 2210, 2211, 2212, 2219, 4030};

template<typename AddRows> void forEachLanguage(AddRows addRows)
{
    addRows(Language::English, "en");
    addRows(Language::Japanese, "ja");
}

void addLanguageRows()
{
    QTest::addColumn<Language>("language");
    forEachLanguage([](Language language, const char *name) { QTest::newRow(name) << language; });
}

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
    auto *combo = new QComboBox(parent);
    combo->addItems({QStringLiteral("Design"), QStringLiteral("None")});
    return combo;
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
    const auto *combo = qobject_cast<const QComboBox *>(control);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items.join(u'|');
}

} // namespace

class tst_LoadResource : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setLanguageOverride(std::nullopt); }

    void idReadings_data();
    void idReadings();
    void table_data() { addLanguageRows(); }
    void table();
    void texts_data();
    void texts();
    void font_data();
    void font();
    void menus_data();
    void menus();
    void windowTag_data();
    void windowTag();
    void controlTags_data();
    void controlTags();
    void nullWindow() { ApplyResourceStrings(nullptr); }
};

void tst_LoadResource::idReadings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("whole");
    QTest::addColumn<int>("leading");

    const QString nines(400, u'9');
    const QString tinyFraction = QStringLiteral("0.") + QString(400, u'0') + u'1';

    QTest::newRow("plain") << "2102" << 2102 << 2102;
    QTest::newRow("blanks around") << " \t2102 \t" << 2102 << 2102;
    QTest::newRow("word after") << "2158 word" << NoId << 2158;
    QTest::newRow("letters after") << "2102abc" << NoId << 2102;
    QTest::newRow("word") << "App Description" << NoId << 0;
    QTest::newRow("popup menu") << "Popup Menu" << NoId << 0;
    QTest::newRow("empty") << "" << NoId << 0;
    QTest::newRow("blanks only") << "   " << NoId << 0;
    QTest::newRow("dash") << "-" << NoId << 0;
    QTest::newRow("zero") << "0" << 0 << 0;
    QTest::newRow("plus") << "+5" << 5 << 5;
    QTest::newRow("minus") << "-3" << -3 << -3;
    QTest::newRow("blank after sign") << "- 3" << NoId << 0;
    QTest::newRow("half 0.5") << "0.5" << 0 << 0;
    QTest::newRow("half 1.5") << "1.5" << 2 << 2;
    QTest::newRow("half 2.5") << "2.5" << 2 << 2;
    QTest::newRow("half -2.5") << "-2.5" << -2 << -2;
    QTest::newRow("half 2102.5") << "2102.5" << 2102 << 2102;
    QTest::newRow("half 2103.5") << "2103.5" << 2104 << 2104;
    QTest::newRow("above half") << "2.51" << 3 << 3;
    QTest::newRow("leading point") << ".6" << 1 << 1;
    QTest::newRow("trailing point") << "7." << 7 << 7;
    QTest::newRow("two points") << "1.2.3" << NoId << 1;
    QTest::newRow("exponent") << "1e3" << 1000 << 1000;
    QTest::newRow("exponent signs") << "+2.158E+3" << 2158 << 2158;
    QTest::newRow("negative exponent") << "25e-1" << 2 << 2;
    QTest::newRow("e without digits") << "12e" << NoId << 12;
    QTest::newRow("e sign without digits") << "12e+x" << NoId << 12;
    QTest::newRow("max") << "32767" << 32767 << 32767;
    QTest::newRow("rounds to max") << "32767.4" << 32767 << 32767;
    QTest::newRow("rounds beyond max") << "32767.5" << NoId << NoId;
    QTest::newRow("beyond max") << "32768" << NoId << NoId;
    QTest::newRow("min") << "-32768" << -32768 << -32768;
    QTest::newRow("half to even min") << "-32768.5" << -32768 << -32768;
    QTest::newRow("beyond min") << "-32769" << NoId << NoId;
    QTest::newRow("huge digits") << nines << NoId << NoId;
    QTest::newRow("huge digits then word") << nines + QStringLiteral(" word") << NoId << NoId;
    QTest::newRow("many leading zeros") << QString(400, u'0') + QStringLiteral("2102") << 2102 << 2102;
    QTest::newRow("tiny fraction") << tinyFraction << 0 << 0;
    QTest::newRow("tiny fraction scaled up") << tinyFraction + QStringLiteral("e404") << 1000 << 1000;
    QTest::newRow("huge exponent") << "1e99999" << NoId << NoId;
    QTest::newRow("huge exponent digits") << QStringLiteral("1e") + nines << NoId << NoId;
    QTest::newRow("huge negative exponent") << "1e-99999" << 0 << 0;
    QTest::newRow("zero huge exponent") << "0e99999" << 0 << 0;
    QTest::newRow("hex") << "&H10" << NoId << 0;
    QTest::newRow("thousands separator") << "1,000" << NoId << 1;
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

void tst_LoadResource::table()
{
    QFETCH(Language, language);
    setLanguageOverride(language);
    QCOMPARE(currentLanguage(), language);

    for (int id : LoadedIds)
        QVERIFY2(hasResource(id), qPrintable(QString::number(id)));
    for (int id : resourceIds())
        QVERIFY2(LoadResource(id).isEmpty() == (id == 1102), qPrintable(QString::number(id)));
}

void tst_LoadResource::texts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("japanese");

    QTest::newRow("file menu") << 2102 << "&File"
                               << "ファイル(&F)";
    QTest::newRow("de-activate") << 2160 << "De-Activate"
                                 << "非アクティブ化";
    QTest::newRow("device") << 4030 << "Device Not Available."
                            << "デバイスが有効ではありません。";
    QTest::newRow("about caption") << 2142 << "About Ombrix"
                                   << "バージョン情報(&A)";
    QTest::newRow("font face") << 20 << "Ms Sans Serif"
                               << "ＭＳ Ｐゴシック";
    QTest::newRow("charset") << 21 << "0"
                             << "128";
    QTest::newRow("disclaimer") << 1102 << ""
                                << "";
    QTest::newRow("unused id") << 2111 << ""
                               << "";
    QTest::newRow("negative") << -2102 << ""
                              << "";
}

void tst_LoadResource::texts()
{
    QFETCH(int, id);
    QFETCH(QString, english);
    QFETCH(QString, japanese);

    setLanguageOverride(Language::English);
    QCOMPARE(LoadResource(id), english);
    setLanguageOverride(Language::Japanese);
    QCOMPARE(LoadResource(id), japanese);
}

void tst_LoadResource::font_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("charset");
    QTest::newRow("en") << Language::English << "Ms Sans Serif" << 0;
    QTest::newRow("ja") << Language::Japanese << "ＭＳ Ｐゴシック" << 128;
}

void tst_LoadResource::font()
{
    QFETCH(Language, language);
    QFETCH(QString, face);
    QFETCH(int, charset);
    setLanguageOverride(language);

    const QFont font = resourceFont();
    QCOMPARE(font.family(), face);
    QCOMPARE(font.pointSize(), 8);
    QVERIFY(!font.bold());
    QCOMPARE(resourceCharset(), charset);

    // Neither face exists on Linux: the font must land on one of its stand-ins.
    const QString resolved = QFontInfo(font).family();
    if (language == Language::Japanese) {
        if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
            QSKIP("no installed font covers Japanese (install fonts-noto-cjk)");
        QVERIFY2(QFontDatabase::writingSystems(resolved).contains(QFontDatabase::Japanese),
                 qPrintable(resolved));
        QVERIFY(QFontMetrics(font).inFont(QChar(0x30D5))); // フ
    }
    const QStringList substitutes = QFont::substitutes(face);
    const bool anyInstalled = std::ranges::any_of(
        substitutes, [](const QString &family) { return QFontDatabase::hasFamily(family); });
    if (anyInstalled)
        QVERIFY2(substitutes.contains(resolved, Qt::CaseInsensitive), qPrintable(resolved));
}

void tst_LoadResource::menus_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("fileTitle");
    QTest::newRow("en") << Language::English << "&File";
    QTest::newRow("ja") << Language::Japanese << "ファイル(&F)";
}

void tst_LoadResource::menus()
{
    QFETCH(Language, language);
    QFETCH(QString, fileTitle);
    setLanguageOverride(language);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Ombrix"));
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("2102"));
    QAction *fileNew = file->addAction(QStringLiteral("2103"));
    QAction *separator = file->addSeparator();
    QAction *dash = file->addAction(QStringLiteral("-"));
    QAction *notAnId = file->addAction(QStringLiteral("2102abc"));
    QAction *zero = file->addAction(QStringLiteral("0"));
    QAction *blanks = file->addAction(QStringLiteral(" 2219 "));
    QMenu *submenu = file->addMenu(QStringLiteral("2131"));
    QAction foreign(QStringLiteral("2107")); // owned outside the window, shown in its menu
    file->addAction(&foreign);
    QMenu *popUp = window.menuBar()->addMenu(QStringLiteral("Popup Menu"));
    popUp->menuAction()->setVisible(false);
    QAction *about = popUp->addAction(QStringLiteral("2141"));

    ApplyResourceStrings(&window);

    QCOMPARE(window.windowTitle(), QStringLiteral("Ombrix"));
    QCOMPARE(file->title(), fileTitle);
    QCOMPARE(fileNew->text(), LoadResource(2103));
    QVERIFY(separator->isSeparator());
    QCOMPARE(separator->text(), QString());
    QCOMPARE(dash->text(), QStringLiteral("-"));
    QCOMPARE(notAnId->text(), QStringLiteral("2102abc"));
    QCOMPARE(zero->text(), QStringLiteral("0"));
    QCOMPARE(blanks->text(), LoadResource(2219));
    QCOMPARE(submenu->title(), LoadResource(2131));
    QCOMPARE(foreign.text(), LoadResource(2107));
    QCOMPARE(popUp->title(), QStringLiteral("Popup Menu"));
    QCOMPARE(about->text(), LoadResource(2141));
}

void tst_LoadResource::windowTag_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("tag"); // null: the window has no Tag
    QTest::addColumn<bool>("translated");

    forEachLanguage([](Language language, const char *name) {
        QTest::addRow("%s: about box", name) << language << "2142" << true;
        QTest::addRow("%s: blanks around", name) << language << " 2142 " << true;
        QTest::addRow("%s: no tag", name) << language << QString() << false;
        QTest::addRow("%s: empty", name) << language << "" << false;
        QTest::addRow("%s: word", name) << language << "abc" << false;
        QTest::addRow("%s: number then word", name) << language << "2142 word" << false;
        QTest::addRow("%s: no entry", name) << language << "9999" << false;
    });
}

void tst_LoadResource::windowTag()
{
    QFETCH(Language, language);
    QFETCH(QString, tag);
    QFETCH(bool, translated);
    setLanguageOverride(language);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Design"));
    if (!tag.isNull())
        window.setProperty("Tag", tag);

    ApplyResourceStrings(&window);

    QCOMPARE(window.windowTitle(), translated ? LoadResource(2142) : QStringLiteral("Design"));
}

void tst_LoadResource::controlTags_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("tag");   // null: the control has no Tag
    QTest::addColumn<int>("captionId"); // 0: the caption stays
    QTest::addColumn<bool>("takesFont");

    forEachLanguage([](Language language, const char *name) {
        auto row = [&](const char *rowName) -> QTestData & {
            return QTest::addRow("%s: %s", name, rowName) << language;
        };
        row("label") << "label"
                     << "2158" << 2158 << true;
        row("label, number then word") << "label"
                                       << "2158 word" << 2158 << true;
        row("label, leading blanks") << "label"
                                     << "  2202" << 2202 << true;
        row("label, empty entry") << "label"
                                  << "1102" << 1102 << true;
        row("label, no entry") << "label"
                               << "9999" << 0 << true;
        row("label, word") << "label"
                           << "App Description" << 0 << false;
        row("label, no tag") << "label" << QString() << 0 << false;
        row("label, zero") << "label"
                           << "0" << 0 << false;
        row("label, negative") << "label"
                               << "-5" << 0 << false;
        row("label, beyond 16 bits") << "label"
                                     << "40000" << 0 << false;
        row("button") << "button"
                      << "1207" << 1207 << true;
        row("check box") << "check"
                         << "2159" << 2159 << true;
        row("frame") << "frame"
                     << "2201" << 2201 << true;
        row("text box with tag") << "edit"
                                 << "2158" << 0 << true;
        row("text box") << "edit" << QString() << 0 << false;
        row("combo box") << "combo" << QString() << 0 << true;
        row("combo box with tag") << "combo"
                                  << "2158" << 0 << true;
    });
}

void tst_LoadResource::controlTags()
{
    QFETCH(Language, language);
    QFETCH(QString, kind);
    QFETCH(QString, tag);
    QFETCH(int, captionId);
    QFETCH(bool, takesFont);
    setLanguageOverride(language);

    QWidget window;
    auto *holder = new QGroupBox(QStringLiteral("Holder"), &window); // controls sit inside frames too
    QWidget *control = makeControl(kind, holder);
    QFont designFont(QStringLiteral("DejaVu Serif"), 12);
    designFont.setBold(true);
    control->setFont(designFont);
    if (!tag.isNull())
        control->setProperty("Tag", tag);
    const QString designCaption = caption(control);

    ApplyResourceStrings(&window);

    QCOMPARE(caption(control), captionId > 0 ? LoadResource(captionId) : designCaption);
    const QFont expectedFont = takesFont ? resourceFont() : designFont;
    QCOMPARE(control->font().family(), expectedFont.family());
    QCOMPARE(control->font().pointSize(), expectedFont.pointSize());
    QCOMPARE(control->font().bold(), expectedFont.bold());
    QCOMPARE(holder->title(), QStringLiteral("Holder"));
}

QTEST_MAIN(tst_LoadResource)
#include "tst_LoadResource.moc"
