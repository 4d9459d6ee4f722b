#include "synthesis/problem.h"

#include <algorithm>
#include <cmath>

#include "stop.h"
#include "synthesis/layout.h"

namespace kirva::syn {

namespace {

bool finite(const Tensor6& m) {
  return std::isfinite(m.xx) && std::isfinite(m.xy) && std::isfinite(m.xz) && std::isfinite(m.yy) &&
         std::isfinite(m.yz) && std::isfinite(m.zz);
}

bool finite(const SourceModel& s) {
  if (s.kind == SourceModel::Kind::triangle) {
    for (const Vec3& v : s.vertices)
      for (double c : v)
        if (!std::isfinite(c)) return false;
    return std::isfinite(s.rect.slip) && std::isfinite(s.rect.rake) &&
           std::isfinite(s.rect.opening);
  }
  if (s.kind != SourceModel::Kind::rectangle) {
    return std::isfinite(s.east) && std::isfinite(s.north) && std::isfinite(s.depth) &&
           finite(s.tensor) && std::isfinite(s.tensile) && std::isfinite(s.strike) &&
           std::isfinite(s.dip) && std::isfinite(s.inflation) && std::isfinite(s.volume);
  }
  const Rectangle& r = s.rect;
  for (double v :
       {r.east, r.north, r.depth, r.strike, r.dip, r.rake, r.slip, r.opening, r.length, r.width}) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// What a problem must hold beyond what its parts check when they are made: a source, the
// receiver fault of cfs, a line of sight for los, sound settings and finite numbers.
void check(const Problem& p, const Discretisation& d) {
  if (p.threads < 1 || p.threads > 4096) throw Stop("kirva-syn: --threads must be 1 to 4096");
  if (p.sources.empty()) {
    throw Stop(
        "kirva-syn: no source: give --faults, --patches, --mesh, --point, --tensor, --tensile or "
        "--mogi");
  }
  if (p.quantities.empty()) throw Stop("kirva-syn: no quantity to compute");
  const auto wants = [&](Quantity q) {
    return std::find(p.quantities.begin(), p.quantities.end(), q) != p.quantities.end();
  };
  if (wants(Quantity::cfs) && !p.receiver_fault) {
    throw Stop("kirva-syn: cfs needs the receiver fault: --receiver STRIKE/DIP/RAKE");
  }
  if (p.receiver_fault) {
    const ReceiverFault& f = *p.receiver_fault;
    if (!std::isfinite(f.strike) || !std::isfinite(f.dip) || !std::isfinite(f.rake) ||
        !std::isfinite(f.friction)) {
      throw Stop("kirva-syn: the receiver fault or the friction is not a finite number");
    }
  }
  if (wants(Quantity::los)) {
    for (const auto& r : p.receivers) {
      if (!r.los && !p.los) {
        throw Stop(
            "kirva-syn: los needs a line-of-sight vector: give --los LX/LY/LZ or one per "
            "point (receiver '" +
            r.name + "' has none)");
      }
    }
  }
  if (!(d.patch_size > 0) || !std::isfinite(d.patch_size)) {
    throw Stop("kirva-syn: --patch-size must be positive");
  }
  if (d.gauss < 1 || d.gauss > 16) throw Stop("kirva-syn: --gauss must be 1 to 16");
  for (const auto& s : p.sources) {
    if (!finite(s)) throw Stop("kirva-syn: " + s.label + ": a value is not a finite number");
  }
  for (std::size_t i = 0; i < p.receivers.size(); ++i) {
    const Receiver& r = p.receivers[i];
    if (!std::isfinite(r.east) || !std::isfinite(r.north) || !std::isfinite(r.depth)) {
      throw Stop("kirva-syn: receiver " + (r.name.empty() ? std::to_string(i + 1) : r.name) +
                 ": a position that is not a finite number");
    }
  }
}

// Evaluates the quantities from the fields, with the moduli at each receiver's depth.
class Evaluator {
 public:
  Evaluator(const TableView& t, const Problem& p) : t_(t), p_(p) {
    const ReceiverFault rf = p.receiver_fault.value_or(ReceiverFault{});
    ev_.fault = receiver_vectors(rf);
    ev_.friction = rf.friction;
  }
  // Moves to receiver r; then value(q, f) for fields at it.
  void at(const Receiver& r) {
    ev_.lambda = t_.earth.lambda(r.depth);
    ev_.mu = t_.earth.mu(r.depth);
    ev_.los = r.los ? *r.los : p_.los.value_or(Vec3{0, 0, 0});
  }
  double value(Quantity q, const Field& f) const { return evaluate(q, f, ev_); }

 private:
  const TableView& t_;
  const Problem& p_;
  Evaluation ev_;
};

SynthesisOptions options_of(const Problem& p, std::size_t points) {
  SynthesisOptions so;
  so.need = need_of(p.quantities);
  so.threads = p.threads;
  so.wide = p.wide;
  if (static_cast<double>(p.receivers.size()) * static_cast<double>(points) > p.progress_pairs) {
    so.progress = p.progress;
  }
  return so;
}

}  // namespace

Discretisation discretisation_of(const TableView& t, const Problem& p) {
  Discretisation d;
  const double dr = t.r.size() > 1 ? t.r[1] - t.r[0] : 0;
  const double dzs = t.zs.size() > 1 ? t.zs[1] - t.zs[0] : 0;
  d.patch_size = p.patch_size ? *p.patch_size : 5.0 * std::max(dr, dzs);
  d.gauss = p.gauss;
  // An eighth of the source-depth step: linear interpolation between such levels adds less than
  // (level / depth)^2 of the field, 2e-4 of it for a 0.1 km table at 1 km depth.
  d.depth_level = dzs / 8;
  d.depth_origin = t.zs.empty() ? 0.0 : t.zs.front();
  return d;
}

Solution synthesise(const TableView& t, const Problem& p) {
  Solution out;
  out.discretisation = discretisation_of(t, p);
  check(p, out.discretisation);
  if (!t.isotropic) {
    for (const SourceModel& s : p.sources)
      if (s.isotropic()) refuse_isotropic(s);
  }
  const auto points = discretise(p.sources, out.discretisation, t.earth);
  out.points = points.size();
  check_ranges(t, p.sources, points, p.receivers, p.geographic);
  const auto fields = synthesise(t, points, p.receivers, options_of(p, points.size()));
  const std::size_t nq = p.quantities.size();
  out.values.resize(p.receivers.size() * nq);
  Evaluator ev(t, p);
  for (std::size_t i = 0; i < p.receivers.size(); ++i) {
    ev.at(p.receivers[i]);
    for (std::size_t k = 0; k < nq; ++k) {
      out.values[i * nq + k] = ev.value(p.quantities[k], fields[i]);
    }
  }
  return out;
}

namespace {
constexpr const char* kSlipNames[] = {"strike", "dip", "opening"};
}

SlipDirection parse_slip(const std::string& name) {
  for (int i = 0; i < 3; ++i)
    if (name == kSlipNames[i]) return static_cast<SlipDirection>(i);
  throw Stop("kirva-syn: unknown slip direction '" + name + "' (known: strike dip opening)");
}

void greens_matrix(const TableView& t, const Problem& p, const std::vector<SlipDirection>& slip,
                   double* g) {
  const Discretisation d = discretisation_of(t, p);
  check(p, d);
  if (slip.empty()) throw Stop("kirva-syn: no slip direction");
  for (std::size_t s = 0; s < slip.size(); ++s) {
    if (std::find(slip.begin(), slip.begin() + s, slip[s]) != slip.begin() + s) {
      throw Stop(std::string("kirva-syn: slip direction '") +
                 kSlipNames[static_cast<int>(slip[s])] + "' is named twice");
    }
    if (slip[s] == SlipDirection::opening && !t.isotropic) {
      throw Stop(
          "kirva-syn: slip direction 'opening' needs the explosion table, which the library "
          "does not hold: make the library with kirva --isotropic");
    }
  }
  for (const auto& s : p.sources) {
    if (s.kind != SourceModel::Kind::rectangle && s.kind != SourceModel::Kind::triangle) {
      throw Stop("kirva-syn: " + s.label + " is a point source: a Green's matrix is of patches");
    }
  }
  // The patches with unit slip in each direction: the same points, one tensor per direction.
  const int ns = static_cast<int>(slip.size());
  PointSources src;
  src.nslip = ns;
  src.by_model = true;
  src.ncolumns = static_cast<int>(p.sources.size());
  for (int s = 0; s < ns; ++s) {
    std::vector<SourceModel> unit = p.sources;
    for (auto& m : unit) {
      m.rect.rake = slip[s] == SlipDirection::strike ? 0.0 : 90.0;
      m.rect.slip = slip[s] == SlipDirection::opening ? 0.0 : 1.0;
      m.rect.opening = slip[s] == SlipDirection::opening ? 1.0 : 0.0;
    }
    auto points = discretise(unit, d, t.earth);
    if (s == 0) {
      src.points = std::move(points);
      src.tensors.resize(src.points.size() * ns);
    }
    for (std::size_t i = 0; i < src.points.size(); ++i) {
      src.tensors[i * ns + s] = s == 0 ? src.points[i].potency : points[i].potency;
    }
  }
  check_ranges(t, p.sources, src.points, p.receivers, p.geographic);

  const std::size_t nq = p.quantities.size(), cols = p.sources.size() * ns;
  // Each block of receivers evaluated straight into the matrix as soon as it is summed.
  const SynthesisOptions so = options_of(p, src.points.size() * ns);
  const int acc_n = accumulated(so.need);
  accumulate_fields(t, src, p.receivers, 0, p.receivers.size(), so, nullptr,
                    [&](const int* members, int count, const double* sums) {
                      // Every quantity is linear in the sums of its receiver: its row of
                      // coefficients, found by evaluating the unit sums, maps each column's sums to
                      // its value.
                      Evaluator ev(t, p);
                      std::vector<double> coef(nq * acc_n), unit(acc_n);
                      for (int m = 0; m < count; ++m) {
                        const std::size_t i = members[m];
                        ev.at(p.receivers[i]);
                        for (int k = 0; k < acc_n; ++k) {
                          std::fill(unit.begin(), unit.end(), 0.0);
                          unit[k] = 1;
                          const Field f = field_of(unit.data(), so.need);
                          for (std::size_t q = 0; q < nq; ++q)
                            coef[q * acc_n + k] = ev.value(p.quantities[q], f);
                        }
                        // Column c is patch c / ns and direction c % ns; the sums of a patch hold
                        // its directions side by side, value by value.
                        const double* a = sums + m * cols * acc_n;
                        double* row = g + i * nq * cols;
                        for (std::size_t q = 0; q < nq; ++q) {
                          const double* cq = coef.data() + q * acc_n;
                          double* out = row + q * cols;
                          for (std::size_t j = 0; j < cols / ns; ++j) {
                            const double* aj = a + j * ns * acc_n;
                            for (int sl = 0; sl < ns; ++sl) {
                              double v = 0;
                              for (int k = 0; k < acc_n; ++k) v += cq[k] * aj[k * ns + sl];
                              out[j * ns + sl] = v;
                            }
                          }
                        }
                      }
                    });
}

std::vector<double> greens_matrix(const TableView& t, const Problem& p,
                                  const std::vector<SlipDirection>& slip) {
  std::vector<double> g(p.receivers.size() * p.quantities.size() * p.sources.size() * slip.size());
  greens_matrix(t, p, slip, g.data());
  return g;
}

}  // namespace kirva::syn
