#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <iosfwd>
#include <sys/types.h>

// Readable failures for texts, in quotes; one definition for every test program.
void PrintTo(const QString& text, std::ostream* out);

namespace corvalin::test {

// A fresh folder for one test, removed with the object. path() ends in "/".
class TempFolder {
public:
    TempFolder();
    QString path() const;
    QString file(const QString& name) const { return path() + name; }

private:
    QTemporaryDir dir_;
};

// Runs a program (ffmpeg, sox, python3...) to make a fixture; fails the test when it fails.
// Returns true on success so a caller can ASSERT_TRUE on it.
[[nodiscard]] bool runTool(const QString& program, const QStringList& arguments,
                           int timeoutMs = 60000);

// The repository's top folder (for data/ and tests/fixtures/).
QString sourceDir();

QByteArray readWholeFile(const QString& path);

// Delivers this thread's events until `done` holds or `ms` have passed; whether it held.
bool waitFor(const std::function<bool()>& done, int ms = 10000);
void writeWholeFile(const QString& path, const QByteArray& bytes);

// The permission bits of a file or folder; fails the test when it cannot be read.
mode_t modeOf(const QString& path);

} // namespace corvalin::test
