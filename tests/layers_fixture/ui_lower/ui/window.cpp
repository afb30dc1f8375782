// A window that reaches past the commands into the viewer: the layer check must refuse it.
#include "viewer/diagram.hpp"
