#pragma once

#include <QByteArray>
#include <QString>

namespace corvalin {

// Turning the bytes of a fetched page into text. Pure functions; any thread.

// The charset parameter of a Content-Type header value ("text/html; charset=ISO-8859-1"), without
// quotes; empty when there is none.
QByteArray charsetOfContentType(const QByteArray& contentType);

// The charset a page declares in its head: <meta charset=...> or
// <meta http-equiv="Content-Type" content="...; charset=...">, looked for in the first
// kMetaScanBytes bytes outside comments; empty when there is none.
QByteArray charsetOfMeta(const QByteArray& body);
inline constexpr qsizetype kMetaScanBytes = 4096;

// The encoding named by an XML declaration at the start of the body, blanks before it passed over
// (<?xml version="1.0" encoding="ISO-8859-1"?>), without quotes; empty when there is none.
QByteArray charsetOfXmlDeclaration(const QByteArray& body);

// The encoding a page is read in: a byte order mark first, then the charset of the Content-Type
// header, then the encoding of an XML declaration (a feed), then the page's meta tag; a name the
// decoder does not know is passed over. Without one, "UTF-8" when the bytes are valid UTF-8, else
// "windows-1252" (what pages without a charset were written in). ASCII and Latin-1 labels give
// "windows-1252", as browsers read them.
QByteArray pageEncoding(const QByteArray& body, const QByteArray& contentType);

// The page's text in the encoding above, without a byte order mark. An incomplete character at
// the very end (a page cut at the size limit) is dropped; a lone surrogate becomes U+FFFD.
QString decodePage(const QByteArray& body, const QByteArray& contentType);

} // namespace corvalin
