#pragma once
// Places where the sibling tools read results over time: a node, or a point
// of the plane taken in the counted element that contains it. Used by
// kova2csv and the Python module alike, so both give the same numbers.
//
// At a point, head and flux are interpolated with the containing element's
// shape functions (linear on a triangle, bilinear on a quadrilateral through
// the inverse isoparametric map) and the velocity is the element's own. At a
// node, head and flux are the node's and the velocity is the element
// velocities averaged to the node as the TECPLOT point data average them.
#include <cstdint>
#include <string_view>

#include "model/store.h"

namespace KOVA {

enum class QUANTITY { HEAD, FLUX, VX, VY, SPEED };

// The quantity named NAME (head, flux, vx, vy, speed); false for any other.
bool PARSE_QUANTITY(std::string_view NAME, QUANTITY& Q);
std::string_view QUANTITY_NAME(QUANTITY Q);

struct PLACE {
  std::int32_t ELEMENT = -1;   // the containing element (index from 0); -1 for a node
  int CORNERS = 0;             // nodes that share the value
  std::int32_t NODES[4] = {};  // node indices from 0
  double WEIGHTS[4] = {};      // their shape function values, summing to 1
};

// Node index I (from 0) as a place.
PLACE NODE_PLACE(std::int32_t I);

// The first counted element in element order (attribute above 0, every
// corner a node of the model, not flat) that contains (X, Y), points on its
// edges included, with its corners' shape function values there. A point
// that is a corner has weight 1 there exactly. False when no counted
// element contains the point.
bool LOCATE(const MODEL_STORE& S, double X, double Y, PLACE& P);

// The node nearest to (X, Y) among the corners of the counted elements, as a
// node place (the lowest index of equally near ones). False when there is no
// counted element.
bool NEAREST_NODE(const MODEL_STORE& S, double X, double Y, PLACE& P);

// Q at place P in the step held in S. A node place's velocity is read from
// S.VXN and S.VYN: average them first (AVERAGE_TO_NODES) for each step.
double VALUE_AT(const MODEL_STORE& S, const PLACE& P, QUANTITY Q);

}  // namespace KOVA
