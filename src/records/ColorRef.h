#pragma once

#include <QtGlobal>

// A colour as the database stores it: 0x00BBGGRR.
using ColorRef = quint32;

constexpr ColorRef MakeColorRef(quint8 red, quint8 green, quint8 blue)
{
    return ColorRef(red) | (ColorRef(green) << 8) | (ColorRef(blue) << 16);
}
constexpr quint8 ColorRefRed(ColorRef c)
{
    return quint8(c);
}
constexpr quint8 ColorRefGreen(ColorRef c)
{
    return quint8(c >> 8);
}
constexpr quint8 ColorRefBlue(ColorRef c)
{
    return quint8(c >> 16);
}
