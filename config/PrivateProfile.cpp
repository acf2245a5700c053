#include "config/PrivateProfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A file saved by a Windows editor may start with a UTF-8 byte order mark;
// without skipping it the first section header would not be recognised.
constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// The value as a read returns it: blanks around it trimmed, then one pair of
// matching enclosing quotes removed.
QByteArrayView readValue(QByteArrayView raw)
{
    QByteArrayView value = trimBlanks(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Names are compared as bytes with ASCII case folding. Comparing decoded
// text instead would make any two names with invalid UTF-8 at the same place
// equal, since both decode to U+FFFD.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

// A line of the file has no room for a line break: names and values lose
// their CR and LF characters when written. Writing only up to the first break
// would lose the rest silently, and writing the break would let a value add
// lines (even sections) of its own to the file.
QByteArray withoutLineBreaks(QString text)
{
    text.remove(u'\r');
    text.remove(u'\n');
    return text.toUtf8();
}

QByteArray cleanName(const QString &name)
{
    return trimBlanks(withoutLineBreaks(name)).toByteArray();
}

// Reads a regular file of at most PrivateProfile::maxFileSize bytes. Anything
// else (a directory, a FIFO, a device) is refused before it is opened for
// reading: opening a FIFO blocks until a writer comes, and opening a serial
// device changes its modem lines.
bool readRegularFile(const QString &path, QByteArray &data)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > PrivateProfile::maxFileSize)
        return false;
#ifdef Q_OS_UNIX
    // The path may be replaced between the check above and the open, so the
    // open never waits and the check is repeated on what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= PrivateProfile::maxFileSize;
    data.clear();
    char chunk[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        data.append(chunk, n);
        ok = data.size() <= PrivateProfile::maxFileSize; // the file grew meanwhile
    }
    ::close(fd);
    return ok;
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    data = file.read(PrivateProfile::maxFileSize + 1);
    return file.error() == QFileDevice::NoError && data.size() <= PrivateProfile::maxFileSize;
#endif
}

} // namespace

PrivateProfile::PrivateProfile(const QString &path)
    : m_path(path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QByteArray data;
    if (!readRegularFile(path, data)) {
        m_unreadable = true;
        return;
    }
    m_readable = true;
    parse(data);
}

PrivateProfile::PrivateProfile(const QString &path, const QByteArray &contents)
    : m_path(path)
    , m_readable(true)
{
    parse(contents);
}

QString PrivateProfile::path() const
{
    return m_path;
}

bool PrivateProfile::readable() const
{
    return m_readable;
}

void PrivateProfile::parse(const QByteArray &data)
{
    m_text = data;
    bool endSeen = false;
    qsizetype start = 0;
    const qsizetype n = data.size();
    const auto addLine = [&](qsizetype stop, LineEnd end) {
        Line line;
        line.begin = start;
        line.size = stop - start;
        line.end = end;
        m_lines.append(line);
        if (!endSeen && end != LineEnd::None) {
            m_newLineEnd = end; // an existing file keeps the line ends it has
            endSeen = true;
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if (c == '\n') {
            addLine(i, LineEnd::Lf);
        } else if (c == '\r') {
            if (i + 1 < n && data[i + 1] == '\n') {
                addLine(i, LineEnd::CrLf);
                ++i;
            } else {
                addLine(i, LineEnd::Cr);
            }
        } else {
            continue;
        }
        start = i + 1;
    }
    if (start < n)
        addLine(n, LineEnd::None);

    for (qsizetype i = 0; i < m_lines.size(); ++i)
        m_lines[i].kind = classify(content(i));
}

// A section header starts with '[', a comment with ';' (after blanks); any
// other line with an '=' is a key. The rest is kept but means nothing.
PrivateProfile::LineKind PrivateProfile::classify(QByteArrayView text)
{
    const QByteArrayView trimmed = trimBlanks(text);
    if (trimmed.isEmpty())
        return LineKind::Blank;
    if (trimmed.front() == '[')
        return LineKind::Section;
    if (trimmed.front() != ';' && trimmed.contains('='))
        return LineKind::Key;
    return LineKind::Other;
}

QByteArrayView PrivateProfile::lineEndBytes(LineEnd end)
{
    switch (end) {
    case LineEnd::CrLf:
        return "\r\n";
    case LineEnd::Lf:
        return "\n";
    case LineEnd::Cr:
        return "\r";
    case LineEnd::None:
        break;
    }
    return {};
}

// The line's bytes without its line end (and, on the first line, without a
// byte order mark).
QByteArrayView PrivateProfile::content(qsizetype index) const
{
    const Line &line = m_lines[index];
    QByteArrayView text(m_text.constData() + line.begin, line.size);
    if (index == 0 && text.startsWith(byteOrderMark))
        text = text.sliced(byteOrderMark.size());
    return text;
}

// A section's name runs from '[' to the last ']' (to the end of the line when
// there is none), so a name containing ']' that was written here is found again.
QByteArrayView PrivateProfile::nameOf(qsizetype index) const
{
    QByteArrayView text = trimBlanks(content(index));
    if (m_lines[index].kind == LineKind::Section) {
        text = text.sliced(1);
        const qsizetype close = text.lastIndexOf(']');
        return trimBlanks(close >= 0 ? text.first(close) : text);
    }
    return trimBlanks(text.first(text.indexOf('=')));
}

QByteArrayView PrivateProfile::valueOf(qsizetype index) const
{
    const QByteArrayView text = content(index);
    return readValue(text.sliced(text.indexOf('=') + 1));
}

// Only the first section of a name counts; a later one with the same name is
// kept in the file but never read or written.
qsizetype PrivateProfile::findSection(QByteArrayView name) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == LineKind::Section && sameName(nameOf(i), name))
            return i;
    }
    return -1;
}

qsizetype PrivateProfile::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < m_lines.size() && m_lines[i].kind != LineKind::Section)
        ++i;
    return i;
}

qsizetype PrivateProfile::findKey(qsizetype header, QByteArrayView name) const
{
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == LineKind::Key && sameName(nameOf(i), name))
            return i;
    }
    return -1;
}

qsizetype PrivateProfile::findKey(const QString &section, const QString &key) const
{
    const qsizetype header = findSection(cleanName(section));
    return header < 0 ? -1 : findKey(header, cleanName(key));
}

QString PrivateProfile::readString(const QString &section, const QString &key,
                                   const QString &defaultValue) const
{
    const qsizetype line = findKey(section, key);
    if (line < 0)
        return defaultValue;
    // QString::fromUtf8() drops a byte order mark at the start, so a value
    // beginning with U+FEFF would lose it on every load.
    QStringDecoder decode(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decode(valueOf(line));
}

// Optional blanks, an optional sign and the leading decimal digits, wrapping
// modulo 2^32: "4294967297" reads 1, "42A9" reads 42. A key that is present
// without digits reads 0, not the default.
qint32 PrivateProfile::readInt(const QString &section, const QString &key, qint32 defaultValue) const
{
    const qsizetype line = findKey(section, key);
    if (line < 0)
        return defaultValue;
    const QByteArrayView value = valueOf(line);
    qsizetype i = 0;
    while (i < value.size() && isBlank(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    quint32 number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        number = number * 10u + quint32(value[i] - '0');
    return qint32(negative ? 0u - number : number);
}

bool PrivateProfile::hasKey(const QString &section, const QString &key) const
{
    return findKey(section, key) >= 0;
}

void PrivateProfile::writeString(const QString &section, const QString &key, const QString &value)
{
    // Names are not checked: a key containing '=' or starting with ';' or '['
    // is written but cannot be found again. Callers use fixed names.
    const QByteArray sectionName = cleanName(section);
    const QByteArray keyName = cleanName(key);
    const QByteArray stored = withoutLineBreaks(value);
    // Quote exactly the values that a read would otherwise change.
    QByteArray encoded = stored;
    if (readValue(stored) != stored)
        encoded = '"' + stored + '"';

    const qsizetype header = findSection(sectionName);
    if (header < 0) {
        insertLine(m_lines.size(), '[' + sectionName + ']');
        insertLine(m_lines.size(), keyName + '=' + encoded);
        return;
    }
    const qsizetype line = findKey(header, keyName);
    if (line >= 0) {
        // A value that already reads as the one written keeps its line as it
        // is, hand-made spacing and quotes included.
        if (valueOf(line) != stored)
            setLine(line, nameOf(line).toByteArray() + '=' + encoded);
        return;
    }
    // After the section's last non-blank line, so that blank lines between
    // sections stay where they are.
    qsizetype at = header + 1;
    for (qsizetype i = sectionEnd(header) - 1; i > header; --i) {
        if (m_lines[i].kind != LineKind::Blank) {
            at = i + 1;
            break;
        }
    }
    insertLine(at, keyName + '=' + encoded);
}

void PrivateProfile::writeInt(const QString &section, const QString &key, qint32 value)
{
    writeString(section, key, QString::number(value));
}

void PrivateProfile::setLine(qsizetype index, const QByteArray &text)
{
    Line &line = m_lines[index];
    line.begin = m_text.size();
    line.size = text.size();
    line.kind = classify(text);
    m_text.append(text);
}

void PrivateProfile::insertLine(qsizetype index, const QByteArray &text)
{
    // The last line of a file may lack a line end; it needs one now.
    if (index > 0 && m_lines[index - 1].end == LineEnd::None)
        m_lines[index - 1].end = m_newLineEnd;
    Line line;
    line.end = m_newLineEnd;
    m_lines.insert(index, line);
    setLine(index, text);
}

QByteArray PrivateProfile::image() const
{
    QByteArray bytes;
    bytes.reserve(m_text.size() + 2 * m_lines.size());
    for (const Line &line : m_lines) {
        bytes.append(QByteArrayView(m_text.constData() + line.begin, line.size));
        bytes.append(lineEndBytes(line.end));
    }
    return bytes;
}

bool PrivateProfile::save()
{
    m_errorString.clear();
    const QFileInfo target(m_path); // follows symbolic links
    if (target.exists() && !target.isFile()) {
        m_errorString = QStringLiteral("%1 is not a regular file").arg(m_path);
        return false;
    }
    if (m_unreadable) {
        // Replacing it would throw away whatever the file holds.
        m_errorString = QStringLiteral("%1 could not be read, so it is not replaced").arg(m_path);
        return false;
    }

    // QSaveFile writes a temporary file beside the target (a symbolic link is
    // followed to it), syncs it to disk, renames it over the target and gives
    // it the old file's permissions.
    QSaveFile file(m_path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        m_errorString = file.errorString();
        return false;
    }
    const QByteArray bytes = image();
    if (file.write(bytes) != bytes.size()) {
        m_errorString = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_errorString = file.errorString();
        return false;
    }
    return true;
}

QString PrivateProfile::errorString() const
{
    return m_errorString;
}
