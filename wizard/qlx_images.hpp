#pragma once

#include <QPixmap>

// the program's own images by resource id, drawn in code; null for an unknown id
QPixmap qlx_image(int id);
