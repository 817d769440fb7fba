// The grid settings as the user types them, and its capture into the model.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/dimension.h"

namespace tabulor {

// What the grid boxes of one variable hold.
struct GridSpecText {
  std::string lower;   // "Lower limit:"
  std::string upper;   // "Upper limit:"
  std::string points;  // "# of grid points:"
  std::string der;     // "Derivative w.r.t. this variable:"
  bool power = true;   // "Power" checked
  bool spaced = true;  // "Yes" under "Evenly spaced" checked
  // Not evenly spaced: the grid values typed one by one, as many as the
  // number of grid points says; empty keeps the values the model holds.
  std::vector<double> values;
};

// The one rule for a variable's number of grid points, wherever it is
// typed: rounded to a whole number with ties to even, at least
// kMinGridPoints and at most kMaxCount. A variable of a single term may
// also keep the one grid point (at its lower limit) that its series gives it.
// CaptureGridSpecs itself takes a single point for any variable: the window
// and the batch command check their entries by this rule first.
constexpr std::int32_t kMinGridPoints = 2;
enum class GridPointsCheck { Ok, TooFew, TooMany };
std::int32_t MinGridPoints(bool single_term);
// Checks `count` by the rule; on Ok `last_point` is the count less 1.
GridPointsCheck CheckGridPoints(double count, bool single_term, std::int32_t& last_point);

// The boxes as they stand right after a series file was shown: the series'
// limits, as many grid points as terms, derivative order "0".
std::array<GridSpecText, kSlots> DefaultGridSpec(const Dimension& model);

// Takes the grid settings of variables 0..LastVar into the model: the
// limits by the leading-number rule, LastPoint = (leading number - 1)
// rounded with ties to even, DerOrder from the whole text, kind and spacing;
// then TotalCount and BuildGrids. A limit beyond the range of a double, a
// derivative order that is not a number or is negative (a fraction is
// rounded), a number of grid points the rule above refuses, typed values
// that are not as many as the grid points or not finite, a grid beyond the
// memory limit, a single typed grid point away from the lower limit, and
// limits so far apart that the evenly spaced grid has no finite
// step or values are refused with a message naming the variable; a product
// of grid sizes beyond 32 bits is refused with a message giving that
// product. Then nothing in the model changes. Returns the message or "".
std::string CaptureGridSpecs(Dimension& model, const std::array<GridSpecText, kSlots>& spec);

}  // namespace tabulor
