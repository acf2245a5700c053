// Feeds files to a fuzz target without the fuzzer: each file named on the
// command line and each file in a directory named there (not recursively,
// hidden files left out). Fails when there was nothing to feed; a failing
// input aborts.

#include "tests/fuzz/FuzzFile.h"
#include "tests/support/Files.h"

#include <QFileInfo>
#include <QRegularExpression>

int main(int argc, char *argv[])
{
    int fed = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        QStringList files{arg};
        if (QFileInfo(arg).isDir())
            files = QDir(arg)
                        .entryList(QDir::Files, QDir::Name)
                        .replaceInStrings(QRegularExpression("^"), arg + '/');
        for (const QString &file : std::as_const(files)) {
            std::printf("%s\n", qPrintable(file));
            std::fflush(stdout);
            const QByteArray bytes = readFile(file);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++fed;
        }
    }
    std::printf("%d inputs replayed\n", fed);
    return fed > 0 ? 0 : 1;
}
