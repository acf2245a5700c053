#include "components/QtFileDialogComponent.h"
#include "tests/support/TestEnv.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class tst_QtFileDialogComponent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nameFilters_data();
    void nameFilters();
    void openShowsDescriptionsAndMatchesAnyCase();
    void cancelKeepsFileName();
    void saveAppendsDefaultExtensionWithoutAsking();
    void mustExistRefusesNewName();
    void programsFilterListsExecutables();

private:
    // Runs `answer` against the dialog once it is up, then the Show call.
    bool runDialog(QtFileDialogComponent &component, bool save, std::function<void(QFileDialog *)> answer);
    QStringList listedFiles(QFileDialog *dialog, const QString &dir);

    std::unique_ptr<TestEnv> m_env;
    QString m_dir;
};

void tst_QtFileDialogComponent::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    QtFileDialogComponent::setUseNativeDialog(false);
    m_dir = m_env->filePath("files");
    QVERIFY(QDir().mkpath(m_dir));
    for (const char *name : {"a.txt", "B.TXT", "c.log", "existing.bvx"}) {
        QFile file(QDir(m_dir).filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
}

void tst_QtFileDialogComponent::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("log files") << "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"
                               << QStringList{"Text Files (*.TXT) (*.txt)", "All Files (*.*) (*.*)"};
    QTest::newRow("several patterns") << "Logs|*.log;*.txt" << QStringList{"Logs (*.log *.txt)"};
    QTest::newRow("empty pattern") << "Anything|" << QStringList{"Anything (*)"};
    QTest::newRow("dangling description") << "A|*.a|B" << QStringList{"A (*.a)"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("programs") << "Programs (*.EXE)|*.EXE|All Files (*.*)|*.*"
                              << QStringList{"Programs (*.EXE) (*)", "All Files (*.*) (*.*)"};
}

void tst_QtFileDialogComponent::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtFileDialogComponent::nameFilters(filter), expected);
}

bool tst_QtFileDialogComponent::runDialog(QtFileDialogComponent &component, bool save,
                                          std::function<void(QFileDialog *)> answer)
{
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            qWarning("no file dialog came up");
            return;
        }
        answer(dialog);
        answered = true;
    });
    const bool result = save ? component.ShowSave() : component.ShowOpen();
    if (!answered)
        qWarning("the dialog was never answered");
    return result;
}

QStringList tst_QtFileDialogComponent::listedFiles(QFileDialog *dialog, const QString &dir)
{
    // What the dialog's views show: the file system model, through the
    // dialog's filtering model when it has one.
    auto *model = dialog->findChild<QFileSystemModel *>();
    if (!model)
        return {};
    QAbstractItemModel *shown = model;
    QModelIndex root = model->index(dir);
    if (QAbstractProxyModel *proxy = dialog->proxyModel()) {
        shown = proxy;
        root = proxy->mapFromSource(root);
    }
    QStringList names;
    for (int row = 0; row < shown->rowCount(root); ++row) {
        const QModelIndex index = shown->index(row, 0, root);
        if (!shown->data(index, QFileSystemModel::FilePathRole).toString().isEmpty() &&
            !QFileInfo(shown->data(index, QFileSystemModel::FilePathRole).toString()).isDir())
            names << shown->data(index, Qt::DisplayRole).toString();
    }
    names.sort();
    return names;
}

static void accept(QFileDialog *dialog, const QString &name)
{
    // As a user does: the name typed replaces whatever the list had selected.
    if (auto *list = dialog->findChild<QAbstractItemView *>(QStringLiteral("listView")))
        list->clearSelection();
    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(name);
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
}

void tst_QtFileDialogComponent::openShowsDescriptionsAndMatchesAnyCase()
{
    QWidget owner;
    QtFileDialogComponent component(&owner);
    component.setFileName(QDir(m_dir).filePath("a.txt"));
    component.setFlags(4);
    component.setFilter(QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
    component.setFilterIndex(1);

    QStringList shownTypes;
    QStringList shownFiles;
    const bool chosen = runDialog(component, false, [&](QFileDialog *dialog) {
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; types && i < types->count(); ++i)
            shownTypes << types->itemText(i);
        QTRY_VERIFY_WITH_TIMEOUT(listedFiles(dialog, m_dir).size() >= 2, 10000);
        shownFiles = listedFiles(dialog, m_dir);
        accept(dialog, QStringLiteral("B.TXT"));
    });
    QCOMPARE(shownTypes, (QStringList{"Text Files (*.TXT)", "All Files (*.*)"}));
    QCOMPARE(shownFiles, (QStringList{"B.TXT", "a.txt"}));
    QVERIFY(chosen);
    QCOMPARE(component.FileName(), QDir(m_dir).filePath("B.TXT"));
}

void tst_QtFileDialogComponent::cancelKeepsFileName()
{
    QWidget owner;
    QtFileDialogComponent component(&owner);
    component.setFileName(QStringLiteral("/no/such/dir/kept.txt"));
    component.setFilter(QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
    const bool chosen = runDialog(component, false, [](QFileDialog *dialog) { dialog->reject(); });
    QVERIFY(!chosen);
    QCOMPARE(component.FileName(), QStringLiteral("/no/such/dir/kept.txt"));
}

void tst_QtFileDialogComponent::saveAppendsDefaultExtensionWithoutAsking()
{
    QWidget owner;
    QtFileDialogComponent component(&owner);
    component.setFileName(QDir(m_dir).filePath("existing.bvx"));
    component.setDefaultExt(QStringLiteral("bvx"));
    component.setFilter(QStringLiteral("Configuration (*.bvx)|*.bvx"));

    bool chosen =
        runDialog(component, true, [](QFileDialog *dialog) { accept(dialog, QStringLiteral("newconf")); });
    QVERIFY(chosen);
    QCOMPARE(component.FileName(), QDir(m_dir).filePath("newconf.bvx"));

    // An existing file is taken as it is: no question about overwriting comes up.
    chosen = runDialog(component, true,
                       [](QFileDialog *dialog) { accept(dialog, QStringLiteral("existing.bvx")); });
    QVERIFY(chosen);
    QCOMPARE(component.FileName(), QDir(m_dir).filePath("existing.bvx"));
}

void tst_QtFileDialogComponent::mustExistRefusesNewName()
{
    QWidget owner;
    QtFileDialogComponent component(&owner);
    component.setFileName(QDir(m_dir).filePath("a.txt"));
    component.setFlags(4096 + 4);
    component.setFilter(QStringLiteral("All Files (*.*)|*.*"));
    bool stillOpen = false;
    bool warned = false;
    const bool chosen = runDialog(component, false, [&](QFileDialog *dialog) {
        // The dialog says that the file does not exist, in a message box of its own.
        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            warned = box && box != dialog;
            if (warned)
                box->close();
        });
        accept(dialog, QStringLiteral("not-there.txt"));
        stillOpen = dialog->isVisible() && dialog->result() != QDialog::Accepted;
        dialog->reject();
    });
    QVERIFY(warned);
    QVERIFY(stillOpen);
    QVERIFY(!chosen);
    QCOMPARE(component.FileName(), QDir(m_dir).filePath("a.txt"));
}

void tst_QtFileDialogComponent::programsFilterListsExecutables()
{
    const QString dir = m_env->filePath("programs");
    QVERIFY(QDir().mkpath(dir));
    for (const char *name : {"run.sh", "tool", "notes.txt", "SETUP.EXE"}) {
        QFile file(QDir(dir).filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (QByteArray(name) != "notes.txt" && QByteArray(name) != "SETUP.EXE")
            file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
    }
    QWidget owner;
    QtFileDialogComponent component(&owner);
    component.setFileName(QDir(dir).filePath("tool"));
    component.setFlags(0x1004);
    component.setFilter(QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*"));
    component.setFilterIndex(1);
    QString shownType;
    QStringList programs;
    QStringList everything;
    const bool chosen = runDialog(component, false, [&](QFileDialog *dialog) {
        shownType = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))->currentText();
        QTRY_VERIFY_WITH_TIMEOUT(listedFiles(dialog, dir).size() >= 2, 10000);
        programs = listedFiles(dialog, dir);
        dialog->selectNameFilter(QtFileDialogComponent::nameFilters(component.Filter()).at(1));
        emit dialog->filterSelected(dialog->selectedNameFilter());
        QTRY_VERIFY_WITH_TIMEOUT(listedFiles(dialog, dir).size() == 4, 10000);
        everything = listedFiles(dialog, dir);
        dialog->reject();
    });
    QVERIFY(!chosen);
    QCOMPARE(shownType, QStringLiteral("Programs (*.EXE)"));
    QCOMPARE(programs, (QStringList{"run.sh", "tool"}));
    QCOMPARE(everything, (QStringList{"SETUP.EXE", "notes.txt", "run.sh", "tool"}));
}

QTEST_MAIN(tst_QtFileDialogComponent)
#include "tst_QtFileDialogComponent.moc"
