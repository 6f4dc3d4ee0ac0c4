#pragma once

// Builders of ID3v2 tags as bytes, for the ID3 tests.

#include <QByteArray>
#include <QString>

namespace corvalin::test::id3 {

inline QByteArray bytes(const char* text) {
    return QByteArray(text);
}

inline QByteArray raw(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

inline QByteArray bigEndian(quint32 v, int count) {
    QByteArray out;
    for (int i = count - 1; i >= 0; --i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

inline QByteArray syncsafe(quint32 v) {
    return raw({int((v >> 21) & 0x7F), int((v >> 14) & 0x7F), int((v >> 7) & 0x7F), int(v & 0x7F)});
}

inline QByteArray frame22(const char* id, const QByteArray& body) {
    return bytes(id) + bigEndian(quint32(body.size()), 3) + body;
}

inline QByteArray frame23(const char* id, const QByteArray& body, int flags1 = 0, int flags2 = 0) {
    return bytes(id) + bigEndian(quint32(body.size()), 4) + raw({flags1, flags2}) + body;
}

inline QByteArray frame24(const char* id, const QByteArray& body, int flags1 = 0, int flags2 = 0) {
    return bytes(id) + syncsafe(quint32(body.size())) + raw({flags1, flags2}) + body;
}

// A text frame body in encoding 0.
inline QByteArray latin1(const char* text) {
    return QByteArray(1, '\0') + bytes(text);
}

// A whole tag: header, frames, padding. `declared` overrides the size in the header.
inline QByteArray tag(int version, const QByteArray& frames, int padding = 0, int flags = 0,
                      qint64 declared = -1) {
    const qint64 body = frames.size() + padding;
    return bytes("ID3") + raw({version, 0, flags}) +
           syncsafe(quint32(declared < 0 ? body : declared)) + frames + QByteArray(padding, '\0');
}

// Stand-in audio: bytes that no tag reader mistakes for a frame.
inline QByteArray audio(int size) {
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>(0xFF - (i * 7) % 200);
    return out;
}

} // namespace corvalin::test::id3
