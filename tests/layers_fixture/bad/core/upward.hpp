// A core header that reaches up into refine: the layer check must refuse it.
#pragma once
#include "refine/model.hpp"
