#pragma once

// The Erlang B formula: the share of calls that find every line busy when `traffic` erlangs
// are offered to `lines` lines (calls that find no line are lost, as on a small exchange's city
// lines).
double ErlangB(double traffic, int lines);
// The fewest lines that keep the blocking of `traffic` at or under `blocking`.
int LinesFor(double traffic, double blocking);
// The most traffic `lines` lines carry with at most `blocking` of the calls lost.
double TrafficFor(int lines, double blocking);
