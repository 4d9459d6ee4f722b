// A synthesis as every front end states it (the command line of kirva-syn, the Python module):
// the sources, the receivers, the quantities and how to discretise, for the tables of one
// library. Two entry points solve it: the quantities at the receivers, and the Green's matrix of
// rectangular patches, one column per patch and slip direction.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "synthesis/combine.h"
#include "synthesis/quantities.h"
#include "synthesis/receivers.h"
#include "synthesis/sources.h"
#include "synthesis/tables.h"

namespace kirva::syn {

struct Problem {
  std::vector<SourceModel> sources;
  std::vector<Receiver> receivers;  // positions (m), depth, and a line of sight of their own
  std::vector<Quantity> quantities;
  std::optional<ReceiverFault> receiver_fault;  // needed by cfs
  std::optional<Vec3> los;                      // for every receiver without its own
  std::optional<double> patch_size;             // m; default 5 times the larger table step
  int gauss = 2;                                // Gauss-Legendre points per patch side
  int threads = 1;
  bool geographic = false;  // positions given in degrees (for the messages)
  bool wide = true;         // wider vector instructions where the processor has them
  // Share done, now and then from the calling thread, in runs of more source-receiver pairs
  // than progress_pairs.
  std::function<void(double)> progress;
  double progress_pairs = 0;
};

// The quantities at the receivers, receiver by receiver (N x Q).
struct Solution {
  std::vector<double> values;
  Discretisation discretisation;  // as used
  std::size_t points = 0;         // the weighted point sources the sources became
};

// The quantities of all sources at every receiver.
Solution synthesise(const TableView& t, const Problem& p);

// Unit slip (1 m) on a patch: along strike (rake 0, left-lateral) or reverse (rake 90), or 1 m
// of opening (which needs the explosion's table).
enum class SlipDirection { strike, dip, opening };
SlipDirection parse_slip(const std::string& name);

// The Green's matrix of the rectangles of p.sources (their rake, slip and opening are not used):
// G[((i * Q + q) * M + j) * S + s] is quantity q at receiver i for unit slip s on patch j, so that
// the array of shape (N Q, M S) is the design matrix.
std::vector<double> greens_matrix(const TableView& t, const Problem& p,
                                  const std::vector<SlipDirection>& slip);
// The same written to g (N Q M S doubles).
void greens_matrix(const TableView& t, const Problem& p, const std::vector<SlipDirection>& slip,
                   double* g);

// The patch size a problem uses: its own, or 5 times the larger of the tables' distance and
// source-depth steps.
Discretisation discretisation_of(const TableView& t, const Problem& p);

}  // namespace kirva::syn
