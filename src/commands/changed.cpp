#include "commands/changed.hpp"
