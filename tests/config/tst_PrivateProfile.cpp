#include "config/PrivateProfile.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// While it lives, this thread obeys file permissions even as root: the
// capabilities to read and write any file leave its effective set.
struct PermissionsEnforced
{
    PermissionsEnforced()
    {
        if (::geteuid() != 0 || ::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~PermissionsEnforced() { dropped && ::syscall(SYS_capset, &header, saved); }
    bool enforced() const { return dropped || ::geteuid() != 0; }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    bool dropped = false;
};

} // namespace

class tst_PrivateProfile : public QObject
{
    Q_OBJECT

    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void editInPlaceMatchesGolden()
    {
        const QString file = path("edit.bvx");
        QVERIFY(writeFile(file, readFile(OMBRIX_PROFILE_DATA "/edit-before.bvx")));
        PrivateProfile profile(file);
        QVERIFY(!profile.hasKey("Session1", "Parity")); // only the later [SESSION1] has it
        profile.writeInt("ombrix", "NumSessions", 3);
        profile.writeInt("Ombrix", "WindowState", 0);          // unchanged: the line stays as written
        profile.writeString("OMBRIX", "Password", " secret "); // unchanged: stays quoted
        profile.writeInt("Ombrix", "LogErrors", 0);
        profile.writeString("Session1", "LogFile", "C:\\new file.txt");
        profile.writeInt("session1", "BAUDRATE", 8);
        profile.writeInt("Session1", "Parity", 1);
        profile.writeString("Session2", "LogFile", " padded ");
        QVERIFY2(profile.save(), qPrintable(profile.errorString()));
        QCOMPARE(readFile(file), readFile(OMBRIX_PROFILE_DATA "/edit-after.bvx"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("stored"); // as it stands in the file after "K="
        static const struct
        {
            const char *name, *value, *stored;
        } rows[] = {
            {"backslashes", "C:\\logs\\a b.txt", "C:\\logs\\a b.txt"},
            {"equals and semicolon", "a=b;c", "a=b;c"},
            {"japanese", "ログ／記録.txt", "ログ／記録.txt"},
            {"empty", "", ""},
            {"leading blank", " x", "\" x\""},
            {"trailing tab", "x\t", "\"x\t\""},
            {"double quoted", "\"quoted\"", "\"\"quoted\"\""},
            {"single quoted", "'single'", "\"'single'\""},
            {"lone quote", "\"", "\""},
            {"quotes inside blanks", " \"x\" ", "\" \"x\" \""},
            {"line breaks dropped", "one\r\ntwo\rthree\n", "onetwothree"},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString::fromUtf8(r.value) << QByteArray(r.stored);
        QTest::newRow("byte order mark first") << QStringLiteral(u"\uFEFFx") << QByteArray("\xEF\xBB\xBFx");
        QTest::newRow("5000 characters") << QString(5000, u'q') << QByteArray(5000, 'q');
    }

    // Written over an existing value, saved, and read back by a fresh reader.
    void roundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, stored);
        const QString file = path("roundtrip.bvx");
        PrivateProfile profile(file);
        profile.writeString("S", "K", "old value");
        profile.writeString("S", "K", value);
        QVERIFY2(profile.save(), qPrintable(profile.errorString()));
        const QByteArray expectedFile = "[S]\r\nK=" + stored + "\r\n";
        QCOMPARE(readFile(file), expectedFile);
        PrivateProfile again(file);
        QCOMPARE(again.readString("S", "K", "<missing>"), QString(value).remove(u'\r').remove(u'\n'));
        again.writeString("s", "k", value);
        QCOMPARE(again.image(), expectedFile);
    }

    void readInt_data()
    {
        QTest::addColumn<QByteArray>("stored"); // null: the key is missing
        QTest::addColumn<qint32>("expected");
        static const struct
        {
            const char *stored;
            qint32 expected;
        } rows[] = {
            {"6", 6}, {"-1", -1},    {"  +7", 7},       {"42A9", 42},   {"B42", 0},
            {"", 0},  {nullptr, 77}, {"4294967297", 1}, {"\"12\"", 12}, {"2147483648", -2147483647 - 1}};
        for (const auto &r : rows)
            QTest::newRow(r.stored ? r.stored : "missing") << QByteArray(r.stored) << r.expected;
        QTest::newRow("5000 digits") << QByteArray("123456789").repeated(556) << -2080088299;
    }

    void readInt()
    {
        QFETCH(QByteArray, stored);
        const QString file = path("int.bvx");
        QVERIFY(writeFile(file, stored.isNull() ? QByteArray("[S]\nOther=1\n") : "[S]\nK=" + stored + "\n"));
        QTEST(PrivateProfile(file).readInt("s", "k", 77), "expected");
    }

    void readForeign_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected"); // null: the key is missing
        static const struct
        {
            const char *name, *bytes, *section, *key, *expected;
        } rows[] = {
            {"blanks inside quotes kept", "[S]\r\nPassword=\" secret \"\r\n", "S", "Password", " secret "},
            {"single quotes", "[S]\nK = ' a b ' \n", "S", "K", " a b "},
            {"blanks around value", "[S]\nK=\t v w \t\n", "S", "K", "v w"},
            {"any case, blanks around names", "[ SeCtIoN ]\n  kEy\t=v\n", "section", " KEY ", "v"},
            {"CR line ends", "[A]\rK=1\r[B]\rK=2\r", "B", "K", "2"},
            {"mixed line ends", "[A]\r\nK=1\n[B]\rK=2", "B", "K", "2"},
            {"first duplicate key wins", "[S]\nK=first\nk=second\n", "S", "K", "first"},
            {"later duplicate section unread", "[S]\nA=1\n[s]\nK=late\n", "S", "K", nullptr},
            {"comment is no key", "[S]\n ;K=c\n", "S", "K", nullptr},
            {"key before any section", "K=v\n[S]\n", "S", "K", nullptr},
            {"byte order mark", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
            {"header without bracket", "[S\nK=v\n", "S", "K", "v"},
            {"japanese names", "[セッション]\nキー=値\n", "セッション", "キー", "値"},
            {"missing file", nullptr, "S", "K", nullptr},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QByteArray(r.bytes) << QString::fromUtf8(r.section)
                                  << QString::fromUtf8(r.key) << QString::fromUtf8(r.expected);
    }

    void readForeign()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString file = path("foreign.bvx");
        QVERIFY(bytes.isNull() || writeFile(file, bytes));
        const PrivateProfile profile(file);
        QCOMPARE(profile.readable(), !bytes.isNull());
        QCOMPARE(profile.readString(section, key, "<missing>"), expected.isNull() ? "<missing>" : expected);
        QCOMPARE(profile.hasKey(section, key), !expected.isNull());
        QCOMPARE(profile.image(), bytes);
    }

    // Any bytes read back unchanged: the fuzz target's replay. What cannot be
    // read neither crashes nor blocks, and is never replaced.
    void unreadable_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"directory", "fifo", "no read permission", "larger than the limit"})
            QTest::newRow(kind) << QString(kind);
    }

    void unreadable()
    {
        QFETCH(QString, kind);
        const QString file = path("target.bvx");
        QFile big(file);
        if (kind == "directory")
            QVERIFY(QDir().mkdir(file));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else if (kind.startsWith("larger"))
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(PrivateProfile::maxFileSize + 1));
        else
            QVERIFY(writeFile(file, "[S]\nK=v\n") && QFile::setPermissions(file, QFileDevice::WriteOwner));
        const auto state = [&file] {
            const QFileInfo info(file);
            return info.fileTime(QFile::FileModificationTime).toString(Qt::ISODateWithMs) + ' ' +
                   QString::number(info.size());
        };
        const QString before = state();
        std::optional<PermissionsEnforced> permissions;
        if (kind.startsWith("no read") && !permissions.emplace().enforced())
            QSKIP("root reads any file, and this process cannot drop that capability");
        PrivateProfile profile(file);
        permissions.reset();
        QVERIFY(!profile.readable());
        QCOMPARE(profile.readInt("S", "K", 5), 5);
        profile.writeString("Added", "K", "v");
        QCOMPARE(profile.readString("Added", "K"), QStringLiteral("v"));
        QVERIFY(!profile.save());
        QVERIFY(!profile.errorString().isEmpty());
        QCOMPARE(state(), before);
    }

    void failedSaveKeepsOldFile_data()
    {
        QTest::addColumn<bool>("readOnlyDirectory");
        QTest::addColumn<QString>("name");
        QTest::newRow("read-only directory") << true << "old.bvx";
        // The temporary file's name (name + 7 characters) is too long for the directory.
        QTest::newRow("no room for a temporary name") << false << QString(252, u'n');
    }

    void failedSaveKeepsOldFile()
    {
        QFETCH(bool, readOnlyDirectory);
        QFETCH(QString, name);
        const QString dir = path("d"), file = dir + '/' + name;
        const QByteArray old("[S]\r\nK=old\r\n");
        QVERIFY(QDir().mkdir(dir) && writeFile(file, old));
        PrivateProfile profile(file);
        profile.writeString("S", "K", "new");
        if (readOnlyDirectory)
            QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(dir,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        PermissionsEnforced permissions;
        if (!permissions.enforced())
            QSKIP("root writes into read-only directories, and this process cannot drop that capability");
        QVERIFY(!profile.save());
        QVERIFY(!profile.errorString().isEmpty());
        QCOMPARE(readFile(file), old);
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{name});
    }

    // A relative link is followed from its own directory; the link stays a
    // link and the target keeps its permissions.
    void saveThroughSymlink()
    {
        const QString target = path("real/target.bvx"), link = path("link.bvx");
        QVERIFY(QDir().mkdir(path("real")) && writeFile(target, "[S]\nK=old\n"));
        const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(target, permissions));
        QCOMPARE(::symlink("real/target.bvx", QFile::encodeName(link).constData()), 0);
        PrivateProfile profile(link);
        QCOMPARE(profile.readString("S", "K"), QStringLiteral("old"));
        profile.writeString("S", "K", "new");
        QVERIFY2(profile.save(), qPrintable(profile.errorString()));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(target), QByteArray("[S]\nK=new\n"));
        const auto userBits = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        QCOMPARE(QFile::permissions(target) & ~userBits, permissions);
    }
};

QTEST_GUILESS_MAIN(tst_PrivateProfile)
#include "tst_PrivateProfile.moc"
