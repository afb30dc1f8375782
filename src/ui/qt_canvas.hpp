// The painter canvas lives in draw/, shared with the command line's plot.
#pragma once

#include "draw/qt_canvas.hpp"
