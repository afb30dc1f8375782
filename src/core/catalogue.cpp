#include "core/catalogue.hpp"
