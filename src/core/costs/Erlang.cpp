#include "core/costs/Erlang.h"

double ErlangB(double traffic, int lines) {
  // The recurrence B(0) = 1, B(n) = A·B(n−1) / (n + A·B(n−1)) is exact and never overflows.
  if (traffic <= 0) return 0;
  double blocking = 1;
  for (int n = 1; n <= lines; ++n) blocking = traffic * blocking / (n + traffic * blocking);
  return blocking;
}

int LinesFor(double traffic, double blocking) {
  int lines = 0;
  while (ErlangB(traffic, lines) > blocking && lines < 10000) ++lines;
  return lines;
}

double TrafficFor(int lines, double blocking) {
  // The blocking grows with the traffic: halve the interval until it is a hair wide.
  double low = 0;
  double high = lines + 10.0;
  while (ErlangB(high, lines) < blocking) high *= 2;
  for (int step = 0; step < 100; ++step) {
    const double middle = (low + high) / 2;
    (ErlangB(middle, lines) <= blocking ? low : high) = middle;
  }
  return low;
}
