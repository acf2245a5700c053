// Any bytes as a configuration, read from memory into plain values: the
// session count holds, and what was read, written into a fresh profile,
// reads back the same and refuses nothing.

#include "config/PrivateProfile.h"
#include "config/ProfileModel.h"
#include "tests/fuzz/FuzzFile.h"

using namespace ProfileSettings;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const PrivateProfile file(QStringLiteral("in.bvx"), input);
    // Many sessions only cost time: every read and write looks through the
    // lines. Counts beyond the limit still read (and are refused).
    const qint32 stored = file.readInt(QStringLiteral("Ombrix"), QStringLiteral("NumSessions"));
    if (stored > 4 && stored <= maxSessions)
        return 0;
    const Profile read = readProfile(file);
    FUZZ_CHECK(read.countValid == (read.numSessions >= 0 && read.numSessions <= maxSessions));
    FUZZ_CHECK(read.sessions.size() == (read.countValid ? read.numSessions : 0));
    if (!read.countValid)
        return 0;

    PrivateProfile copy(QStringLiteral("out.bvx"), {});
    const QString main = QStringLiteral("Ombrix"), last = QStringLiteral("Session%1").arg(read.numSessions);
    copy.writeInt(main, QStringLiteral("NumSessions"), read.numSessions);
    copy.writeInt(main, keyOf(Field::WindowState), read.windowState);
    copy.writeString(main, QStringLiteral("Password"), read.password);
    for (int i = 0; i < read.sessions.size(); ++i)
        writeSession(copy, i + 1, read.sessions[i]);
    copy.writeString(last, QStringLiteral("OnErrorRunApp"), read.onErrorRunApp);
    copy.writeInt(last, QStringLiteral("LogErrors"), read.logErrors);
    const Profile again = readProfile(copy);
    FUZZ_CHECK(again.sessions == read.sessions && again.refused.isEmpty());
    FUZZ_CHECK(again.windowState == read.windowState && again.password == read.password);
    FUZZ_CHECK(again.onErrorRunApp == read.onErrorRunApp && again.logErrors == read.logErrors);
    return 0;
}
