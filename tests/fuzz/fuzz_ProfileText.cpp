// Any bytes as a .bvx file, read from memory: the reader keeps them exactly,
// and writes and reads again consistently.

#include "config/PrivateProfile.h"
#include "tests/fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString file = QStringLiteral("profile.bvx");
    PrivateProfile profile(file, input);
    FUZZ_CHECK(profile.readable() && profile.path() == file);
    FUZZ_CHECK(profile.image() == input);

    // Every key of the input under the section before it (up to 8), asked
    // for; a value read and written back changes nothing (text that is not
    // UTF-8 reads as U+FFFD and is not written back).
    QList<std::pair<QString, QString>> names;
    QString current;
    for (const QByteArray &line : input.split('\n')) {
        const QString name = QString::fromUtf8(line).section(u'=', 0, 0).trimmed();
        if (name.startsWith(u'['))
            current = name.mid(1).section(u']', 0, 0);
        else if (names.size() < 8)
            names.append({current, name});
    }
    for (const auto &[section, key] : std::as_const(names)) {
        const QString value = profile.readString(section, key);
        (void)profile.readInt(section, key);
        if (profile.hasKey(section, key) && !value.contains(QChar::ReplacementCharacter))
            profile.writeString(section, key, value);
    }
    FUZZ_CHECK(profile.image() == input);

    // Values made of the input, line breaks and all, in a section of our own.
    const QString own = QStringLiteral("Fuzz Section"), text = QString::fromUtf8(input.right(300));
    const QString expected = QString(text).remove(u'\r').remove(u'\n');
    profile.writeString(own, QStringLiteral("Text"), text);
    FUZZ_CHECK(profile.readString(own, QStringLiteral("Text")) == expected);
    qint32 number = 0;
    for (qsizetype i = 0; i < qMin<qsizetype>(4, input.size()); ++i)
        number = qint32(quint32(number) << 8 | quint8(input[i]));
    profile.writeInt(own, QStringLiteral("Number"), number);

    // What would be saved reads back the same, with the same values.
    const PrivateProfile again(file, profile.image());
    FUZZ_CHECK(again.image() == profile.image());
    FUZZ_CHECK(again.readString(own, QStringLiteral("Text")) == expected);
    FUZZ_CHECK(again.readInt(own, QStringLiteral("Number")) == number);
    for (const auto &[section, key] : std::as_const(names))
        FUZZ_CHECK(again.readString(section, key, "-") == profile.readString(section, key, "-"));
    return 0;
}
