#pragma once

#include <QByteArray>
#include <optional>

// Base64 with a replaceable alphabet: 64 symbols and the padding character. Until a
// table is set the coder uses the standard alphabet ("A-Za-z0-9+/" and '=').
//
// The program hands its own alphabet to the coder once at start-up, so the settings
// file and the web addresses kept in the program are not plain Base64.

inline constexpr int kNVBase64TableLength = 65;

// The program's private alphabet.
inline constexpr char kLanveyBase64Table[] =
    "Vq7Lm2ZxKc9TgRw0JbNf4HsYd8PuAo1EkXz5Gi3WhBtMyD6QrFjC_vSeUnOpIla.-";

// Makes `table` (65 distinct characters, none of them a line break) the alphabet of
// every later call. Returns false and keeps the current one when `table` is not such a
// table.
bool NVBase64_SetEncodeTable(const char* table);

QByteArray NVBase64_Encode(const QByteArray& data);
// Null when `text` is not Base64 of the current alphabet (a wrong length, a symbol
// outside it, padding in the middle).
std::optional<QByteArray> NVBase64_Decode(const QByteArray& text);

// The same with an explicit alphabet, for texts encoded before start-up set the table.
QByteArray NVBase64_Encode(const QByteArray& data, const char* table);
std::optional<QByteArray> NVBase64_Decode(const QByteArray& text, const char* table);
