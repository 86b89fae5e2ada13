// point2D! and point3D!: coordinates with 32-bit floating-point components, written (x, y)
// and (x, y, z). The two types are one family: every action of point3D! is the point2D!
// action with a third component, and a pair! takes part only in point2D! arithmetic and
// comparison.
//
// The components are IEEE-754 single floats in the payload words from the first on.
#pragma once
#include <cstdint>
#include <cstring>
#include "core/cell.h"

namespace tav {

namespace point {

inline float word_float(uint32_t w) {
  float f;
  std::memcpy(&f, &w, sizeof f);
  return f;
}
inline uint32_t float_word(float f) {
  uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  return w;
}
inline float x_of(const Cell* c) { return word_float(c->data1); }
inline float y_of(const Cell* c) { return word_float(c->data2); }
inline float z_of(const Cell* c) { return word_float(c->data3); }
// The components of a point (2 or 3), its dimension answered.
int components(const Cell* c, float out[3]);
// An integer! converted or a float! narrowed to a component.
float component_of(const Cell* number);
// The compare handler shared by both types.
int compare(Cell* a, Cell* b, int op);
// Registers point2D! and point3D!.
void init();

}  // namespace point

namespace point2D {
Cell* make_at(Cell* c, float x, float y);   // other header bits kept
Cell* push(float x, float y);
Cell* append_to_block(const Cell* block, float x, float y);
// Arithmetic on the running call's two arguments, the point first: 0 add, 1 subtract,
// 2 multiply, 3 divide, 4 remainder. The result replaces the point.
Cell* do_math_op(int op);
}  // namespace point2D

namespace point3D {
Cell* make_at(Cell* c, float x, float y, float z);
Cell* push(float x, float y, float z);
Cell* append_to_block(const Cell* block, float x, float y, float z);
Cell* do_math_op(int op);
}  // namespace point3D

}  // namespace tav
