#pragma once

#include <QIcon>

namespace eschf {

// The window's own small pictures, drawn rather than shipped so that they look the same on every
// system and stay sharp on high-resolution screens.
enum class IconPicture
{
    Search,   // a magnifier
    Sort,     // coloured lines, problems first
    Copy,     // two sheets
    Import,   // a database with an arrow into it
    Download, // an arrow down onto a tray
};

QIcon drawnIcon(IconPicture picture, int size);

} // namespace eschf
