// ombrix-benchconfig: times the configuration layer alone on a given file:
// reading it into plain values (what the start-up load and the logging
// service do before any window exists) and saving the same sessions back
// (the file image updated key by key, then replaced atomically). Prints one
// line per operation with the median and the slowest of the runs.

#include "config/PrivateProfile.h"
#include "config/ProfileModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int runs = 25;

struct Figures
{
    double medianMs;
    double worstMs;
};

template<typename F> Figures timeIt(F &&operation)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        operation();
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ombrix-benchconfig FILE.bvx\n");
        return 1;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const ProfileSettings::Profile profile = ProfileSettings::readProfile(source);
    if (!profile.readable || profile.sessions.isEmpty()) {
        std::fprintf(stderr, "ombrix-benchconfig: %s holds no sessions\n", argv[1]);
        return 1;
    }

    qsizetype sessions = 0;
    const Figures load = timeIt([&] { sessions = ProfileSettings::readProfile(source).sessions.size(); });

    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("saved.bvx"));
    QFile::copy(source, target);
    bool saved = true;
    const Figures save = timeIt([&] {
        PrivateProfile file(target);
        const QString main = QStringLiteral("Ombrix");
        file.writeInt(main, QStringLiteral("NumSessions"), qint32(profile.sessions.size()));
        file.writeInt(main, QStringLiteral("WindowState"), profile.windowState);
        file.writeString(main, QStringLiteral("Password"), profile.password);
        for (qsizetype i = 0; i < profile.sessions.size(); ++i)
            ProfileSettings::writeSession(file, int(i + 1), profile.sessions.at(i));
        saved = file.save() && saved;
    });
    if (!saved || ProfileSettings::readProfile(target).sessions != profile.sessions) {
        std::fprintf(stderr, "ombrix-benchconfig: the saved file does not read back the same\n");
        return 2;
    }
    std::printf("load %lld sessions  %6.2f ms median, %6.2f ms slowest of %d (target 20 ms)\n",
                static_cast<long long>(sessions), load.medianMs, load.worstMs, runs);
    std::printf("save %lld sessions  %6.2f ms median, %6.2f ms slowest of %d (target 20 ms)\n",
                static_cast<long long>(sessions), save.medianMs, save.worstMs, runs);
    return 0;
}
