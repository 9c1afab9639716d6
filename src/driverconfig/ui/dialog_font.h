// The editors' dialogs are designed in Tahoma.
#pragma once

#include <QFont>

namespace quellin::driverconfig {

// Tahoma at the design's size, drawn with a face Linux ships when Tahoma is missing.
QFont DialogFont();

}  // namespace quellin::driverconfig
