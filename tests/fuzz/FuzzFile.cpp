#include "tests/fuzz/FuzzFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace FuzzFile {

namespace {

QTemporaryDir &scratch()
{
    // Under /dev/shm when there is one: millions of small writes need not
    // reach a disk.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/ombrix-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/ombrix-fuzz-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "no scratch directory for the fuzz input\n");
        std::abort();
    }
    return dir;
}

} // namespace

QString path(const char *name)
{
    return scratch().filePath(QString::fromLatin1(name));
}

void put(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write the fuzz input to %s\n", qPrintable(path));
        std::abort();
    }
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace FuzzFile

namespace FuzzFile {

void fail(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

} // namespace FuzzFile
