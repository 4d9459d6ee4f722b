// The kernels' constants of every row of the layer table, worked out once per run.
#include "response/inline_ops.h"
#include "response/response.h"

namespace kirva {

void krvrowtab(const LayerTable& lt, RowTable& rt) {
  for (int l = 1; l <= lt.nlayer; ++l) {
    const detail::LayerConstants c = detail::layer_constants(0.0, l, lt);
    RowConstants& r = rt.row[l];
    r.mu = c.mu;
    r.d = c.d;
    r.f = 0.5 / (1.0 + c.d);
    r.df = c.d * r.f;
    r.opdf = (1.0 + c.d) * r.f;
    r.fg = r.f / (2.0 * c.mu);
    r.opd2 = 1.0 + 2.0 * c.d;
    r.ug = r.opd2 * r.fg;
    r.iopd = 1.0 / (1.0 + c.d);
    r.iq = 1.0 / (2.0 * (1.0 + c.d) * c.mu);
    r.imu = 1.0 / c.mu;
  }
}

}  // namespace kirva
