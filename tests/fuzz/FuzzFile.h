#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Fuzz targets read their input from a real file, as the program does, in a
// scratch directory of the process's own (under /dev/shm when there is one:
// millions of small writes need not reach a disk).
namespace FuzzFile {

[[noreturn]] inline void fail(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what);
    std::abort();
}

inline QString path(const char *name)
{
    static QTemporaryDir dir((QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
                             "/ombrix-fuzz-XXXXXX");
    if (!dir.isValid())
        fail("no scratch directory", __FILE__, __LINE__);
    return dir.filePath(QString::fromLatin1(name));
}

// Aborts when the input cannot be written: a full disk is no passed input.
inline void put(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        fail("cannot write the fuzz input", __FILE__, __LINE__);
}

} // namespace FuzzFile

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// A broken property, reported like a crash so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    ((condition) ? void() : FuzzFile::fail("check failed: " #condition, __FILE__, __LINE__))
