// Entry points for single elements.
#include "xtables_frame.h"

using namespace xtables;

void c_tbegtb(TablePtr tp, ColumnPtr cp, int row, int* buffer) {
  bool v = buffer && *buffer != 0;
  run([&] { tbl::tbegtb(T(tp), C(cp), row, v); });
  if (buffer) *buffer = v ? 1 : 0;
}

void c_tbegtd(TablePtr tp, ColumnPtr cp, int row, double* buffer) {
  double v = buffer ? *buffer : 0.0;
  run([&] { tbl::tbegtd(T(tp), C(cp), row, v); });
  if (buffer) *buffer = v;
}

void c_tbegtr(TablePtr tp, ColumnPtr cp, int row, float* buffer) {
  float v = buffer ? *buffer : 0.0f;
  run([&] { tbl::tbegtr(T(tp), C(cp), row, v); });
  if (buffer) *buffer = v;
}

void c_tbegti(TablePtr tp, ColumnPtr cp, int row, int* buffer) {
  int v = buffer ? *buffer : 0;
  run([&] { tbl::tbegti(T(tp), C(cp), row, v); });
  if (buffer) *buffer = v;
}

void c_tbegts(TablePtr tp, ColumnPtr cp, int row, short* buffer) {
  short v = buffer ? *buffer : 0;
  run([&] { tbl::tbegts(T(tp), C(cp), row, v); });
  if (buffer) *buffer = v;
}

void c_tbegtt(TablePtr tp, ColumnPtr cp, int row, char* buffer, int maxch) {
  if (buffer) buffer[0] = '\0';  // what a failed call leaves
  run([&] { tbl::tbegtt(T(tp), C(cp), row, buffer, maxch); });
}

void c_tbeptb(TablePtr tp, ColumnPtr cp, int row, int buffer) {
  run([&] { tbl::tbeptb(T(tp), C(cp), row, buffer != 0); });
}
void c_tbeptd(TablePtr tp, ColumnPtr cp, int row, double buffer) {
  run([&] { tbl::tbeptd(T(tp), C(cp), row, buffer); });
}
void c_tbeptr(TablePtr tp, ColumnPtr cp, int row, float buffer) {
  run([&] { tbl::tbeptr(T(tp), C(cp), row, buffer); });
}
void c_tbepti(TablePtr tp, ColumnPtr cp, int row, int buffer) {
  run([&] { tbl::tbepti(T(tp), C(cp), row, buffer); });
}
void c_tbepts(TablePtr tp, ColumnPtr cp, int row, short buffer) {
  run([&] { tbl::tbepts(T(tp), C(cp), row, buffer); });
}
void c_tbeptt(TablePtr tp, ColumnPtr cp, int row, const char* buffer) {
  run([&] { tbl::tbeptt(T(tp), C(cp), row, in_view(buffer)); });
}
