#pragma once

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <numeric>

// Small file and data helpers shared by the suites.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// `size` bytes of every value, the same for the same seed.
inline QByteArray randomBytes(qsizetype size, quint32 seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    std::generate(bytes.begin(), bytes.end(), [&] { return char(generator.bounded(256)); });
    return bytes;
}

// Every byte value once, 0x00 to 0xFF.
inline QByteArray allByteValues()
{
    QByteArray bytes(256, Qt::Uninitialized);
    std::iota(bytes.begin(), bytes.end(), char(0));
    return bytes;
}
