#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Fuzz targets read their input from a real file, as the program does: the
// input is written to a file in a directory of the process's own.
namespace FuzzFile {

// A fresh path in the process's scratch directory.
QString path(const char *name);

// Writes the input to `path`, replacing what was there; aborts on failure so
// that a full disk is not mistaken for a passed input.
void put(const QString &path, const uint8_t *data, size_t size);

QByteArray contents(const QString &path);

} // namespace FuzzFile

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// A property of the code under test that an input broke: reported like a
// crash, so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            FuzzFile::fail(#condition, __FILE__, __LINE__);                                                  \
    } while (false)

namespace FuzzFile {
[[noreturn]] void fail(const char *what, const char *file, int line);
} // namespace FuzzFile
