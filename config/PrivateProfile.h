#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// An INI-style file read and written with the semantics of the Windows
// private-profile calls. The file is read once into memory; writes change
// the in-memory image; save() replaces the file atomically.
//
// Every line is kept as the bytes it was read as, line end included, so that
// lines a write does not touch come out of save() unchanged.
class PrivateProfile
{
public:
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024; // larger files read as unreadable (empty)

    // Reads the file now; a missing, unreadable or too large file, or one
    // that is not a regular file, reads as empty.
    explicit PrivateProfile(const QString &path);
    // Reads `contents` as the file at `path` holding them, without the disk.
    PrivateProfile(const QString &path, const QByteArray &contents);

    QString path() const;
    bool readable() const; // the file existed and was read

    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue = QString()) const;
    qint32 readInt(const QString &section, const QString &key, qint32 defaultValue = 0) const;
    bool hasKey(const QString &section, const QString &key) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInt(const QString &section, const QString &key, qint32 value); // decimal, '-' when negative

    bool save();                 // atomic replace; false on failure, old file intact
    QString errorString() const; // why save() failed
    QByteArray image() const;    // the bytes save() would write

private:
    enum class LineKind : quint8 { Blank, Section, Key, Other };
    enum class LineEnd : quint8 { None, CrLf, Lf, Cr };

    // A line is a slice of m_text; rewritten and added lines are appended to
    // m_text, so a file of many short lines costs no allocation per line.
    struct Line
    {
        qsizetype begin = 0;
        qsizetype size = 0;
        LineKind kind = LineKind::Blank;
        LineEnd end = LineEnd::None;
    };

    static LineKind classify(QByteArrayView text);
    static QByteArrayView lineEndBytes(LineEnd end);
    void parse(const QByteArray &data);
    QByteArrayView content(qsizetype index) const;
    QByteArrayView nameOf(qsizetype index) const;
    QByteArrayView valueOf(qsizetype index) const;
    qsizetype findSection(QByteArrayView name) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, QByteArrayView name) const;
    qsizetype findKey(const QString &section, const QString &key) const;
    void setLine(qsizetype index, const QByteArray &text);
    void insertLine(qsizetype index, const QByteArray &text);

    const QString m_path;
    QByteArray m_text;
    QList<Line> m_lines;
    LineEnd m_newLineEnd = LineEnd::CrLf;
    bool m_readable = false;
    bool m_unreadable = false; // something is at m_path that could not be read
    QString m_errorString;
};
