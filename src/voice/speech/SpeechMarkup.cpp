#include "voice/speech/SpeechMarkup.h"

#include <algorithm>

namespace corvalin {

namespace {

// One UTF-8 code point at `i`: its value and byte length. Malformed bytes give -1 and length 1.
std::pair<char32_t, int> decodeUtf8(const QByteArray& s, int i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        return {b0, 1};
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return {char32_t(-1), 1};
    }
    if (i + len > s.size()) {
        return {char32_t(-1), 1};
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            return {char32_t(-1), 1};
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {char32_t(-1), 1};
    }
    return {cp, len};
}

bool isSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0;
}

// Characters XML does not allow, and malformed input, are spoken as a blank.
bool isXmlChar(char32_t c) {
    if (c == char32_t(-1)) {
        return false;
    }
    if (c < 0x20) {
        return c == '\t' || c == '\n' || c == '\r';
    }
    return c != 0x7F && c != 0xFFFE && c != 0xFFFF;
}

bool isWordChar(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
}

// Decimal digits only (blanks around them allowed); saturates at `limit`.
bool parseNumber(QByteArray text, quint64 limit, quint64* out) {
    text = text.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    quint64 v = 0;
    for (const char ch : std::as_const(text)) {
        if (ch < '0' || ch > '9') {
            return false;
        }
        v = std::min<quint64>(limit, v * 10 + quint64(ch - '0'));
    }
    *out = v;
    return true;
}

class SsmlWriter {
public:
    explicit SsmlWriter(SpeechMarkup& m) : m_(m) {}

    // Markup (ASCII), attributed to tagged offset `at`.
    void markup(const char* text, int at) {
        for (const char* p = text; *p; ++p) {
            m_.ssml.append(*p);
            m_.taggedOffsets.push_back(at);
        }
    }
    void markup(const QByteArray& text, int at) { markup(text.constData(), at); }

    // One code point of text at tagged offset `at`.
    void text(char32_t c, int at, const QByteArray& tagged, int len) {
        if (!isXmlChar(c)) {
            c = ' ';
        }
        if (isSpace(c)) {
            closeEmphasis(at);
            wordStart_ = -1;
            markup(" ", at);
            return;
        }
        if (wordStart_ < 0) {
            wordStart_ = at;
        }
        if (pendingEmphasis_) {
            pendingEmphasis_ = false;
            inEmphasis_ = true;
            markup("<emphasis>", wordStart_);
        }
        lastText_ = c;
        breakSinceText_ = false;
        switch (c) {
        case '<':
            markup("&lt;", wordStart_);
            break;
        case '>':
            markup("&gt;", wordStart_);
            break;
        case '&':
            markup("&amp;", wordStart_);
            break;
        case '"':
            markup("&quot;", wordStart_);
            break;
        case '\'':
            markup("&apos;", wordStart_);
            break;
        default:
            m_.ssml.append(tagged.constData() + at, len);
            m_.taggedOffsets.push_back(wordStart_);
        }
    }

    void pause(quint64 ms, int at) {
        closeEmphasis(at);
        wordStart_ = -1;
        markup("<break time=\"" + QByteArray::number(ms) + "ms\"/>", at);
        breakSinceText_ = true;
    }

    void mark(quint64 number, int at) {
        closeEmphasis(at);
        wordStart_ = -1;
        // espeak-ng drops a mark that follows the end of a sentence directly; a break before it
        // (of no length) keeps it.
        if (!breakSinceText_ && lastText_ != 0 && !isWordChar(lastText_)) {
            pause(0, at);
        }
        markup("<mark name=\"" + QByteArray::number(number) + "\"/>", at);
    }

    void emphasis(int at) {
        closeEmphasis(at);
        wordStart_ = -1;
        pendingEmphasis_ = true;
    }

    void closeEmphasis(int at) {
        if (inEmphasis_) {
            inEmphasis_ = false;
            markup("</emphasis>", at);
        }
    }

private:
    SpeechMarkup& m_;
    int wordStart_ = -1;
    bool pendingEmphasis_ = false;
    bool inEmphasis_ = false;
    bool breakSinceText_ = false;
    char32_t lastText_ = 0;
};

} // namespace

int SpeechMarkup::taggedOffsetForPosition(int espeakPosition) const {
    if (taggedOffsets.empty()) {
        return 0;
    }
    const auto index =
        std::clamp<qint64>(qint64(espeakPosition) - 1, 0, qint64(taggedOffsets.size()) - 1);
    return taggedOffsets[std::size_t(index)];
}

SpeechMarkup taggedTextToSsml(const QByteArray& tagged) {
    SpeechMarkup m;
    m.taggedLength = int(tagged.size());
    m.ssml.reserve(tagged.size() + 64);
    m.taggedOffsets.reserve(std::size_t(tagged.size()) + 64);
    SsmlWriter out(m);
    out.markup("<speak>", 0);
    const int n = int(tagged.size());
    int i = 0;
    while (i < n) {
        if (tagged[i] == '\\') {
            const int close = int(tagged.indexOf('\\', i + 1));
            if (close < 0) {
                // An unclosed tag: the backslash is not spoken, the rest is text.
                out.text(' ', i, tagged, 1);
                ++i;
                continue;
            }
            const QByteArray body = tagged.mid(i + 1, close - i - 1);
            const int eq = int(body.indexOf('='));
            const QByteArray name = (eq < 0 ? body : body.left(eq)).trimmed().toLower();
            const QByteArray value = eq < 0 ? QByteArray() : body.mid(eq + 1);
            quint64 number = 0;
            if (name == "pau" && parseNumber(value, kMaxPauseMs, &number)) {
                out.pause(number, i);
            } else if (name == "mrk" && parseNumber(value, 0xFFFFFFFFu, &number)) {
                out.mark(number, i);
            } else if (name == "emp" && eq < 0) {
                out.emphasis(i);
            }
            i = close + 1;
            continue;
        }
        const auto [cp, len] = decodeUtf8(tagged, i);
        out.text(cp, i, tagged, len);
        i += len;
    }
    out.closeEmphasis(n);
    out.markup("</speak>", n);
    return m;
}

} // namespace corvalin
