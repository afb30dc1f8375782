// Indexing for the command line and the windows: the search for the cells that index
// measured lines (see indexing/indexer.hpp), reached like every other domain command.
#pragma once

#include "indexing/indexer.hpp"
