// Every window, in both languages: controls inside their parents and clear of one another, texts
// translated, in the language's font and fitting, access keys used once and leading to a control.

#include "app/TitleBarIconStyle.h"
#include "app/frmMain.h"
#include "dialogs/ErrorProgramQuestion.h"
#include "dialogs/Form1.h"
#include "dialogs/Form2.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmPorts.h"
#include "resources/LoadResource.h"
#include "session/frmDocument.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Language)

namespace {

// The about box's etched line is a white line drawn over a grey one.
const QString designedOverlap = QStringLiteral("Line1(0)+Line1(1)");

std::unique_ptr<QWidget> makeWindow(const QString &name)
{
    if (name == u"frmMain") {
        auto main = std::make_unique<frmMain>();
        ApplyResourceStrings(main.get());
        return main;
    }
    return std::unique_ptr<QWidget>(
        name == u"frmDocument"  ? new frmDocument
        : name == u"frmOptions" ? static_cast<QWidget *>(new frmOptions)
        : name == u"frmPorts"   ? static_cast<QWidget *>(new frmPorts({}))
        : name == u"Form1"      ? new Form1
        : name == u"Form2"      ? static_cast<QWidget *>(new Form2)
        : name == u"ErrorProgramQuestion"
            ? static_cast<QWidget *>(new ErrorProgramQuestion("/tmp/x.bvx", "touch \"a b\""))
            : new frmAbout);
}

QString caption(const QWidget *control)
{
    if (auto *frame = qobject_cast<const QGroupBox *>(control))
        return frame->title();
    return qobject_cast<const QLabel *>(control) || qobject_cast<const QAbstractButton *>(control)
               ? control->property("text").toString()
               : QString();
}

int accessKey(const QString &text)
{
    const QKeySequence key = QKeySequence::mnemonic(text);
    return key.isEmpty() ? 0 : key[0].toCombined();
}

bool isNumericId(const QString &text)
{
    bool number = false;
    text.trimmed().toLongLong(&number);
    return number;
}

// The room a caption needs against the room the style leaves it.
std::pair<int, int> textNeed(QWidget *control)
{
    const QString text = caption(control);
    if (auto *label = qobject_cast<QLabel *>(control)) {
        if (label->wordWrap())
            return {label->heightForWidth(label->width()), label->height()};
        // Without a buddy a label shows its '&' as it is.
        const QString plain = label->buddy() ? QString(text).remove(u'&') : text;
        return {label->fontMetrics().horizontalAdvance(plain), label->contentsRect().width()};
    }
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        const auto contents =
            qobject_cast<QCheckBox *>(button) ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents;
        return {button->fontMetrics().horizontalAdvance(QString(text).remove(u'&')),
                button->style()->subElementRect(contents, &option, button).width()};
    }
    if (auto *frame = qobject_cast<QGroupBox *>(control))
        return {frame->minimumSizeHint().width(), frame->width()};
    return {0, 0};
}

// Every access key of `owners` (name -> caption) used once only.
void checkKeysUnique(const QList<std::pair<QString, QString>> &owners, QStringList &faults)
{
    QMap<int, QStringList> byKey;
    for (const auto &[name, text] : owners)
        byKey[accessKey(text)] << name;
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it)
        if (it.key() && it->size() > 1)
            faults << QStringLiteral("one access key for ") + it->join(u' ');
}

QStringList faultsOf(QWidget *window)
{
    QStringList faults;
    const auto fault = [&faults](const QObject *c, const QString &what) {
        faults << c->objectName() + ": " + what;
    };
    if (isNumericId(window->windowTitle()))
        fault(window, QStringLiteral("title is an id"));

    // The designed controls: named children, not the parts Qt adds itself.
    QList<QWidget *> all;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(u"qt_") && !qobject_cast<QMenu *>(w) &&
            w->isVisibleTo(window))
            all << w;
    }
    QList<std::pair<QString, QString>> captions;
    for (QWidget *c : all) {
        QWidget *parent = c->parentWidget();
        if (!parent->rect().contains(c->geometry()))
            fault(c, "outside " + parent->objectName());
        for (QWidget *other : all) {
            if (other->parentWidget() == parent && c->objectName() < other->objectName() &&
                c->geometry().intersects(other->geometry()) &&
                c->objectName() + u'+' + other->objectName() != designedOverlap)
                fault(c, "overlaps " + other->objectName());
        }
        const QString text = caption(c);
        captions.append({c->objectName(), text});
        if (isNumericId(text))
            fault(c, "caption is an id: " + text);
        // A Tag that names a text: the language's text, in the language's font.
        const int id = leadingNumberId(c->property("Tag").toString()).value_or(0);
        if (id > 0 && hasResource(id) && !text.isNull() && text != LoadResource(id))
            fault(c, "not translated: " + text);
        if (id > 0 && c->font().family() != resourceFont().family())
            fault(c, "not in the language's font");
        if (const auto [needed, room] = textNeed(c); needed > room)
            fault(c, QStringLiteral("\"%1\" needs %2 px, has %3").arg(text).arg(needed).arg(room));
        auto *label = qobject_cast<QLabel *>(c);
        if (label && accessKey(text) &&
            (!label->buddy() || label->buddy()->window() != window ||
             label->buddy()->focusPolicy() == Qt::NoFocus))
            fault(c, QStringLiteral("access key leads nowhere"));
    }
    checkKeysUnique(captions, faults);

    // Menu texts may run as wide as they like.
    for (QMenu *menu : window->findChildren<QMenu *>()) {
        QList<std::pair<QString, QString>> items;
        for (QAction *action : menu->actions()) {
            if (isNumericId(action->text()))
                fault(menu, "item is an id: " + action->text());
            if (action->isVisible())
                items.append({menu->objectName() + '/' + action->text(), action->text()});
        }
        checkKeysUnique(items, faults);
    }
    return faults;
}

} // namespace

class tst_Windows : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void cleanup() { setLanguageOverride(std::nullopt); }
    void everyWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<Language>("language");
        for (const char *window : {"frmMain", "frmDocument", "frmOptions", "frmPorts", "Form1", "Form2",
                                   "frmAbout", "ErrorProgramQuestion"}) {
            QTest::addRow("%s en", window) << QString::fromLatin1(window) << Language::English;
            QTest::addRow("%s ja", window) << QString::fromLatin1(window) << Language::Japanese;
        }
    }
    void everyWindow()
    {
        QFETCH(QString, window);
        QFETCH(Language, language);
        setLanguageOverride(language);
        const std::unique_ptr<QWidget> w = makeWindow(window);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QStringList faults = faultsOf(w.get());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    // The style that keeps the title-bar icons gives each kind the icon the style itself makes.
    void titleBarIcons()
    {
        const TitleBarIconStyle kept(QApplication::style()->name());
        const std::unique_ptr<QStyle> made(QStyleFactory::create(QApplication::style()->name()));
        for (int round = 0; round < 2; ++round) // the second from what was kept
            for (QStyle::StandardPixmap icon :
                 {QStyle::SP_TitleBarMinButton, QStyle::SP_TitleBarMaxButton, QStyle::SP_TitleBarCloseButton,
                  QStyle::SP_TitleBarNormalButton, QStyle::SP_TitleBarMenuButton, QStyle::SP_DialogOkButton})
                QCOMPARE(kept.standardIcon(icon).pixmap(16).toImage(),
                         made->standardIcon(icon).pixmap(16).toImage());
    }

    // Every text of the table has words in both languages (1102 is empty by design).
    void stringTable()
    {
        for (Language language : {Language::English, Language::Japanese}) {
            setLanguageOverride(language);
            for (int id : resourceIds())
                QVERIFY2(LoadResource(id).isEmpty() == (id == 1102), qPrintable(QString::number(id)));
        }
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_Windows.moc"
