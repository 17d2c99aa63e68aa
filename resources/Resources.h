// Where the built-in images live in the Qt resource system, by resource id.
#pragma once

#include "resources/ResourceIds.h"

#include <QIcon>
#include <QString>

// ":/icons/128.png" for the program icon, ":/bitmaps/130.bmp" and so on for
// the button bitmaps; an empty string for an id that names no image.
QString ResourcePath(int id);

// The program icon (resource 128) in all the sizes it is drawn in.
QIcon ProgramIcon();
