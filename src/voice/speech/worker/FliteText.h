#pragma once

// The SSML that the program sends to the speech worker, cut into what Flite can speak: Flite reads
// plain text only, so pauses become silence we insert, marks are reported at the sample between
// two pieces, and emphasis is dropped (Flite has no way to stress a word it is given as text).
// Header-only and free of Qt, like the rest of the worker.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvalin::speechworker {

struct FliteWord {
    std::size_t offset = 0;     // byte offset of the word in its piece's text
    std::uint32_t position = 0; // 1-based code point index of the word in the SSML
};

struct FlitePiece {
    enum Kind { Text, Pause, Mark };
    Kind kind = Text;
    std::string text;             // Text: plain UTF-8, entities decoded
    std::vector<FliteWord> words; // Text: where each word starts
    std::uint32_t value = 0;      // Pause: milliseconds; Mark: the mark number
};

// Longest text handed to Flite at once: a longer sentence is cut at a comma or a blank, so that
// each piece is synthesised well within the program's patience with a silent worker.
inline constexpr std::size_t kFliteMaxPieceBytes = 160;

namespace flitedetail {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline std::uint32_t attributeNumber(std::string_view tag, std::string_view name) {
    const auto at = tag.find(name);
    if (at == std::string_view::npos) {
        return 0;
    }
    std::uint64_t v = 0;
    for (std::size_t i = at + name.size(); i < tag.size() && tag[i] >= '0' && tag[i] <= '9'; ++i) {
        v = std::min<std::uint64_t>(0xFFFFFFFFu, v * 10 + std::uint64_t(tag[i] - '0'));
    }
    return std::uint32_t(v);
}

// Cuts one run of text at sentence ends, and a long sentence at a comma or a blank.
inline void cutText(const std::string& text, const std::vector<FliteWord>& words,
                    std::vector<FlitePiece>& out) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.size();
        std::size_t sentence = std::string::npos;
        std::size_t comma = std::string::npos;
        std::size_t blank = std::string::npos;
        for (std::size_t i = begin; i < text.size(); ++i) {
            const char c = text[i];
            const bool followedByBlank = i + 1 == text.size() || isBlank(text[i + 1]);
            if ((c == '.' || c == '!' || c == '?' || c == ';') && followedByBlank) {
                sentence = i + 1;
                break;
            }
            if (i - begin >= kFliteMaxPieceBytes) {
                break;
            }
            if ((c == ',' || c == ':') && followedByBlank) {
                comma = i + 1;
            } else if (isBlank(c) && i > begin) {
                blank = i;
            }
        }
        if (sentence != std::string::npos && sentence - begin <= kFliteMaxPieceBytes) {
            end = sentence;
        } else if (text.size() - begin > kFliteMaxPieceBytes) {
            end = comma != std::string::npos   ? comma
                  : blank != std::string::npos ? blank
                                               : begin + kFliteMaxPieceBytes;
            // Never inside a UTF-8 sequence.
            while (end > begin + 1 && end < text.size() && (text[end] & 0xC0) == 0x80) {
                --end;
            }
        }
        FlitePiece piece;
        piece.text = text.substr(begin, end - begin);
        for (const FliteWord& w : words) {
            if (w.offset >= begin && w.offset < end) {
                piece.words.push_back({w.offset - begin, w.position});
            }
        }
        bool speakable = false;
        for (const char c : piece.text) {
            speakable = speakable || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || (c & 0x80) != 0;
        }
        if (speakable) {
            out.push_back(std::move(piece));
        }
        begin = end;
    }
}

} // namespace flitedetail

// Reads the program's SSML (<speak>, <break time="Nms"/>, <mark name="N"/>, <emphasis>, the five
// XML entities); any other element is skipped. Text pieces hold only speakable text.
inline std::vector<FlitePiece> flitepieces(std::string_view ssml) {
    std::vector<FlitePiece> out;
    std::string text;
    std::vector<FliteWord> words;
    bool inWord = false;
    std::uint32_t codePoint = 0; // code points of the SSML before `i`
    auto flush = [&] {
        flitedetail::cutText(text, words, out);
        text.clear();
        words.clear();
        inWord = false;
    };
    auto addChar = [&](std::string_view bytes, std::uint32_t position) {
        const bool blank = bytes.size() == 1 && flitedetail::isBlank(bytes[0]);
        if (!blank && !inWord) {
            words.push_back({text.size(), position});
        }
        inWord = !blank;
        text.append(bytes);
    };
    std::size_t i = 0;
    while (i < ssml.size()) {
        const char c = ssml[i];
        if (c == '<') {
            const std::size_t close = ssml.find('>', i);
            const std::size_t end = close == std::string_view::npos ? ssml.size() : close + 1;
            const std::string_view tag = ssml.substr(i, end - i);
            if (tag.rfind("<break", 0) == 0) {
                flush();
                out.push_back(
                    {FlitePiece::Pause, {}, {}, flitedetail::attributeNumber(tag, "time=\"")});
            } else if (tag.rfind("<mark", 0) == 0) {
                flush();
                out.push_back(
                    {FlitePiece::Mark, {}, {}, flitedetail::attributeNumber(tag, "name=\"")});
            }
            codePoint += std::uint32_t(end - i); // markup is ASCII
            i = end;
            continue;
        }
        if (c == '&') {
            static constexpr std::pair<std::string_view, char> entities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool decoded = false;
            for (const auto& [name, ch] : entities) {
                if (ssml.substr(i, name.size()) == name) {
                    addChar(std::string_view(&ch, 1), codePoint + 1);
                    codePoint += std::uint32_t(name.size());
                    i += name.size();
                    decoded = true;
                    break;
                }
            }
            if (decoded) {
                continue;
            }
        }
        std::size_t len = 1;
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0xF0) {
            len = 4;
        } else if (b >= 0xE0) {
            len = 3;
        } else if (b >= 0xC0) {
            len = 2;
        }
        len = std::min(len, ssml.size() - i);
        addChar(ssml.substr(i, len), codePoint + 1);
        codePoint += 1;
        i += len;
    }
    flush();
    return out;
}

} // namespace corvalin::speechworker
