#include "core/symmetry.hpp"
