// A command-line file that reads a file format itself: the layer check must refuse it.
#include "files/peak_files.hpp"
