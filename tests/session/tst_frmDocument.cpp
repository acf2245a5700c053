#include "components/FileDialogComponent.h"
#include "resources/LoadResource.h"
#include "session/ShapeIndicator.h"
#include "session/frmDocument.h"
#include "tests/support/ScriptedFileDialog.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Language)

class tst_frmDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void defaults_data();
    void defaults();
    void translatedTexts_data();
    void translatedTexts();
    void fonts_data();
    void fonts();
    void geometry_data();
    void geometry();
    void tabOrderAndAccessKeys();
    void outboundControlsDisabled();
    void browse_data();
    void browse();
    void logBrowseUsableWhenListsLocked();
    void portToolTipNamesDevice();
    void indicatorReturnsToGreen();

private:
    std::unique_ptr<frmDocument> makeWindow(ScriptedFileDialog *dialog = nullptr);
    std::unique_ptr<TestEnv> m_env;
    QMdiArea *m_area = nullptr;
};

void tst_frmDocument::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    installFontSubstitutions();
}

void tst_frmDocument::cleanup()
{
    setLanguageOverride(std::nullopt);
}

std::unique_ptr<frmDocument> tst_frmDocument::makeWindow(ScriptedFileDialog *dialog)
{
    auto window = std::make_unique<frmDocument>(nullptr, nullptr, dialog);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    return window;
}

static void addLanguages()
{
    QTest::addColumn<Language>("language");
    QTest::newRow("English") << Language::English;
    QTest::newRow("Japanese") << Language::Japanese;
}

void tst_frmDocument::defaults_data()
{
    addLanguages();
}

void tst_frmDocument::defaults()
{
    QFETCH(Language, language);
    setLanguageOverride(language);
    auto w = makeWindow();

    const auto combo = [&](const char *name) { return w->findChild<QComboBox *>(QLatin1String(name)); };
    QComboBox *port = combo("Combo2");
    QVERIFY(port);
    QCOMPARE(port->count(), 256);
    QCOMPARE(port->itemText(0), QStringLiteral("NONE"));
    QCOMPARE(port->itemText(1), QStringLiteral("COM1"));
    QCOMPARE(port->itemText(255), QStringLiteral("COM255"));
    QCOMPARE(port->currentIndex(), 0);
    QVERIFY(port->isEditable());

    QCOMPARE(combo("Combo1(0)")->currentText(), QStringLiteral("9600"));
    QCOMPARE(combo("Combo1(0)")->count(), 13);
    QCOMPARE(combo("Combo1(0)")->itemText(12), QStringLiteral("115200"));
    // Parity in the order None, Even, Odd, Mark, Space: a stored 1 is Even.
    QCOMPARE(combo("Combo1(1)")->count(), 5);
    const QList<int> parityIds = {2205, 2207, 2206, 2208, 2209};
    for (int i = 0; i < parityIds.size(); ++i)
        QCOMPARE(combo("Combo1(1)")->itemText(i), LoadResource(parityIds.at(i)));
    QCOMPARE(combo("Combo1(1)")->currentIndex(), 0);
    QCOMPARE(combo("Combo1(2)")->currentText(), QStringLiteral("8"));
    QCOMPARE(combo("Combo1(3)")->currentText(), QStringLiteral("1"));
    QCOMPARE(combo("Combo1(3)")->itemText(1), QStringLiteral("1.5"));
    QCOMPARE(combo("Combo1(4)")->currentText(), QStringLiteral("None"));
    QCOMPARE(combo("Combo1(4)")->itemText(3), QStringLiteral("Opto-RS"));

    QCOMPARE(w->findChild<QLineEdit *>("txtLogFile")->text(), frmDocument::defaultLogFile());
    QCOMPARE(w->findChild<QLineEdit *>("txtOutFile")->text(), frmDocument::defaultOutFile());
    QVERIFY(QDir::isAbsolutePath(frmDocument::defaultLogFile()));
    QVERIFY(!w->findChild<QCheckBox *>("chkLinefeeds")->isChecked());
    QCOMPARE(w->findChild<ShapeIndicator *>("Shape1(0)")->FillColor(), ShapeIndicator::Green);
    QVERIFY(w->Timer2.isActive());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->Timer2.interval(), 50);
}

void tst_frmDocument::translatedTexts_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("japanese");
    const struct
    {
        const char *control, *english, *japanese;
    } rows[] = {
        {"Frame1(0)", "Serial Port Settings:", "シリアルポート設定:"},
        {"Label1(0)", "&Connector", "コネクタ(&C)"},
        {"Label1(5)", "&Baud Rate", "ボーレート(&B)"},
        {"Label1(1)", "&Parity", "パリティ(&P)"},
        {"Label1(2)", "&Data Bits", "データ長(&D)"},
        {"Label1(3)", "&Stop Bits", "ストップビット(&S)"},
        {"Label1(4)", "&Flow Control", "フロー制御(&F)"},
        {"Frame1(1)", "Disk File I/O:", "ディスクファイル I/O:"},
        {"Label1(6)", "Log inbound serial data to file:", "受信シリアルデータをファイルに保存:"},
        {"Command1", "Activate", "アクティブ化"},
        {"StatusBar1(0)", "Status:", "ステータス:"},
        // Controls without an id keep their English texts in every language.
        {"Label1(7)", "Outbound Serial Data File:", "Outbound Serial Data File:"},
        {"chkLinefeeds", "Append line feeds to line ends.", "Append line feeds to line ends."},
        {"Command3(0)", "...", "..."},
    };
    for (const auto &row : rows) {
        for (Language language : {Language::English, Language::Japanese}) {
            QTest::addRow("%s %s", row.control, language == Language::English ? "en" : "ja")
                << language << QString::fromLatin1(row.control) << QString::fromUtf8(row.english)
                << QString::fromUtf8(row.japanese);
        }
    }
}

void tst_frmDocument::translatedTexts()
{
    QFETCH(Language, language);
    QFETCH(QString, control);
    QFETCH(QString, english);
    QFETCH(QString, japanese);
    setLanguageOverride(language);
    auto w = makeWindow();
    QWidget *widget = w->findChild<QWidget *>(control);
    QVERIFY2(widget, qPrintable(control));
    QString text;
    if (auto *label = qobject_cast<QLabel *>(widget))
        text = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        text = button->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(widget))
        text = frame->title();
    QCOMPARE(text, language == Language::English ? english : japanese);
}

void tst_frmDocument::fonts_data()
{
    addLanguages();
}

void tst_frmDocument::fonts()
{
    QFETCH(Language, language);
    setLanguageOverride(language);
    auto w = makeWindow();
    const QFont expected = resourceFont();
    // Translated controls and every list take the language's font at 8 points...
    for (const char *name :
         {"Label1(0)", "Frame1(1)", "Command1", "StatusBar1(0)", "Combo2", "Combo1(0)", "Combo1(4)"}) {
        const QFont font = w->findChild<QWidget *>(QLatin1String(name))->font();
        QCOMPARE(font.family(), expected.family());
        QCOMPARE(font.pointSize(), 8);
        QVERIFY(!font.bold());
    }
    // ...while the text boxes and untranslated controls keep the design font.
    for (const char *name : {"txtLogFile", "txtOutFile", "Label1(7)", "chkLinefeeds"})
        QCOMPARE(w->findChild<QWidget *>(QLatin1String(name))->font().family(),
                 QStringLiteral("Ms Sans Serif"));
}

void tst_frmDocument::geometry_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels"); // relative to the parent, 15 twips per pixel
    QTest::newRow("client") << "client" << QRect(0, 0, 407, 238);
    QTest::newRow("left frame") << "Frame1(0)" << QRect(0, 8, 202, 173);
    QTest::newRow("right frame") << "Frame1(1)" << QRect(205, 8, 202, 173);
    QTest::newRow("port list") << "Combo2" << QRect(99, 21, 84, 21);
    QTest::newRow("flow list") << "Combo1(4)" << QRect(99, 136, 84, 21);
    QTest::newRow("log file") << "txtLogFile" << QRect(8, 48, 167, 19);
    QTest::newRow("browse") << "Command3(0)" << QRect(176, 48, 17, 19);
    QTest::newRow("button") << "Command1" << QRect(154, 190, 98, 23);
    QTest::newRow("indicator") << "Shape1(0)" << QRect(2, 224, 9, 9);
    QTest::newRow("status") << "StatusBar1(0)" << QRect(16, 220, 389, 17);
}

void tst_frmDocument::geometry()
{
    QFETCH(QString, control);
    QFETCH(QRect, pixels);
    auto w = makeWindow();
    QMdiArea area;
    area.resize(800, 600);
    area.addSubWindow(w.get());
    area.show();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QWidget *widget = w->findChild<QWidget *>(control);
    QVERIFY(widget);
    if (control == QLatin1String("client"))
        QCOMPARE(widget->size(), pixels.size()); // placed inside the window's border
    else
        QCOMPARE(widget->geometry(), pixels);
    area.removeSubWindow(w.get());
}

void tst_frmDocument::tabOrderAndAccessKeys()
{
    auto w = makeWindow();
    const QStringList expected = {"Combo2",       "Combo1(0)",  "Combo1(1)",   "Combo1(2)",
                                  "Combo1(3)",    "Combo1(4)",  "txtLogFile",  "Command3(0)",
                                  "chkLinefeeds", "txtOutFile", "Command3(1)", "Command1"};
    QStringList chain;
    QWidget *next = w->findChild<QWidget *>("Combo2");
    for (int guard = 0; guard < 200 && chain.size() < expected.size(); ++guard) {
        if (expected.contains(next->objectName()) && !chain.contains(next->objectName()))
            chain << next->objectName();
        next = next->nextInFocusChain();
    }
    QCOMPARE(chain, expected);

    const QList<QPair<QString, QString>> buddies = {{"Label1(0)", "Combo2"},    {"Label1(5)", "Combo1(0)"},
                                                    {"Label1(1)", "Combo1(1)"}, {"Label1(2)", "Combo1(2)"},
                                                    {"Label1(3)", "Combo1(3)"}, {"Label1(4)", "Combo1(4)"}};
    for (const auto &[label, list] : buddies)
        QCOMPARE(w->findChild<QLabel *>(label)->buddy(), w->findChild<QWidget *>(list));
}

void tst_frmDocument::outboundControlsDisabled()
{
    auto w = makeWindow();
    for (const char *name : {"chkLinefeeds", "Label1(7)", "txtOutFile", "Command3(1)"})
        QVERIFY2(!w->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);
    for (const char *name : {"txtLogFile", "Command3(0)", "Command1", "Combo2", "Combo1(3)"})
        QVERIFY2(w->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);
}

void tst_frmDocument::browse_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("choose");
    QTest::newRow("log file chosen") << 0 << "txtLogFile" << true;
    QTest::newRow("log file cancelled") << 0 << "txtLogFile" << false;
    QTest::newRow("outbound file chosen") << 1 << "txtOutFile" << true;
    QTest::newRow("outbound file cancelled") << 1 << "txtOutFile" << false;
}

void tst_frmDocument::browse()
{
    QFETCH(int, index);
    QFETCH(QString, box);
    QFETCH(bool, choose);
    auto *dialog = new ScriptedFileDialog;
    if (choose)
        dialog->answer = QStringLiteral("/var/log/serial/chosen.log");
    auto w = makeWindow(dialog);
    QLineEdit *text = w->findChild<QLineEdit *>(box);
    text->setEnabled(true); // the outbound box is disabled in use; the handler itself is the same
    text->setText(QStringLiteral("/tmp/before name.txt"));
    w->findChild<QPushButton *>(QStringLiteral("Command3(%1)").arg(index))->setEnabled(true);
    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Command3(%1)").arg(index)), Qt::LeftButton);

    QCOMPARE(dialog->opens, 1);
    QCOMPARE(dialog->presetName, QStringLiteral("/tmp/before name.txt"));
    QCOMPARE(dialog->shownFlags, 4);
    QCOMPARE(dialog->shownFilter, QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
    QCOMPARE(dialog->shownFilterIndex, 1);
    QCOMPARE(text->text(),
             choose ? QStringLiteral("/var/log/serial/chosen.log") : QStringLiteral("/tmp/before name.txt"));
}

void tst_frmDocument::logBrowseUsableWhenListsLocked()
{
    // An active session locks its lists; the log file stays changeable.
    auto *dialog = new ScriptedFileDialog;
    dialog->answer = QStringLiteral("/tmp/other.log");
    auto w = makeWindow(dialog);
    w->Combo2->setEnabled(false);
    for (QComboBox *list : w->Combo1)
        list->setEnabled(false);
    QVERIFY(w->Command3[0]->isEnabled());
    QTest::mouseClick(w->Command3[0], Qt::LeftButton);
    QCOMPARE(w->txtLogFile->text(), QStringLiteral("/tmp/other.log"));
}

void tst_frmDocument::portToolTipNamesDevice()
{
    QTemporaryFile device;
    QVERIFY(device.open());
    m_env->mapPort(7, device.fileName());
    m_env->mapPort(8, m_env->filePath("unplugged"));
    auto w = makeWindow();

    w->Combo2->setCurrentIndex(7);
    QVERIFY2(w->Combo2->toolTip().contains(device.fileName()), qPrintable(w->Combo2->toolTip()));
    QVERIFY(!w->Combo2->toolTip().contains(QStringLiteral("does not exist")));
    // Unmapped ports open the matching ttyS device.
    w->Combo2->setCurrentIndex(3);
    QVERIFY2(w->Combo2->toolTip().contains(QStringLiteral("/dev/ttyS2")), qPrintable(w->Combo2->toolTip()));
    w->Combo2->setCurrentIndex(8);
    QVERIFY(w->Combo2->toolTip().contains(m_env->filePath("unplugged")));
    QVERIFY(w->Combo2->toolTip().contains(QStringLiteral("does not exist")));

    // The device appearing later shows at the next look.
    m_env->mapPort(8, device.fileName());
    QHelpEvent event(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    QCoreApplication::sendEvent(w->Combo2, &event);
    QVERIFY(!w->Combo2->toolTip().contains(QStringLiteral("does not exist")));
}

void tst_frmDocument::indicatorReturnsToGreen()
{
    auto w = makeWindow();
    w->Shape1[0]->setFillColor(ShapeIndicator::Red);
    QCOMPARE(w->Shape1[0]->FillColor(), ShapeIndicator::Red);
    QTRY_COMPARE_WITH_TIMEOUT(w->Shape1[0]->FillColor(), ShapeIndicator::Green, 2000);
    QCOMPARE(ShapeIndicator::toColor(ShapeIndicator::Red), QColor(255, 0, 0));
    QCOMPARE(ShapeIndicator::toColor(ShapeIndicator::Green), QColor(0, 255, 0));
}

QTEST_MAIN(tst_frmDocument)
#include "tst_frmDocument.moc"
