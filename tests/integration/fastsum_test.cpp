// The fast distance sum against the straightforward one (own exponential, square root and table
// lookup per sample): the two may differ only by rounding, at most 1e-12 of each component's peak
// over the distances.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "integration/hankel.h"
#include "integration/hankel_reference.h"
#include "integration/integration_fixture.h"
#include "kirva_bessel.h"

namespace kirva {
namespace {

using namespace kirva::fixture;

constexpr double kTol = 1.0e-12;

// Sediments over a crust of rows that step the velocities up with depth, over the mantle.
const std::vector<Row> kLayered{{1000.0, 3500.0, 1900.0, 2300.0},  {1000.0, 4500.0, 2500.0, 2450.0},
                                {6000.0, 5800.0, 3350.0, 2650.0},  {7000.0, 6200.0, 3580.0, 2750.0},
                                {17000.0, 6600.0, 3800.0, 2900.0}, {0.0, 8000.0, 4500.0, 3300.0}};

// Largest |fast - reference| over the reference peak of its component, all components; checks
// each value against the tolerance on the way.
double deviation(const GreenTable& fast, const GreenTable& ref, int nr, const std::string& what) {
  double worst = 0.0;
  for (int c = 1; c <= 10; ++c) {
    double peak = 0.0;
    for (int j = 1; j <= nr; ++j) peak = std::max(peak, std::fabs(ref(c, j)));
    for (int j = 1; j <= nr; ++j) {
      const double d = std::fabs(fast(c, j) - ref(c, j));
      EXPECT_LE(d, kTol * peak) << what << " component " << c << " distance " << j;
      if (peak > 0.0) worst = std::max(worst, d / peak);
    }
  }
  return worst;
}

struct Case {
  const std::vector<Row>* rows;
  double zs, zrec, rhalf;
  std::vector<double> dist;
  const char* name;
};

TEST(FastSum, AgreesWithTheStraightforwardLoopForAllSourcesAndGeometries) {
  std::vector<double> axis{0.0};  // the zero distance, then an odd count in all
  for (double r = 1000.0; r <= 60000.0; r += 1000.0) axis.push_back(r);
  const auto off = spaced(500.0, 2000.0, 50);    // r(1) > 0, an even count
  const auto far = spaced(2000.0, 2000.0, 100);  // rsmooth = r/100 beyond 25 km: taper per lane
  const std::vector<Case> cases{
      {&kLayered, 10000.0, 0.0, 250.0, axis, "layered, source below the surface, axis"},
      {&kLayered, 10000.0, 0.0, 250.0, off, "layered, off the axis"},
      {&kLayered, 10000.0, 0.0, 250.0, far, "layered, out to 200 km"},
      {&kLayered, 3000.0, 9000.0, 100.0, axis, "layered, observation below the source"},
      {&kHomogeneous, 5000.0, 5000.0, 100.0, axis, "half-space, equal depths, axis"},
      {&kHomogeneous, 5000.0, 5000.0, 100.0, off, "half-space, equal depths"},
      {&kLayered, 5000.0, 5000.0, 200.0, off, "layered, equal depths"},
  };
  double worst = 0.0;
  bool asymptote_seen = false;
  for (const Case& cs : cases) {
    Integration fast(*cs.rows), ref(*cs.rows, false, true);
    const int nr = static_cast<int>(cs.dist.size());
    for (int type = 1; type <= 4; ++type) {
      const GreenTable& gf = fast.run(type, cs.zs, cs.zrec, cs.rhalf, cs.dist);
      const GreenTable& gr = ref.run(type, cs.zs, cs.zrec, cs.rhalf, cs.dist);
      const std::string what = std::string(cs.name) + ", type " + std::to_string(type);
      ASSERT_EQ(fast.work().nktot, ref.work().nktot) << what;
      ASSERT_EQ(fast.work().asymok, ref.work().asymok) << what;
      asymptote_seen = asymptote_seen || fast.work().asymok;
      worst = std::max(worst, deviation(gf, gr, nr, what));
    }
  }
  EXPECT_TRUE(asymptote_seen);
  std::printf("largest deviation from the straightforward loop: %.3g of the peak\n", worst);
}

// The sum on its own, with kernels and smoothing lengths no run produces: arguments k*r far
// beyond the directly tabulated range (the lookup reuses the last period), a taper that ends
// half-way through the samples for one distance of a pair but not the other, and an odd count.
TEST(FastSum, ReusedPeriodAndUnequalTapersAgreeWithTheStraightforwardLoop) {
  auto tab = std::make_unique<BesselTables>();
  auto work = std::make_unique<HankelWork>();
  auto gf = std::make_unique<GreenTable>();
  auto gr = std::make_unique<GreenTable>();
  const std::vector<double> dist{1000.0, 5.0e4, 3.0e5, 1.0e6, 2.0e5};
  const std::vector<double> smooth{50.0, 1.0, 2000.0, 3.0, 800.0};
  const int nr = static_cast<int>(dist.size());
  std::array<double, nrmax + 1> r{}, sqrtr{};
  std::array<int, nrmax + 1> jlist{};
  for (int j = 1; j <= nr; ++j) {
    r[j] = dist[j - 1];
    sqrtr[j] = std::sqrt(r[j]);
    work->rsmooth[j] = smooth[j - 1];
    jlist[j - 1] = j;
  }
  const long long nktot = 4000;
  const double dk = 0.05 / nktot;
  work->nktot = nktot;
  work->dk = dk;
  std::vector<KernelSample> ks(nktot + 1);
  for (int order : {2, 0}) {
    krvbstab(order, *tab);
    const double csign = order == 2 ? -1.0 : 1.0;
    work->shterms = order != 0;
    gr->v.fill(0.0);
    std::array<double, 7> y{};
    for (long long i = 1; i <= nktot; ++i) {
      const double k = static_cast<double>(i) * dk;
      for (int q = 1; q <= 6; ++q) {
        const bool sh = q >= 5;
        y[q] = (sh && order == 0) ? 0.0 : std::cos(q * 300.0 * k) / (1.0 + q * 400.0 * k);
      }
      krvksample(ks[i], k, dk, y, csign);
      reference::add_sample(*gr, k, dk, y, jlist.data(), nr, r, work->rsmooth, sqrtr, csign, *tab);
    }
    gf->v.fill(0.0);
    reference::sum_in_chunks(*gf, ks, r, nr, 1, *tab, *work);
    deviation(*gf, *gr, nr, "order " + std::to_string(order));
    EXPECT_GT(std::fabs((*gf)(UR, 4)), 0.0);  // the far distance was summed
    // Chunks of one block, and of more samples than there are: each distance sums in the same
    // order, so the results are the same to the last bit.
    for (long long chunk : {64LL, 8192LL}) {
      auto gc = std::make_unique<GreenTable>();
      reference::sum_in_chunks(*gc, ks, r, nr, 1, *tab, *work, chunk);
      EXPECT_EQ(std::memcmp(gc->v.data(), gf->v.data(), sizeof gf->v), 0)
          << "order " << order << ", chunks of " << chunk;
    }
  }
}

}  // namespace
}  // namespace kirva
