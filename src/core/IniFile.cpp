#include "core/IniFile.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

namespace corvalin {

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value is one line: a line break inside it would turn its rest into other entries.
QString oneLine(const QString& value) {
    const qsizetype end = value.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    return end < 0 ? value : value.left(end);
}

} // namespace

IniFile IniFile::load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    return parse(QString::fromUtf8(file.readAll()));
}

IniFile IniFile::parse(const QString& text) {
    IniFile ini;
    Section* current = nullptr;
    // A byte order mark would hide the first section line, and with it every entry under it.
    const qsizetype start = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    const QStringList lines = text.mid(start).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2);
            current = ini.findSection(name);
            if (!current) {
                ini.sections_.push_back(Section{name, {}});
                current = &ini.sections_.back();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue; // not an entry: nothing a reader could find
        current->entries.push_back(Entry{line.left(eq), line.mid(eq + 1)});
    }
    return ini;
}

QString IniFile::damageIn(const QByteArray& bytes) {
    if (bytes.contains('\0'))
        return QStringLiteral("it holds NUL bytes");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QStringLiteral("it is not UTF-8 text");
    const QStringList lines = text.mid(text.startsWith(QChar(0xFEFF)) ? 1 : 0).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool ignored =
            line.trimmed().isEmpty() || line.startsWith(u';') || line.startsWith(u'#');
        const bool section = line.startsWith(u'[') && line.endsWith(u']');
        if (!ignored && !section && !line.contains(u'='))
            return QStringLiteral("line %1 is neither a section nor a setting").arg(i + 1);
    }
    return {};
}

QString IniFile::text() const {
    QString out;
    for (const Section& s : sections_) {
        out += QLatin1Char('[') + s.name + QStringLiteral("]\r\n");
        for (const Entry& e : s.entries)
            out += e.key + QLatin1Char('=') + e.value + QStringLiteral("\r\n");
        out += QStringLiteral("\r\n");
    }
    return out;
}

FileResult IniFile::save(const QString& path) const {
    return writeFileAtomically(path, text().toUtf8());
}

IniFile::Section* IniFile::findSection(const QString& name) {
    for (Section& s : sections_)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::findSection(const QString& name) const {
    for (const Section& s : sections_)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    if (const Section* s = findSection(section))
        for (const Entry& e : s->entries)
            if (sameName(e.key, key))
                return e.value;
    return std::nullopt;
}

bool IniFile::hasSection(const QString& section) const {
    return findSection(section) != nullptr;
}

QStringList IniFile::sectionNames() const {
    QStringList names;
    for (const Section& s : sections_)
        names << s.name;
    return names;
}

const std::vector<IniFile::Entry>& IniFile::entries(const QString& section) const {
    static const std::vector<Entry> none;
    const Section* s = findSection(section);
    return s ? s->entries : none;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    return value(section, key).value_or(def);
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
    const auto v = value(section, key);
    if (!v)
        return def;
    bool ok = false;
    const int n = v->trimmed().toInt(&ok, 10);
    return ok ? n : def;
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

QTime IniFile::readTime(const QString& section, const QString& key, const QTime& def) const {
    const auto v = value(section, key);
    if (!v)
        return def;
    const QString text = v->trimmed();
    if (text.isEmpty())
        return def;
    const QLocale locale = QLocale::system();
    const QString formats[] = {QStringLiteral("HH:mm:ss"),
                               QStringLiteral("H:mm:ss"),
                               QStringLiteral("H:mm"),
                               QStringLiteral("h:mm:ss AP"),
                               QStringLiteral("h:mm AP"),
                               locale.timeFormat(QLocale::LongFormat),
                               locale.timeFormat(QLocale::ShortFormat)};
    for (const QString& f : formats) {
        const QTime t = QTime::fromString(text, f);
        if (t.isValid())
            return t;
    }
    return def;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    Section* s = findSection(section);
    if (!s) {
        sections_.push_back(Section{section, {}});
        s = &sections_.back();
    }
    for (Entry& e : s->entries) {
        if (sameName(e.key, key)) {
            e.value = oneLine(value);
            return;
        }
    }
    s->entries.push_back(Entry{key, oneLine(value)});
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::writeTime(const QString& section, const QString& key, const QTime& value) {
    writeString(section, key, value.toString(QStringLiteral("HH:mm:ss")));
}

void IniFile::eraseKey(const QString& section, const QString& key) {
    if (Section* s = findSection(section))
        std::erase_if(s->entries, [&](const Entry& e) { return sameName(e.key, key); });
}

void IniFile::eraseSection(const QString& section) {
    std::erase_if(sections_, [&](const Section& s) { return sameName(s.name, section); });
}

} // namespace corvalin
