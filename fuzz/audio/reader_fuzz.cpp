// Any bytes as a song file: the reader must raise EAudioReadError or deliver whole frames with
// times that move forward, never crash.

#include "audio/DSAudioFileRead.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <vector>

using namespace corvalin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    try {
        TDSAudioFileReader r(path);
        std::vector<char> buffer(8192);
        const std::uint32_t block = r.Format().nBlockAlign;
        MediaTime last = -1;
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 64; ++i) {
                const std::uint32_t n = r.Read(buffer.data(), 8192);
                if (n == 0)
                    break;
                if (block == 0 || n % block != 0 || r.SampleEnd() < r.SampleStart() ||
                    r.SampleStart() < last)
                    std::abort();
                last = r.SampleEnd();
            }
            r.SetStart(size % 7 * 1000);
            r.SetLength(size % 3 * 50000);
            r.Seek(static_cast<MediaTime>(size) * 100);
            last = -1;
        }
    } catch (const EAudioReadError&) {
    }
    return 0;
}
