#include "core/session.hpp"
