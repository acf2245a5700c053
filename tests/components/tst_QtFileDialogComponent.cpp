#include "components/QtFileDialogComponent.h"

#include <QAbstractButton> // used by Modal.h
#include <QAbstractItemView>

#include "tests/support/Files.h"
#include "tests/support/Modal.h"
#include "tests/support/TestEnv.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <tuple>

// The decisions the component makes about the dialog; the dialog itself is Qt's.
class tst_QtFileDialogComponent : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    const QString m_existing = m_env.filePath(QStringLiteral("existing.bvx"));
    QWidget m_owner;
    QtFileDialogComponent m_component{&m_owner};

    // Shows the dialog and answers it with `answer` once it is up.
    bool show(bool save, std::function<void(QFileDialog *)> answer)
    {
        const auto seen = answerModal<QFileDialog>(this, std::move(answer));
        const bool chosen = save ? m_component.ShowSave() : m_component.ShowOpen();
        return *seen && chosen;
    }

    // Types `name` over any selection in the list and presses Open/Save.
    static void type(QFileDialog *dialog, const QString &name)
    {
        dialog->findChild<QAbstractItemView *>(QStringLiteral("listView"))->clearSelection();
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    }

private slots:
    void init()
    {
        QtFileDialogComponent::setUseNativeDialog(false);
        QVERIFY(writeFile(m_existing, {}));
        m_component.setFileName(m_existing);
    }

    void nameFilters()
    {
        const struct
        {
            const char *filter;
            QStringList expected;
        } rows[] = {
            {"Text Files (*.TXT)|*.txt|All Files (*.*)|*.*",
             {"Text Files (*.TXT) (*.txt)", "All Files (*.*) (*.*)"}},
            {"Logs|*.log;*.txt", {"Logs (*.log *.txt)"}},
            {"Programs (*.EXE)|*.EXE|All Files (*.*)|*.*", {"Programs (*.EXE) (*)", "All Files (*.*) (*.*)"}},
        };
        for (const auto &row : rows)
            QCOMPARE(QtFileDialogComponent::nameFilters(QLatin1String(row.filter)), row.expected);
    }

    // A new name gets the default extension; an existing file is taken without an overwrite
    // question. An open dialog that takes new names is Qt's own even where a platform one is
    // preferred: that one may refuse them.
    void newAndExistingNames()
    {
        m_component.setDefaultExt(QStringLiteral("bvx"));
        m_component.setFilter(QStringLiteral("Configuration (*.bvx)|*.bvx"));
        QtFileDialogComponent::setUseNativeDialog(true);
        for (const auto &[save, name, chosen] : {std::tuple{true, "newconf", "newconf.bvx"},
                                                 {true, "existing.bvx", "existing.bvx"},
                                                 {false, "new.log", "new.log"}}) {
            bool own = false;
            QVERIFY(show(save, [&own, name = QString::fromLatin1(name)](QFileDialog *dialog) {
                own = dialog->testOption(QFileDialog::DontUseNativeDialog);
                type(dialog, name);
            }));
            QVERIFY(own || save);
            QCOMPARE(m_component.FileName(), m_env.filePath(QString::fromLatin1(chosen)));
        }
    }

    // Flag 4096: only an existing file may be chosen. Cancelling keeps the name.
    void mustExistRefusesNewName()
    {
        m_component.setFlags(FileDialogComponent::FlagFileMustExist);
        bool stillOpen = false;
        const bool chosen = show(false, [&](QFileDialog *dialog) {
            const auto warned = answerMessageBox(this);
            type(dialog, QStringLiteral("not-there.txt"));
            stillOpen = !warned->isNull() && dialog->isVisible();
            dialog->reject();
        });
        QVERIFY(stillOpen && !chosen);
        QCOMPARE(m_component.FileName(), m_existing);
    }
};

QTEST_MAIN(tst_QtFileDialogComponent)
#include "tst_QtFileDialogComponent.moc"
