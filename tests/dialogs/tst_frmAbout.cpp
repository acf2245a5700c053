#include "dialogs/frmAbout.h"
#include "resources/LoadResource.h"
#include "tests/support/TestEnv.h"

#include <QBitmap>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Stands in for the browser: remembers the addresses it was asked to open
// and the pointer the screen showed meanwhile.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;
    QList<Qt::CursorShape> pointers;

public slots:
    void open(const QUrl &url)
    {
        opened.append(url);
        const QCursor *cursor = QGuiApplication::overrideCursor();
        pointers.append(cursor ? cursor->shape() : Qt::ArrowCursor);
    }
};

} // namespace

Q_DECLARE_METATYPE(Language)

class tst_frmAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void texts_data();
    void texts();
    void notice_data();
    void notice();
    void geometry_data();
    void geometry();
    void linkFits();
    void window();
    void closeKeys_data();
    void closeKeys();
    void linkClick_data();
    void linkClick();
    void linkCursor();
    void modalOverOwner();
    void modelessDeletesItself();

private:
    std::unique_ptr<TestEnv> m_env;
};

void tst_frmAbout::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    installFontSubstitutions();
}

void tst_frmAbout::cleanup()
{
    setLanguageOverride(std::nullopt);
    frmAbout::setToday(std::nullopt);
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void tst_frmAbout::texts_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("English") << Language::English << QStringLiteral("About Ombrix")
                             << QStringLiteral("RS232 Serial Data Logger");
    QTest::newRow("Japanese") << Language::Japanese << QStringLiteral("バージョン情報(&A)")
                              << QStringLiteral("RS232 シリアルデータロガー");
}

void tst_frmAbout::texts()
{
    QFETCH(Language, language);
    QFETCH(QString, caption);
    QFETCH(QString, title);

    setLanguageOverride(Language::English);
    const frmAbout english;
    setLanguageOverride(language);
    const frmAbout box;

    QCOMPARE(box.windowTitle(), caption);
    QCOMPARE(box.lblTitle->text(), title);
    QCOMPARE(box.cmdOK->text(), QStringLiteral("&OK"));
    QCOMPARE(box.lblDisclaimer->text(), LoadResource(1102));
    QVERIFY(box.lblDisclaimer->text().isEmpty());

    // The program's name, the notice and the address are the same in every language.
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Ombrix"));
    QCOMPARE(box.lblDescription->property("Caption"), english.lblDescription->property("Caption"));
    QCOMPARE(box.Label4->text(), QStringLiteral("https://www.velder.example/"));

    // Translated controls take the language's font; the labels whose Tags
    // are words are left alone.
    const QString languageFamily = resourceFont().family();
    for (const QWidget *translated : {static_cast<QWidget *>(box.lblTitle), static_cast<QWidget *>(box.cmdOK),
                                      static_cast<QWidget *>(box.lblDisclaimer)})
        QCOMPARE(translated->font().family(), languageFamily);
    const QFont design(QStringLiteral("Ms Sans Serif"), 8);
    QCOMPARE(box.lblVersion->font(), design);
    QCOMPARE(box.lblDescription->font(), design);
    QCOMPARE(box.Label4->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(box.Label4->font().pointSizeF(), 8.25);
    QVERIFY(box.Label4->font().bold());
    QVERIFY(box.Label4->font().underline());
}

void tst_frmAbout::notice_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("span");
    QTest::newRow("future year") << QDate(2031, 6, 15) << QStringLiteral("2001-2031");
    QTest::newRow("new year's day") << QDate(2027, 1, 1) << QStringLiteral("2001-2027");
    QTest::newRow("new year's eve") << QDate(2026, 12, 31) << QStringLiteral("2001-2026");
    QTest::newRow("three-digit year padded") << QDate(999, 3, 1) << QStringLiteral("2001-0999");
}

void tst_frmAbout::notice()
{
    QFETCH(QDate, today);
    QFETCH(QString, span);
    frmAbout::setToday(today);
    const frmAbout box;

    const QString caption = box.lblDescription->property("Caption").toString();
    QVERIFY(!caption.contains(QLatin1Char('\n')));
    const QStringList lines = caption.split(QLatin1Char('\r'));
    QCOMPARE(lines.size(), 8);
    QVERIFY2(lines.at(0).endsWith(span + QStringLiteral(", Velder")), qPrintable(lines.at(0)));
    QVERIFY(lines.at(0).startsWith(QStringLiteral("Copyright")));
    QVERIFY(lines.at(1).isEmpty());
    QCOMPARE(lines.at(2), QStringLiteral("Velder"));
    for (qsizetype i = 3; i < lines.size(); ++i)
        QVERIFY(!lines.at(i).isEmpty());

    // On screen the same eight lines, one under another, and they fit.
    const QString shown = box.lblDescription->text();
    QVERIFY(!shown.contains(QLatin1Char('\r')));
    QCOMPARE(shown.split(QLatin1Char('\n')), lines);
    const int lineSpacing = box.lblDescription->fontMetrics().lineSpacing();
    const int needed = box.lblDescription->heightForWidth(box.lblDescription->width());
    QVERIFY2(needed >= 8 * lineSpacing, qPrintable(QString::number(needed)));
    QVERIFY2(needed <= box.lblDescription->height(), qPrintable(QString::number(needed)));
}

void tst_frmAbout::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("cmdOK") << QStringLiteral("cmdOK") << QRect(288, 200, 100, 23);
    QTest::newRow("picIcon") << QStringLiteral("picIcon") << QRect(16, 8, 36, 36);
    QTest::newRow("lblDisclaimer") << QStringLiteral("lblDisclaimer") << QRect(17, 183, 258, 90);
    QTest::newRow("lblVersion") << QStringLiteral("lblVersion") << QRect(70, 24, 53, 13);
    QTest::newRow("lblDescription") << QStringLiteral("lblDescription") << QRect(70, 40, 315, 110);
    QTest::newRow("Line1(0)") << QStringLiteral("Line1(0)") << QRect(16, 176, 368, 2);
    QTest::newRow("Line1(1)") << QStringLiteral("Line1(1)") << QRect(16, 176, 368, 1);
}

void tst_frmAbout::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    const frmAbout box;
    const QWidget *control = box.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), pixels);
}

void tst_frmAbout::linkFits()
{
    // The link keeps its designed place and grows only as far as its
    // address needs, never past the separator's right end.
    const frmAbout box;
    const QRect link = box.Label4->geometry();
    QCOMPARE(link.topLeft(), QPoint(70, 152));
    QCOMPARE(link.height(), 13);
    QVERIFY(link.width() >= 136);
    QVERIFY(link.right() <= box.Line1[0]->geometry().right());
    QVERIFY(box.Label4->fontMetrics().horizontalAdvance(box.Label4->text()) <= link.width());
}

void tst_frmAbout::window()
{
    frmAbout box;
    QCOMPARE(box.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(box.property("Tag").toString(), QStringLiteral("2142"));
    QCOMPARE(box.minimumSize(), QSize(400, 324));
    QCOMPARE(box.maximumSize(), QSize(400, 324));
    const Qt::WindowFlags flags = box.windowFlags();
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(flags & Qt::WindowCloseButtonHint);

    // The white line lies over the grey one.
    const QObjectList stacking = box.children();
    QVERIFY(stacking.indexOf(box.Line1[0]) > stacking.indexOf(box.Line1[1]));
    QCOMPARE(box.picIcon->pixmap().deviceIndependentSize().toSize(), QSize(32, 32));

    const QList<QWidget *> tabOrder = {box.cmdOK,    box.picIcon,        box.lblDisclaimer, box.lblVersion,
                                       box.lblTitle, box.lblDescription, box.Label4};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QCOMPARE(tabOrder.at(i - 1)->nextInFocusChain(), tabOrder.at(i));
}

void tst_frmAbout::closeKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void tst_frmAbout::closeKeys()
{
    QFETCH(int, key);
    frmAbout box;
    QSignalSpy clicked(box.cmdOK, &QPushButton::clicked);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key(key));
    QVERIFY(!box.isVisible());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void tst_frmAbout::linkClick_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("opens");
    QTest::newRow("left button") << int(Qt::LeftButton) << true;
    QTest::newRow("right button") << int(Qt::RightButton) << false;
}

void tst_frmAbout::linkClick()
{
    QFETCH(int, button);
    QFETCH(bool, opens);
    UrlCatcher browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); });
    frmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    QTest::mouseClick(box.Label4, Qt::MouseButton(button));
    if (opens) {
        QCOMPARE(browser.opened, QList<QUrl>{QUrl(QStringLiteral("https://www.velder.example/"))});
        QCOMPARE(browser.pointers, QList<Qt::CursorShape>{Qt::WaitCursor});
    } else {
        QVERIFY(browser.opened.isEmpty());
    }
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(box.isVisible());
}

void tst_frmAbout::linkCursor()
{
    const frmAbout box;
    const QCursor cursor = box.Label4->cursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), QPoint(6, 0));
    QCOMPARE(cursor.bitmap().size(), QSize(32, 32));
    QCOMPARE(cursor.mask().size(), QSize(32, 32));
    // The hot spot is on the fingertip: a black, opaque pixel.
    const QImage bitmap = cursor.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(QColor(bitmap.pixel(6, 0)), QColor(Qt::black));
    QCOMPARE(QColor(mask.pixel(6, 0)), QColor(Qt::black));
    QCOMPARE(QColor(mask.pixel(31, 31)), QColor(Qt::white));
}

void tst_frmAbout::modalOverOwner()
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    bool seen = false;
    QTimer::singleShot(0, &owner, [&seen, &owner] {
        auto *box = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = box->isModal() && box->parentWidget() == &owner;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    frmAbout::showModal(&owner);
    QVERIFY(seen);
    QVERIFY(owner.findChildren<frmAbout *>().isEmpty());
}

void tst_frmAbout::modelessDeletesItself()
{
    QPointer<frmAbout> box = frmAbout::showModeless();
    QVERIFY(box);
    QVERIFY(!box->parentWidget());
    QVERIFY(!box->isModal());
    QVERIFY(box->isVisible());
    QTest::mouseClick(box->cmdOK, Qt::LeftButton);
    QTRY_VERIFY(box.isNull());
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
