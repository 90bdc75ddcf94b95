#pragma once

#include <QIcon>

// A command's icon: the desktop theme's icon when the theme has one, else the icon the
// program ships, so that no button is ever blank.
QIcon CommandIcon(int id);

// Icons shipped with the program, by file name under res/icons.
QIcon ShippedIcon(const char* fileName);
QPixmap ShippedPixmap(const char* fileName);
