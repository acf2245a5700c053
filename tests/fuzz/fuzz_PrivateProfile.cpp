// Any bytes as a .bvx file: the reader keeps them exactly, finds every key
// it holds, and writes, saves and reads again consistently.

#include "config/PrivateProfile.h"
#include "tests/fuzz/FuzzFile.h"
#include "tests/support/Files.h"

#include <QList>
#include <QPair>

namespace {

QByteArray trimmed(const QByteArray &text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    return text.sliced(from, to - from);
}

// The keys of the file as an editor would see them, with the section they
// stand in: '[' starts a header whose name ends at the last ']', ';' a
// comment, any other line with '=' is a key. Names that do not survive the
// trip through QString cannot be asked for and are left out.
QList<QPair<QString, QString>> keysIn(QByteArray data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    const auto nameable = [](const QByteArray &name) { return QString::fromUtf8(name).toUtf8() == name; };
    QList<QPair<QString, QString>> keys;
    QByteArray section;
    bool inSection = false;
    for (const QByteArray &raw : data.replace("\r\n", "\n").replace('\r', '\n').split('\n')) {
        const QByteArray line = trimmed(raw);
        if (line.startsWith('[')) {
            const qsizetype close = line.lastIndexOf(']');
            section = trimmed(close > 0 ? line.sliced(1, close - 1) : line.sliced(1));
            inSection = nameable(section);
            if (inSection)
                keys.append({QString::fromUtf8(section), QString()});
        } else if (inSection && !line.startsWith(';') && line.contains('=') && keys.size() < 64) {
            const QByteArray key = trimmed(line.first(line.indexOf('=')));
            if (nameable(key))
                keys.append({QString::fromUtf8(section), QString::fromUtf8(key)});
        }
    }
    return keys; // a section alone stands with an empty key
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString file = FuzzFile::path("profile.bvx");
    FuzzFile::put(file, data, size);
    PrivateProfile profile(file);
    FUZZ_CHECK(profile.readable());
    FUZZ_CHECK(profile.image() == input);

    // Writing back what was read changes nothing, not even the spacing or
    // quotes around the value (text that is not UTF-8 reads as U+FFFD and
    // is not written back); a key added to any section is found there.
    const auto keys = keysIn(input);
    const QString added = QStringLiteral("FuzzAdded"), missing = QStringLiteral("<missing>");
    for (const auto &[section, key] : keys) {
        if (key.isEmpty() || !profile.hasKey(section, key)) // in a second section of the same name
            continue;
        const QString value = profile.readString(section, key, missing);
        (void)profile.readInt(section, key);
        if (!value.contains(QChar::ReplacementCharacter)) {
            profile.writeString(section, key, value);
            FUZZ_CHECK(profile.readString(section, key) == value);
        }
    }
    FUZZ_CHECK(profile.image() == input);
    for (const auto &[section, key] : keys) {
        profile.writeString(section, added, section);
        FUZZ_CHECK(profile.readString(section, added) == section);
    }

    // Values made of the input, line breaks and all, in a section of our own.
    const QString own = QStringLiteral("Fuzz Section"), text = QString::fromUtf8(input.right(300));
    const QString expected = QString(text).remove(u'\r').remove(u'\n');
    profile.writeString(own, QStringLiteral("Text"), text);
    FUZZ_CHECK(profile.readString(own, QStringLiteral("Text")) == expected);
    qint32 number = 0;
    for (qsizetype i = 0; i < qMin<qsizetype>(4, input.size()); ++i)
        number = qint32(quint32(number) << 8 | quint8(input[i]));
    profile.writeInt(own, QStringLiteral("Number"), number);

    // What is saved reads back as the same file, with the same values.
    FUZZ_CHECK(profile.save());
    const QByteArray saved = readFile(file);
    FUZZ_CHECK(saved == profile.image());
    const PrivateProfile again(file);
    FUZZ_CHECK(again.image() == saved);
    FUZZ_CHECK(again.readString(own, QStringLiteral("Text")) == expected);
    FUZZ_CHECK(again.readInt(own, QStringLiteral("Number")) == number);
    // Names equal but for case are one name: compare with memory.
    for (const auto &[section, key] : keys) {
        const QString name = key.isEmpty() ? added : key;
        FUZZ_CHECK(again.readString(section, name, missing) == profile.readString(section, name, missing));
    }
    return 0;
}
