#include "library/PlayList.h"

#include "core/Helpers.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalin {

const QString& TPlayListRow::cell(int column) const {
    switch (column) {
    case plcPlayed:
        return Played;
    case plcOrder:
        return Order;
    case plcRandom:
        return Random;
    default:
        return FileName;
    }
}

QString& TPlayListRow::cell(int column) {
    return const_cast<QString&>(std::as_const(*this).cell(column));
}

void TPlayListTable::setCell(int index, int column, const QString& text) {
    rows_.at(static_cast<std::size_t>(index)).cell(column) = text;
}

void TPlayListTable::appendRow(TPlayListRow row) {
    rows_.push_back(std::move(row));
}

void TPlayListTable::removeRow(int index) {
    rows_.erase(rows_.begin() + index);
    if (current_ == index)
        current_ = -1;
    else if (current_ > index)
        --current_;
}

void TPlayListTable::clear() {
    rows_.clear();
    current_ = -1;
}

void TPlayListTable::setCurrentRow(int index) {
    current_ = index >= 0 && index < rowCount() ? index : -1;
}

namespace {

// How one cell sorts: its kind first (numbers, dates, text), then its value within the kind.
struct SortKey {
    enum Kind : int { Number, Date, Text };
    Kind kind = Text;
    double number = 0;
    qint64 date = 0;
    int text = -1; // index into the collation keys
};

std::optional<double> readNumber(const QString& s) {
    // Fast path for the plain digit keys every list is full of.
    const qsizetype n = s.size();
    if (n > 0 && n <= 15) {
        qint64 value = 0;
        qsizetype i = 0;
        for (; i < n; ++i) {
            const char16_t c = s.at(i).unicode();
            if (c < u'0' || c > u'9')
                break;
            value = value * 10 + (c - u'0');
        }
        if (i == n)
            return static_cast<double>(value);
    }
    if (n == 0 || n > 64)
        return std::nullopt;
    bool ok = false;
    const double value = s.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint64> readDate(const QString& s, const QLocale& locale) {
    // Dates here start with a digit and are short; paths and words are rejected at once.
    const qsizetype n = s.size();
    if (n < 6 || n > 40 || !s.at(0).isDigit())
        return std::nullopt;
    QDateTime when = QDateTime::fromString(s, Qt::ISODate);
    if (!when.isValid()) {
        QDate day = locale.toDate(s, QLocale::ShortFormat);
        if (!day.isValid())
            day = QDate::fromString(s, Qt::ISODate);
        if (day.isValid())
            when = day.startOfDay(Qt::UTC);
    }
    if (!when.isValid())
        return std::nullopt;
    return when.toMSecsSinceEpoch();
}

} // namespace

std::vector<int> TPlayListTable::sortedOrder(int column) const {
    const int count = rowCount();
    std::vector<int> order(static_cast<std::size_t>(count));

    // Common case: every cell a number (the order and random keys). Sorting value and index
    // pairs keeps the data in cache; the index breaks ties, so the sort is stable.
    std::vector<std::pair<double, int>> numbers;
    numbers.reserve(order.size());
    for (int i = 0; i < count; ++i) {
        const auto number = readNumber(row(i).cell(column));
        if (!number)
            break;
        numbers.emplace_back(*number, i);
    }
    if (numbers.size() == order.size()) {
        // A list saved in its stored order is sorted already.
        if (!std::is_sorted(numbers.begin(), numbers.end()))
            std::sort(numbers.begin(), numbers.end());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = numbers[i].second;
        return order;
    }
    numbers = {};

    std::vector<SortKey> keys(order.size());
    std::vector<QCollatorSortKey> texts;
    const QLocale locale;
    std::optional<QCollator> collator;
    for (int i = 0; i < count; ++i) {
        const QString& s = row(i).cell(column);
        SortKey& key = keys[static_cast<std::size_t>(i)];
        if (const auto number = readNumber(s)) {
            key.kind = SortKey::Number;
            key.number = *number;
        } else if (const auto date = readDate(s, locale)) {
            key.kind = SortKey::Date;
            key.date = *date;
        } else {
            if (!collator) {
                collator.emplace(locale);
                collator->setCaseSensitivity(Qt::CaseSensitive);
            }
            key.text = static_cast<int>(texts.size());
            texts.push_back(collator->sortKey(s));
        }
    }
    for (int i = 0; i < count; ++i)
        order[static_cast<std::size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const SortKey& x = keys[static_cast<std::size_t>(a)];
        const SortKey& y = keys[static_cast<std::size_t>(b)];
        if (x.kind != y.kind)
            return x.kind < y.kind;
        switch (x.kind) {
        case SortKey::Number:
            return x.number < y.number;
        case SortKey::Date:
            return x.date < y.date;
        case SortKey::Text:
            break;
        }
        return texts[static_cast<std::size_t>(x.text)].compare(
                   texts[static_cast<std::size_t>(y.text)]) < 0;
    });
    return order;
}

void TPlayListTable::sortBy(int column) {
    const std::vector<int> order = sortedOrder(column);
    std::vector<TPlayListRow> sorted;
    sorted.reserve(rows_.size());
    int current = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == current_)
            current = static_cast<int>(i);
        sorted.push_back(std::move(rows_[static_cast<std::size_t>(order[i])]));
    }
    rows_ = std::move(sorted);
    current_ = current;
}

QString NewRandomKey(RandomSource& random) {
    const int a = random.below(90000);
    const int b = random.below(9000);
    const int c = random.below(900);
    return ZeroPad(a + b + c, 5);
}

QString OrderKey(int number) {
    return ZeroPad(number, 5);
}

TListLoadResult LoadList(const QString& path, TPlayListTable& table, RandomSource& random) {
    struct stat info {};
    if (path.isEmpty() || ::stat(nativeFileName(path).constData(), &info) != 0)
        return {TListLoadResult::Missing, {}};
    // A FIFO or a device in a list's place is refused at once, not waited on.
    QByteArray bytes;
    const FileResult read = readRegularFile(path, bytes);
    if (!read)
        return {TListLoadResult::ReadError, read.error};

    ParseList(bytes, table, random);
    return {};
}

namespace {

// A list line as text. Linux file names are bytes: a line that is not UTF-8 (a Latin-1 path from
// an older station) keeps each odd byte as an escape, so it is saved back unchanged and still
// opens the file it names.
QString lineText(const char* data, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return fileNameFromNative(QByteArray(data, size));
    return QString::fromLatin1(data, size);
}

} // namespace

void ParseList(const QByteArray& bytes, TPlayListTable& table, RandomSource& random) {
    table.clear();
    table.reserve(static_cast<int>(bytes.count('\n')) + 1);
    int counter = kFirstOrderKey;
    const qsizetype size = bytes.size();
    const char* data = bytes.constData();
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < size) {
        qsizetype end = start;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        if (end > start) {
            const QString line = lineText(data + start, end - start);
            // The flag is one character, which may be a surrogate pair.
            const qsizetype flagLength = line.at(0).isHighSurrogate() && line.size() > 1 ? 2 : 1;
            TPlayListRow row;
            row.Played = line.left(flagLength);
            row.FileName = line.mid(flagLength);
            row.Order = OrderKey(counter++);
            row.Random = NewRandomKey(random);
            table.appendRow(std::move(row));
        }
        start = end + 1;
    }
}

QString OverwriteQuestion(const QString& path) {
    return QStringLiteral("The file ") + path + QStringLiteral(" already exists. Overwrite it?");
}

namespace {

// Appends `text` as bytes when it is plain ASCII (as list lines nearly always are); false, with
// nothing appended, otherwise.
bool appendAscii(QByteArray& out, QStringView text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char* p = out.data() + at;
    for (const QChar c : text)
        *p++ = static_cast<char>(c.unicode());
    return true;
}

// The list file's bytes, handed to `flush` in pieces of about `piece` bytes (a large list is
// never held whole a second time) and once more at the end; the rows skipped.
int renderList(const TPlayListTable& table, qsizetype piece,
               const std::function<bool(const QByteArray&)>& flush) {
    int skipped = 0;
    QByteArray out;
    out.reserve(piece + 4096);
    QString line;
    for (const int i : table.sortedOrder(plcOrder)) {
        const TPlayListRow& row = table.row(i);
        if (row.FileName.contains(u'\n') || row.FileName.contains(u'\r')) {
            ++skipped;
            continue;
        }
        // The flag is exactly one character, or the path would shift on the next load; one that
        // would read back as a line end or a byte-order mark is written as "T" (played).
        const QStringView flag =
            QStringView(row.Played)
                .first(row.Played.size() > 1 && row.Played.at(0).isHighSurrogate()
                           ? 2
                           : qMin(row.Played.size(), 1));
        const QStringView shown =
            flag.isEmpty() || flag == u"\n" || flag == u"\r" || flag == u"\uFEFF" ? u"T" : flag;
        const qsizetype at = out.size();
        if (appendAscii(out, shown) && appendAscii(out, row.FileName)) {
            out.append("\r\n", 2);
        } else {
            // Escaped bytes go back as they were read; the line converts as a whole.
            out.truncate(at);
            line = shown.toString() + row.FileName + QStringLiteral("\r\n");
            out.append(nativeFileName(line));
        }
        if (out.size() >= piece) {
            if (!flush(out))
                return skipped;
            out.resize(0);
        }
    }
    flush(out);
    return skipped;
}

} // namespace

QByteArray ListFileBytes(const TPlayListTable& table, int* skippedRows) {
    QByteArray bytes;
    const int skipped = renderList(table, 1 << 20, [&](const QByteArray& piece) {
        bytes.append(piece);
        return true;
    });
    if (skippedRows)
        *skippedRows = skipped;
    return bytes;
}

TListSaveResult SaveList(const QString& path, const TPlayListTable& table,
                         bool overwriteWithoutAsking,
                         const std::function<bool(const QString& question)>& confirmOverwrite) {
    const QByteArray native = nativeFileName(path);
    struct stat info {};
    const bool exists = !path.isEmpty() && ::lstat(native.constData(), &info) == 0;
    if (exists && !overwriteWithoutAsking &&
        !(confirmOverwrite && confirmOverwrite(OverwriteQuestion(path))))
        return {TListSaveResult::Declined, {}, 0};

    if (table.isEmpty()) {
        if (exists && ::unlink(native.constData()) != 0)
            return {TListSaveResult::Failed, QString::fromLocal8Bit(std::strerror(errno)), 0};
        return {TListSaveResult::Removed, {}, 0};
    }

    TListSaveResult result;
    // Written in pieces as it is rendered: a large list is not built whole in memory first.
    const FileResult written = replaceFileAtomically(native, [&](int fd) {
        int error = 0;
        result.skippedRows = renderList(table, 256 << 10, [&](const QByteArray& piece) {
            const char* data = piece.constData();
            qsizetype left = piece.size();
            while (left > 0) {
                const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    error = errno;
                    return false;
                }
                data += n;
                left -= n;
            }
            return true;
        });
        return error;
    });
    if (!written) {
        result.status = TListSaveResult::Failed;
        result.error = written.error;
    }
    return result;
}

void LoadListView(const TPlayListTable& source, TPlayListTable& target, int currentListIndex) {
    target.clear();
    const int count = source.rowCount();
    const int first = std::max(0, count > kListViewRows ? currentListIndex - 2 : 0);
    const int last = std::min(first + kListViewRows - 1, count - 1);
    for (int i = first; i <= last; ++i)
        target.appendRow(source.row(i));
}

} // namespace corvalin

namespace corvalin {

namespace {

bool fileExists(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(nativeFileName(path).constData(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

} // namespace

QString ListStationFolder(const QString& listPath) {
    QString path = QFileInfo(listPath).absolutePath();
    if (path.section(QLatin1Char('/'), -1) == QLatin1String("Lists"))
        path.truncate(path.lastIndexOf(QLatin1Char('/')));
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

TListPathForms ResolveListEntries(TPlayListTable& table, const QString& stationFolder) {
    TListPathForms forms;
    const QString songs = stationFolder + kSongsFolderName + QLatin1Char('/');
    for (int i = 0; i < table.rowCount(); ++i) {
        const QString entry = table.cell(i, plcFileName);
        if (entry.isEmpty())
            continue;
        QString full = entry;
        if (!QDir::isAbsolutePath(entry)) {
            full = QDir::cleanPath(stationFolder + entry);
            forms.storedAs.insert(full, entry);
        }
        if (!fileExists(full)) {
            const QString name = full.mid(full.lastIndexOf(QLatin1Char('/')) + 1);
            const QString candidate = songs + name;
            if (!name.isEmpty() && fileExists(candidate)) {
                full = candidate;
                forms.storedAs.insert(full, kSongsFolderName + QLatin1Char('/') + name);
                ++forms.found;
            }
        }
        if (full != entry)
            table.setCell(i, plcFileName, full);
    }
    return forms;
}

TPlayListTable WithStoredPaths(const TPlayListTable& table, const TListPathForms& forms) {
    TPlayListTable stored = table;
    if (forms.storedAs.isEmpty())
        return stored;
    for (int i = 0; i < stored.rowCount(); ++i) {
        const auto it = forms.storedAs.constFind(stored.cell(i, plcFileName));
        if (it != forms.storedAs.constEnd())
            stored.setCell(i, plcFileName, it.value());
    }
    return stored;
}

} // namespace corvalin
