// Any bytes as a .bvx file: the reader keeps them exactly, finds every key
// it holds, and writes, saves and reads again consistently.

#include "config/PrivateProfile.h"
#include "tests/fuzz/FuzzFile.h"

#include <QList>
#include <QPair>

namespace {

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// A name that survives the trip through QString, so that the reader can be
// asked for it by name.
bool nameable(QByteArrayView name)
{
    return QString::fromUtf8(name).toUtf8() == name;
}

struct Names
{
    QList<QString> sections;
    QList<QPair<QString, QString>> keys; // with the section they stand in
};

// The sections and keys of the file as an editor would see them: '[' starts
// a header whose name ends at the last ']', ';' a comment, and any other
// line with '=' is a key.
Names namesIn(QByteArrayView data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        data = data.sliced(3);
    Names names;
    QString section;
    bool inNameableSection = false;
    while (!data.isEmpty() && names.keys.size() + names.sections.size() < 64) {
        qsizetype end = 0;
        while (end < data.size() && data[end] != '\r' && data[end] != '\n')
            ++end;
        const QByteArrayView line = trimmed(data.first(end));
        data = data.sliced(end);
        if (data.startsWith("\r\n"))
            data = data.sliced(2);
        else if (!data.isEmpty())
            data = data.sliced(1);

        if (line.startsWith('[')) {
            QByteArrayView name = line.sliced(1);
            const qsizetype close = name.lastIndexOf(']');
            name = trimmed(close >= 0 ? name.first(close) : name);
            inNameableSection = nameable(name);
            if (inNameableSection) {
                section = QString::fromUtf8(name);
                names.sections.append(section);
            }
        } else if (!line.startsWith(';') && line.contains('=') && inNameableSection) {
            const QByteArrayView key = trimmed(line.first(line.indexOf('=')));
            if (nameable(key))
                names.keys.append({section, QString::fromUtf8(key)});
        }
    }
    return names;
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

    const Names names = namesIn(input);
    // Writing back what was read changes nothing, not even the spacing or
    // quotes around the value (text that is not UTF-8 reads as U+FFFD and
    // is not written back).
    for (const auto &[section, key] : names.keys) {
        if (!profile.hasKey(section, key))
            continue; // in a second section of the same name
        const QString value = profile.readString(section, key, QStringLiteral("<missing>"));
        (void)profile.readInt(section, key);
        if (value.contains(QChar::ReplacementCharacter))
            continue;
        profile.writeString(section, key, value);
        FUZZ_CHECK(profile.readString(section, key) == value);
    }
    FUZZ_CHECK(profile.image() == input);

    // A key added to any section is found there.
    for (const QString &section : names.sections) {
        profile.writeString(section, QStringLiteral("FuzzAdded"), section);
        FUZZ_CHECK(profile.readString(section, QStringLiteral("FuzzAdded")) == section);
    }

    // Values made of the input, line breaks and all, in a section of our own.
    const QString text = QString::fromUtf8(input.right(300));
    QString expected = text;
    expected.remove(u'\r').remove(u'\n');
    profile.writeString(QStringLiteral("Fuzz Section"), QStringLiteral("Text"), text);
    FUZZ_CHECK(profile.readString(QStringLiteral("Fuzz Section"), QStringLiteral("Text")) == expected);
    qint32 number = 0;
    for (qsizetype i = 0; i < qMin<qsizetype>(4, input.size()); ++i)
        number = qint32(quint32(number) << 8 | quint8(input[i]));
    profile.writeInt(QStringLiteral("Fuzz Section"), QStringLiteral("Number"), number);
    FUZZ_CHECK(profile.readInt(QStringLiteral("Fuzz Section"), QStringLiteral("Number")) == number);

    // What is saved reads back as the same file.
    FUZZ_CHECK(profile.save());
    const QByteArray saved = FuzzFile::contents(file);
    FUZZ_CHECK(saved == profile.image());
    const PrivateProfile again(file);
    FUZZ_CHECK(again.image() == saved);
    FUZZ_CHECK(again.readString(QStringLiteral("Fuzz Section"), QStringLiteral("Text")) == expected);
    FUZZ_CHECK(again.readInt(QStringLiteral("Fuzz Section"), QStringLiteral("Number")) == number);
    // Names equal but for case are one name: compare with memory, not with
    // the value last written.
    for (const QString &section : names.sections) {
        const QString added = QStringLiteral("FuzzAdded");
        FUZZ_CHECK(again.readString(section, added) == profile.readString(section, added));
    }
    for (const auto &[section, key] : names.keys)
        FUZZ_CHECK(again.readString(section, key, QStringLiteral("<missing>")) ==
                   profile.readString(section, key, QStringLiteral("<missing>")));
    return 0;
}
