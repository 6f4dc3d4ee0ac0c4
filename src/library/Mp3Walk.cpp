#include "library/Mp3Walk.h"

#include "platform/FileSystem.h"

#include <QSet>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace corvalin {

namespace {

bool endsWithMp3(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length < 4)
        return false;
    const char* e = name + length - 4;
    return e[0] == '.' && (e[1] | 0x20) == 'm' && (e[2] | 0x20) == 'p' && e[3] == '3';
}

QByteArray joined(const QByteArray& folder, const char* name) {
    QByteArray path = folder;
    if (!path.endsWith('/'))
        path += '/';
    path += name;
    return path;
}

// A folder of a whole disk may hold many thousands of names: the walk asks whether to go on
// after this many.
constexpr int kNamesBetweenChecks = 256;

} // namespace

TMp3Walk WalkMp3Files(const QString& folder,
                      const std::function<bool(const QStringList& files)>& found,
                      const std::function<bool()>& keepGoing) {
    TMp3Walk walk;
    QByteArray root = nativeFileName(folder);
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    if (root.isEmpty())
        return walk;
    const auto goOn = [&] { return !keepGoing || keepGoing(); };

    // Every folder is walked once, whatever links lead to it again: a link to a folder it is
    // inside would otherwise never end.
    QSet<std::pair<dev_t, ino_t>> walked;
    std::vector<QByteArray> pending{root};
    std::vector<QByteArray> files;
    std::vector<QByteArray> subfolders;
    QStringList names;
    while (!pending.empty()) {
        if (!goOn())
            return walk;
        const QByteArray path = std::move(pending.back());
        pending.pop_back();

        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            ++walk.unreadableFolders;
            continue;
        }
        struct stat self {};
        if (::fstat(fd, &self) != 0) {
            ::close(fd);
            ++walk.unreadableFolders;
            continue;
        }
        if (walked.contains({self.st_dev, self.st_ino})) {
            ::close(fd);
            ++walk.repeatedFolders;
            continue;
        }
        walked.insert({self.st_dev, self.st_ino});
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            ++walk.unreadableFolders;
            continue;
        }
        files.clear();
        subfolders.clear();
        int read = 0;
        while (const dirent* entry = ::readdir(dir)) {
            if (++read % kNamesBetweenChecks == 0 && !goOn()) {
                ::closedir(dir);
                return walk;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            bool isFile = entry->d_type == DT_REG;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                // A link counts as what it leads to; a broken one as nothing.
                struct stat target {};
                if (::fstatat(fd, name, &target, 0) == 0) {
                    isFile = S_ISREG(target.st_mode);
                    isFolder = S_ISDIR(target.st_mode);
                }
            }
            if (isFile && endsWithMp3(name))
                files.push_back(joined(path, name));
            else if (isFolder)
                subfolders.push_back(joined(path, name));
        }
        ::closedir(dir);

        // The system lists a folder in no particular order: sorted, a folder adds the same way
        // every time.
        std::sort(files.begin(), files.end());
        std::sort(subfolders.begin(), subfolders.end());
        // Depth first: the first subfolder is walked next.
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
            pending.push_back(std::move(*it));
        if (files.empty())
            continue;
        names.clear();
        for (const QByteArray& file : files)
            names.append(fileNameFromNative(file));
        if (!found(names))
            return walk;
    }
    return walk;
}

TMp3Walk CollectMp3Files(const QString& folder) {
    QStringList files;
    TMp3Walk walk = WalkMp3Files(folder, [&](const QStringList& found) {
        files += found;
        return true;
    });
    walk.files = std::move(files);
    return walk;
}

} // namespace corvalin
