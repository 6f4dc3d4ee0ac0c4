#include "audio/LoudnessScanner.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <limits>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalin {

namespace {

const QString kCacheFormat = QStringLiteral("CorvalinRadio loudness 1");

QString stampKey(const QString& path, const FileStamp& stamp) {
    return path + QLatin1Char('\n') + QString::number(stamp.Size) + QLatin1Char('\n') +
           QString::number(stamp.ModifiedNs);
}

// JSON has no infinity: the loudness of silence is written as null.
QJsonValue number(double v) {
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

double numberOf(const QJsonValue& v) {
    return v.isDouble() ? v.toDouble() : -std::numeric_limits<double>::infinity();
}

QJsonObject infoObject(const LoudnessInfo& info) {
    QJsonObject o;
    o.insert(QStringLiteral("lufs"), number(info.Integrated));
    o.insert(QStringLiteral("peak"), number(info.TruePeak));
    o.insert(QStringLiteral("source"), info.From == LoudnessInfo::Source::ReplayGain
                                           ? QStringLiteral("replaygain")
                                           : QStringLiteral("measured"));
    return o;
}

bool infoOf(const QJsonObject& o, LoudnessInfo* info) {
    const QJsonValue lufs = o.value(QStringLiteral("lufs"));
    const QJsonValue peak = o.value(QStringLiteral("peak"));
    const QString source = o.value(QStringLiteral("source")).toString();
    if ((!lufs.isDouble() && !lufs.isNull()) || (!peak.isDouble() && !peak.isNull()))
        return false;
    if (source != QLatin1String("replaygain") && source != QLatin1String("measured"))
        return false;
    info->Integrated = numberOf(lufs);
    info->TruePeak = numberOf(peak);
    info->From = source == QLatin1String("replaygain") ? LoudnessInfo::Source::ReplayGain
                                                       : LoudnessInfo::Source::Measured;
    return true;
}

// The scanner yields the processor to everything else: idle scheduling, lowest nice value.
void lowerThreadPriority() {
    sched_param param{};
    param.sched_priority = 0;
    (void)pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

} // namespace

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(nativeFileName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    FileStamp s;
    s.Size = static_cast<qint64>(st.st_size);
    s.ModifiedNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

QString LoudnessCache::defaultFile() {
    QString root = qEnvironmentVariable("XDG_CACHE_HOME");
    if (root.isEmpty() || !QDir::isAbsolutePath(root))
        root = QDir::homePath() + QStringLiteral("/.cache");
    return root + QStringLiteral("/CorvalinRadio/loudness.json");
}

bool LoudnessCache::load() {
    songs_.clear();
    keys_.clear();
    if (file_.isEmpty())
        return false;
    QByteArray data;
    if (!readRegularFile(file_, data))
        return false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != kCacheFormat)
        return false;
    for (const QJsonValue& v : root.value(QStringLiteral("songs")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString path = o.value(QStringLiteral("path")).toString();
        Entry e;
        e.stamp.Size = static_cast<qint64>(o.value(QStringLiteral("size")).toDouble(-1));
        e.stamp.ModifiedNs = o.value(QStringLiteral("mtime")).toString().toLongLong();
        if (path.isEmpty() || e.stamp.Size < 0 || !infoOf(o, &e.info))
            continue; // a damaged entry is measured again
        songs_.insert(path, e);
    }
    for (const QJsonValue& v : root.value(QStringLiteral("keys")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString key = o.value(QStringLiteral("key")).toString();
        LoudnessInfo info;
        if (!key.isEmpty() && infoOf(o, &info))
            keys_.insert(key, info);
    }
    return true;
}

bool LoudnessCache::save() const {
    if (file_.isEmpty())
        return false;
    QJsonArray songs;
    for (auto it = songs_.cbegin(); it != songs_.cend(); ++it) {
        QJsonObject o = infoObject(it->info);
        o.insert(QStringLiteral("path"), it.key());
        o.insert(QStringLiteral("size"), static_cast<double>(it->stamp.Size));
        // Nanoseconds do not fit a JSON number exactly.
        o.insert(QStringLiteral("mtime"), QString::number(it->stamp.ModifiedNs));
        songs.append(o);
    }
    QJsonArray keys;
    for (auto it = keys_.cbegin(); it != keys_.cend(); ++it) {
        QJsonObject o = infoObject(it.value());
        o.insert(QStringLiteral("key"), it.key());
        keys.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), kCacheFormat);
    root.insert(QStringLiteral("songs"), songs);
    root.insert(QStringLiteral("keys"), keys);
    const QString folder = QFileInfo(file_).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return false;
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    return writeFileAtomically(file_, QJsonDocument(root).toJson(QJsonDocument::Compact), 0600).ok;
}

std::optional<LoudnessInfo> LoudnessCache::find(const QString& path, const FileStamp& stamp) const {
    const auto it = songs_.constFind(path);
    if (it == songs_.cend() || !(it->stamp == stamp))
        return std::nullopt;
    return it->info;
}

void LoudnessCache::insert(const QString& path, const FileStamp& stamp, const LoudnessInfo& info) {
    songs_.insert(path, Entry{stamp, info});
}

std::optional<LoudnessInfo> LoudnessCache::findKey(const QString& key) const {
    const auto it = keys_.constFind(key);
    if (it == keys_.cend())
        return std::nullopt;
    return *it;
}

void LoudnessCache::insertKey(const QString& key, const LoudnessInfo& info) {
    keys_.insert(key, info);
}

LoudnessScanner::LoudnessScanner(Options options)
    : options_(std::move(options)), cache_(options_.cacheFile) {
    if (!options_.measure)
        options_.measure = [](const QString& file, const std::atomic<bool>& stop) {
            return measureSongLoudness(file, &stop);
        };
    // A missing or damaged cache starts empty and is written again as songs are measured.
    (void)cache_.load();
    if (options_.thread)
        thread_ = std::thread([this] { run(); });
}

LoudnessScanner::~LoudnessScanner() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        stopping_ = true;
    }
    stop_ = true;
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    (void)save();
}

void LoudnessScanner::setSettings(const LoudnessSettings& settings) {
    std::lock_guard<std::mutex> g(mutex_);
    settings_ = settings;
}

LoudnessSettings LoudnessScanner::settings() const {
    std::lock_guard<std::mutex> g(mutex_);
    return settings_;
}

void LoudnessScanner::setWanted(const QString& next, const QStringList& list) {
    {
        std::lock_guard<std::mutex> g(mutex_);
        next_ = next;
        list_ = list;
        listPos_ = 0; // songs changed since the last pass are found again
    }
    wake_.notify_all();
}

std::optional<LoudnessInfo> LoudnessScanner::lookup(const QString& file) const {
    const std::optional<FileStamp> stamp = stampOf(file);
    if (!stamp)
        return std::nullopt;
    std::lock_guard<std::mutex> g(mutex_);
    return cache_.find(file, *stamp);
}

double LoudnessScanner::gainFor(const QString& file) const {
    const LoudnessSettings s = settings();
    if (!s.Enabled)
        return 0.0;
    return loudnessGainDb(lookup(file), s);
}

std::optional<LoudnessInfo> LoudnessScanner::lookupKey(const QString& key) const {
    std::lock_guard<std::mutex> g(mutex_);
    return cache_.findKey(key);
}

void LoudnessScanner::storeKey(const QString& key, const LoudnessInfo& info) {
    std::lock_guard<std::mutex> g(mutex_);
    cache_.insertKey(key, info);
    ++unsaved_;
}

QString LoudnessScanner::nextJobLocked(FileStamp* stamp) {
    auto wanted = [&](const QString& file) {
        const std::optional<FileStamp> s = stampOf(file);
        if (!s || cache_.find(file, *s) || failed_.contains(stampKey(file, *s)))
            return false;
        *stamp = *s;
        return true;
    };
    if (!next_.isEmpty() && wanted(next_))
        return next_;
    while (listPos_ < list_.size()) {
        const QString file = list_.at(listPos_);
        if (wanted(file))
            return file; // listPos_ moves on once it is known
        ++listPos_;
    }
    listPos_ = 0; // the next look walks the list again for songs changed meanwhile
    return {};
}

int LoudnessScanner::pending() const {
    std::lock_guard<std::mutex> g(mutex_);
    int n = 0;
    QSet<QString> seen;
    QStringList all = list_;
    all.prepend(next_);
    for (const QString& file : all) {
        if (file.isEmpty() || seen.contains(file))
            continue;
        seen.insert(file);
        const std::optional<FileStamp> s = stampOf(file);
        if (s && !cache_.find(file, *s) && !failed_.contains(stampKey(file, *s)))
            ++n;
    }
    return n;
}

bool LoudnessScanner::scanOne() {
    FileStamp stamp;
    QString file;
    {
        std::lock_guard<std::mutex> g(mutex_);
        file = nextJobLocked(&stamp);
    }
    if (file.isEmpty())
        return false;
    std::optional<LoudnessInfo> info = readReplayGain(file);
    if (info) {
        ++tagged_;
    } else {
        info = options_.measure(file, stop_);
        if (stop_)
            return false;
        if (info)
            ++measured_;
    }
    bool saveNow = false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (info) {
            cache_.insert(file, stamp, *info);
            ++unsaved_;
        } else {
            failed_.insert(stampKey(file, stamp));
        }
        FileStamp ignored;
        const bool more = !nextJobLocked(&ignored).isEmpty();
        saveNow = unsaved_ > 0 && (!more || unsaved_ >= options_.saveEvery);
    }
    if (saveNow)
        (void)save();
    return true;
}

bool LoudnessScanner::save() {
    LoudnessCache copy;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (unsaved_ == 0)
            return true;
        copy = cache_;
        unsaved_ = 0;
    }
    // Written outside the lock: lookups go on while the disk works.
    if (copy.save())
        return true;
    std::lock_guard<std::mutex> g(mutex_);
    ++unsaved_;
    return false;
}

void LoudnessScanner::run() {
    lowerThreadPriority();
    for (;;) {
        {
            std::unique_lock<std::mutex> g(mutex_);
            FileStamp ignored;
            wake_.wait(g, [&] { return stopping_ || !nextJobLocked(&ignored).isEmpty(); });
            if (stopping_)
                return;
        }
        (void)scanOne();
    }
}

} // namespace corvalin
