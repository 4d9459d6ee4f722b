// The field of many point sources at many receivers, combined from the tables.
//
// For every pair of a source depth and a receiver depth the three source types' columns are
// first interpolated in source depth and observation depth and laid out distance by distance
// (`Reduced`); per source and receiver there is then one cubic stencil in distance and the
// combination with the source's azimuthal factors (the moment-tensor synthesis of the tables'
// conventions), turned from the source's cylindrical frame into the table frame and summed.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "synthesis/receivers.h"
#include "synthesis/sources.h"
#include "synthesis/tables.h"

namespace kirva::syn {

// Displacement (m) and displacement gradient du_i/dx_j at one receiver, east-north-up frame.
struct Field {
  Vec3 u{};
  std::array<std::array<double, 3>, 3> grad{};
};

// The interpolated columns of one (source depth, observation depth) pair, one row of `width`
// values per distance, with row 0 the mirror point -r[1] (continued by each column's parity)
// when the distances start on the axis.
struct Reduced {
  int width = 0;
  std::vector<double> rows;
};

// What the receivers need: the displacement alone; with the strain (the symmetric part of the
// gradient, which is all `Field::grad` then holds); or the whole gradient (tilts, rotation).
enum class Need { displacement, strain, gradient };

// Weights over observation depths: the tables at k0 .. k0 + n - 1 times w[0 .. n - 1]. The
// point `limit` (-1: none) lies on the interface `iface` below the receiver's layer and is read
// as the limit from above there (EarthModel::Limit).
struct DepthWeights {
  int k0 = 0, n = 1;
  double w[4] = {1, 0, 0, 0};
  int limit = -1, iface = -1;
};

// The weights at a receiver depth: on a tabulated depth that depth alone, else the stencil of
// the receiver's layer. Displacement and its horizontal derivatives are continuous across an
// interface, so the tables on the interface below serve as they are; the vertical derivatives
// (`vertical`: ezz, ezr, etz) are not, and take the limit from above there where the elastic
// conditions give it, else grid points of the layer only.
DepthWeights observation_weights(const TableView& t, double depth, bool vertical);

// Fills `out` for source depth zs and the observation-depth weights: `smooth` for the
// components continuous in depth, `jump` for the vertical derivatives; `surface` leaves out the
// columns that vanish or follow from the others at a free surface; `isotropic` adds the
// explosion's columns after the others. Near an interface below the source the stencil in
// source depth takes the tables on it as the limit from above where the elastic conditions give
// it (for the CLVD and the explosion, from the two together: only in a library with both).
void reduce(const TableView& t, Need need, bool surface, double zs, const DepthWeights& smooth,
            const DepthWeights& jump, Reduced& out, bool isotropic = false);

// Whether observation depth k is a free surface in the tables: depth 0, ezr and etz zero, and
// ezz = -lambda (err + ett) / (lambda + 2 mu) to rounding, for every source depth and every type
// (the explosion too when `isotropic`).
bool free_surface(const TableView& t, int k, bool isotropic = false);

struct SynthesisOptions {
  Need need = Need::gradient;
  int threads = 1;
  // Leave out the columns that a free surface determines (false: always the general layout).
  bool use_free_surface = true;
  // Use the wider vector instructions of the processor where it has them (the same results).
  bool wide = true;
  // Called now and then from the calling thread with the share done (0..1).
  std::function<void(double)> progress;
};

// Point sources with one potency tensor per slip direction, summed into one field per receiver
// and direction, or, for Green's matrices, into one per source model (SourcePoint::model).
struct PointSources {
  std::vector<SourcePoint> points;  // positions; their potency when `tensors` is empty
  int nslip = 1;
  std::vector<Tensor6> tensors;  // points.size() * nslip, point by point, or empty
  bool by_model = false;         // a column per source model
  int ncolumns = 1;              // the number of models, when by_model
};

// Runs task(i, worker) for i = 0..n-1 on `threads` workers numbered from 0 (the caller), calling
// `after` (if any) on the calling thread after each of its tasks. The first failure stops the
// others and is rethrown.
void parallel_for(int threads, int n, const std::function<void(int i, int worker)>& task,
                  const std::function<void()>& after);

// Checks every pair against the tables' ranges; stops with a message naming the first pair out
// of range (receivers in order, then sources in order) and the range the tables would need.
void check_ranges(const TableView& t, const std::vector<SourceModel>& models,
                  const std::vector<SourcePoint>& points, const std::vector<Receiver>& receivers,
                  bool geographic);

// Takes the sums of `count` receivers (their indices from `first`), laid out as in
// accumulate_fields, when they are complete; called from any worker, for each receiver once.
using Finish = std::function<void(const int* receivers, int count, const double* sums)>;

// Adds the fields at the receivers [first, last) to acc, in the table frame: receiver by
// receiver, then column, then accumulated(need) values (layout.h), each for every slip
// direction in turn; the caller zeroes acc. With a finish, acc is not used (nullptr): the sums go
// to `finish` instead.
void accumulate_fields(const TableView& t, const PointSources& src,
                       const std::vector<Receiver>& receivers, std::size_t first, std::size_t last,
                       const SynthesisOptions& opt, double* acc, const Finish& finish);

// The field of accumulated values acc[0], acc[stride], ..., in the east-north-up frame.
Field field_of(const double* acc, Need need, int stride = 1);

// The fields at the receivers [first, last): receiver by receiver, then column, then slip
// direction. The sum over sources runs in the same order for every receiver whatever the number
// of workers, so results do not depend on it.
std::vector<Field> fields_at(const TableView& t, const PointSources& src,
                             const std::vector<Receiver>& receivers, std::size_t first,
                             std::size_t last, const SynthesisOptions& opt);

// The field at every receiver. The sum over sources runs in the same order for every receiver
// whatever the number of workers, so results do not depend on it.
std::vector<Field> synthesise(const TableView& t, const std::vector<SourcePoint>& points,
                              const std::vector<Receiver>& receivers, const SynthesisOptions& opt);

}  // namespace kirva::syn
