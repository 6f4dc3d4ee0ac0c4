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
#include <utility>
#include <vector>

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
    if (info.TrimThreshold != 0.0)
        o.insert(QStringLiteral("threshold"), info.TrimThreshold);
    if (info.hasBounds()) {
        o.insert(QStringLiteral("from"), static_cast<double>(info.AudibleFromMs));
        o.insert(QStringLiteral("to"), static_cast<double>(info.AudibleToMs));
        if (info.SilentThroughout)
            o.insert(QStringLiteral("silent"), true);
    }
    return o;
}

bool infoOf(const QJsonObject& o, LoudnessInfo* info) {
    const QJsonValue lufs = o.value(QStringLiteral("lufs"));
    const QJsonValue peak = o.value(QStringLiteral("peak"));
    const QString source = o.value(QStringLiteral("source")).toString();
    // null is the silence written by save(); a number must be a finite one.
    for (const QJsonValue& v : {lufs, peak}) {
        if (v.isNull())
            continue;
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return false;
    }
    if (source != QLatin1String("replaygain") && source != QLatin1String("measured"))
        return false;
    info->Integrated = numberOf(lufs);
    info->TruePeak = numberOf(peak);
    info->From = source == QLatin1String("replaygain") ? LoudnessInfo::Source::ReplayGain
                                                       : LoudnessInfo::Source::Measured;
    // Bounds are optional: an entry written before they were found, or with bounds that make no
    // sense, holds its loudness and counts as not measured for trimming.
    const QJsonValue from = o.value(QStringLiteral("from"));
    const QJsonValue to = o.value(QStringLiteral("to"));
    const QJsonValue threshold = o.value(QStringLiteral("threshold"));
    if (threshold.isDouble() && std::isfinite(threshold.toDouble()))
        info->TrimThreshold = threshold.toDouble();
    if (from.isDouble() && to.isDouble() && from.toDouble() >= 0 &&
        to.toDouble() > from.toDouble() && to.toDouble() < 1e12) {
        info->AudibleFromMs = static_cast<std::int64_t>(from.toDouble());
        info->AudibleToMs = static_cast<std::int64_t>(to.toDouble());
        info->SilentThroughout = o.value(QStringLiteral("silent")).toBool(false);
    }
    // A value no song can have (a damaged or edited file) is no measurement: measured again.
    return plausibleLoudness(*info);
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

std::optional<LoudnessInfo> LoudnessCache::findPath(const QString& path) const {
    const auto it = songs_.constFind(path);
    if (it == songs_.cend())
        return std::nullopt;
    return it->info;
}

void LoudnessCache::insert(const QString& path, const FileStamp& stamp, const LoudnessInfo& info) {
    songs_.insert(path, Entry{stamp, info});
}

void LoudnessCache::dropStale(const QString& path, const FileStamp& stamp) {
    const auto it = songs_.find(path);
    if (it != songs_.end() && !(it->stamp == stamp))
        songs_.erase(it);
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
        options_.measure = [this](const QString& file, const std::atomic<bool>& stop) {
            return measureSongLoudness(file, &stop, settings().TrimThreshold);
        };
    if (!options_.bounds)
        options_.bounds = [this](const QString& file, const std::atomic<bool>& stop) {
            return measureSongLoudness(file, &stop, settings().TrimThreshold);
        };
    if (!options_.stat)
        options_.stat = stampOf;
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
        ++wish_;
    }
    wake_.notify_all();
}

std::optional<LoudnessInfo> LoudnessScanner::lookup(const QString& file) const {
    const std::optional<FileStamp> stamp = file.isEmpty() ? std::nullopt : options_.stat(file);
    if (!stamp)
        return std::nullopt;
    std::lock_guard<std::mutex> g(mutex_);
    return cache_.find(file, *stamp);
}

double LoudnessScanner::gainFor(const QString& file) const {
    LoudnessSettings s;
    std::optional<LoudnessInfo> info;
    {
        std::lock_guard<std::mutex> g(mutex_);
        s = settings_;
        if (!s.Enabled)
            return 0.0;
        info = cache_.findPath(file);
    }
    return loudnessGainDb(info, s);
}

std::optional<AudibleBounds> LoudnessScanner::trimFor(const QString& file) const {
    std::lock_guard<std::mutex> g(mutex_);
    if (!settings_.TrimSilence)
        return std::nullopt;
    const std::optional<LoudnessInfo> info = cache_.findPath(file);
    // Bounds found with another threshold wait for the scanner's next look at the song.
    if (!info || !info->hasBounds() || info->TrimThreshold != settings_.TrimThreshold)
        return std::nullopt;
    return AudibleBounds{info->AudibleFromMs, info->AudibleToMs, info->SilentThroughout};
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

bool LoudnessScanner::wantedLocked(const QString& file, const FileStamp& stamp) const {
    if (failed_.contains(stampKey(file, stamp)))
        return false;
    const std::optional<LoudnessInfo> known = cache_.find(file, stamp);
    if (!known)
        return true;
    // Trimming wants the bounds for the threshold in force.
    return settings_.TrimSilence && known->TrimThreshold != settings_.TrimThreshold;
}

QString LoudnessScanner::nextJob(FileStamp* stamp) {
    for (;;) {
        QString next;
        QStringList list;
        int pos = 0;
        quint64 wish = 0;
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (stopping_)
                return {};
            next = next_;
            list = list_; // shared, not copied
            pos = listPos_;
            wish = wish_;
        }
        enum class Look { Known, Wanted, WishChanged };
        // Stats the file without the mutex, then takes it to compare with the cache. `index`: the
        // file's place in the list (-1: the queued song).
        auto look = [&](const QString& file, int index) {
            const std::optional<FileStamp> s = file.isEmpty() ? std::nullopt : options_.stat(file);
            std::lock_guard<std::mutex> g(mutex_);
            if (wish_ != wish || stopping_)
                return Look::WishChanged;
            if (s) {
                cache_.dropStale(file, *s); // the deck's look-up by path no longer finds it
                if (wantedLocked(file, *s)) {
                    *stamp = *s;
                    return Look::Wanted; // listPos_ moves on once it is known
                }
            }
            if (index >= 0)
                listPos_ = index + 1;
            return Look::Known;
        };
        Look found = look(next, -1);
        if (found == Look::Wanted)
            return next;
        for (int i = pos; found == Look::Known && i < list.size(); ++i) {
            found = look(list.at(i), i);
            if (found == Look::Wanted)
                return list.at(i);
        }
        if (found == Look::WishChanged)
            continue; // the new queued song first
        std::lock_guard<std::mutex> g(mutex_);
        if (wish_ == wish)
            listPos_ = 0; // the next look walks the list again for songs changed meanwhile
        return {};
    }
}

int LoudnessScanner::pending() const {
    QStringList all;
    {
        std::lock_guard<std::mutex> g(mutex_);
        all = list_;
        all.prepend(next_);
    }
    QSet<QString> seen;
    std::vector<std::pair<QString, FileStamp>> stamped;
    for (const QString& file : all) {
        if (file.isEmpty() || seen.contains(file))
            continue;
        seen.insert(file);
        if (const std::optional<FileStamp> s = options_.stat(file))
            stamped.emplace_back(file, *s);
    }
    std::lock_guard<std::mutex> g(mutex_);
    int n = 0;
    for (const auto& [file, stamp] : stamped)
        n += wantedLocked(file, stamp) ? 1 : 0;
    return n;
}

bool LoudnessScanner::scanOne() {
    FileStamp stamp;
    const QString file = nextJob(&stamp);
    if (file.isEmpty()) {
        // Nothing more to measure: what this pass found goes to disk now.
        bool unsaved = false;
        {
            std::lock_guard<std::mutex> g(mutex_);
            unsaved = unsaved_ > 0 && !stopping_;
        }
        if (unsaved)
            (void)save();
        return false;
    }
    std::optional<LoudnessInfo> info = readReplayGain(file);
    const LoudnessSettings now = settings();
    const bool trim = now.TrimSilence;
    const double threshold = now.TrimThreshold;
    if (info) {
        ++tagged_;
        // The tag tells the loudness, not where the music is: that takes a decode.
        if (trim) {
            const std::optional<LoudnessInfo> bounds = options_.bounds(file, stop_);
            if (stop_)
                return false;
            if (bounds && bounds->hasBounds()) {
                info->AudibleFromMs = bounds->AudibleFromMs;
                info->AudibleToMs = bounds->AudibleToMs;
                info->TrimThreshold = bounds->TrimThreshold;
                info->SilentThroughout = bounds->SilentThroughout;
            }
        }
    } else {
        info = options_.measure(file, stop_);
        if (stop_)
            return false;
        if (info)
            ++measured_;
    }
    // Tried for this threshold even when no bounds came of it: not tried again in a loop.
    if (info && trim && !info->hasBounds())
        info->TrimThreshold = threshold;
    if (info && info->SilentThroughout)
        qInfo("Silent throughout, played as it is: %s", qPrintable(file));
    bool saveNow = false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (info) {
            cache_.insert(file, stamp, *info);
            ++unsaved_;
        } else {
            failed_.insert(stampKey(file, stamp));
        }
        saveNow = unsaved_ >= options_.saveEvery;
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
            wake_.wait(g, [&] { return stopping_ || walked_ != wish_; });
            if (stopping_)
                return;
            walked_ = wish_;
        }
        while (scanOne()) {
        }
    }
}

} // namespace corvalin
