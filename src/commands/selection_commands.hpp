// What the measured-reflections and selection tabs work with: the measured list and its
// grid, "Auto Sel.", the pairs made and edited by hand, and the selection editor.
#pragma once

#include "selection/indexed_lists.hpp"
#include "selection/manual_selection.hpp"
#include "selection/measured.hpp"
#include "selection/selection.hpp"
