#include "model/model.h"

#include <gtest/gtest.h>

#include <vector>

namespace kirva {
namespace {

const std::array<double, 3> kResol{0.05, 0.05, 0.05};

// Adds a layer with linear gradients from (z1, vp1, vs1, ro1) to (z2, vp2, vs2, ro2).
void add_layer(ProfileList& p, double z1, double z2, double vp1, double vp2, double vs1, double vs2,
               double ro1, double ro2) {
  const int e = ++p.nprof;
  p.z1[e] = z1;
  p.z2[e] = z2;
  p.vp1[e] = vp1;
  p.vp2[e] = vp2;
  p.vs1[e] = vs1;
  p.vs2[e] = vs2;
  p.ro1[e] = ro1;
  p.ro2[e] = ro2;
}

void add_halfspace(ProfileList& p, double z1, double vp, double vs, double ro) {
  const int e = ++p.nprof;
  p.z1[e] = z1;
  p.vp1[e] = vp;
  p.vs1[e] = vs;
  p.ro1[e] = ro;
}

TEST(Krvslice, GradientLayerBecomesRowsSampledAtTheirMiddles) {
  ProfileList p;
  add_layer(p, 0.0, 10000.0, 5000.0, 6000.0, 3000.0, 3460.0, 2600.0, 2700.0);
  add_halfspace(p, 10000.0, 6000.0, 3460.0, 2700.0);
  LayerTable lt;
  int ierr = -1;
  krvslice(kResol, ierr, p, lt);
  ASSERT_EQ(ierr, 0);
  ASSERT_EQ(lt.nlayer, 5);
  const double vp[] = {5125, 5375, 5625, 5875, 6000};
  const double vs[] = {3057.5, 3172.5, 3287.5, 3402.5, 3460};
  const double ro[] = {2612.5, 2637.5, 2662.5, 2687.5, 2700};
  for (int l = 1; l <= 5; ++l) {
    EXPECT_DOUBLE_EQ(lt.thick[l], l < 5 ? 2500.0 : 0.0) << l;
    EXPECT_DOUBLE_EQ(lt.vp[l], vp[l - 1]) << l;
    EXPECT_DOUBLE_EQ(lt.vs[l], vs[l - 1]) << l;
    EXPECT_DOUBLE_EQ(lt.ro[l], ro[l - 1]) << l;
  }
}

TEST(Krvslice, RowCountRoundsHalfUpAndHomogeneousLayersStayWhole) {
  // Relative vp change 0.125 = 2.5 allowances: three rows.
  ProfileList p;
  add_layer(p, 0.0, 3000.0, 15000.0, 17000.0, 2000.0, 2000.0, 2500.0, 2500.0);
  add_layer(p, 3000.0, 5000.0, 6000.0, 6000.0, 3500.0, 3500.0, 2800.0, 2800.0);
  add_halfspace(p, 5000.0, 8000.0, 4600.0, 3300.0);
  LayerTable lt;
  int ierr = -1;
  krvslice(kResol, ierr, p, lt);
  ASSERT_EQ(ierr, 0);
  ASSERT_EQ(lt.nlayer, 5);
  EXPECT_DOUBLE_EQ(lt.thick[1], 1000.0);
  EXPECT_DOUBLE_EQ(lt.thick[4], 2000.0);
  EXPECT_EQ(lt.vp[4], 6000.0);
  EXPECT_EQ(lt.vs[4], 3500.0);
  EXPECT_EQ(lt.ro[4], 2800.0);
  EXPECT_EQ(lt.thick[5], 0.0);
  EXPECT_EQ(lt.vp[5], 8000.0);
}

TEST(Krvslice, SinglePointIsAHalfSpace) {
  ProfileList p;
  add_halfspace(p, 0.0, 6000.0, 3500.0, 2800.0);
  LayerTable lt;
  int ierr = -1;
  krvslice(kResol, ierr, p, lt);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(lt.nlayer, 1);
  EXPECT_EQ(lt.thick[1], 0.0);
  EXPECT_EQ(lt.vs[1], 3500.0);
}

// n homogeneous layers of one row each, then the half-space.
ProfileList homogeneous_stack(int n) {
  ProfileList p;
  for (int i = 0; i < n; ++i) {
    add_layer(p, 100.0 * i, 100.0 * (i + 1), 5000.0, 5000.0, 3000.0, 3000.0, 2600.0, 2600.0);
  }
  add_halfspace(p, 100.0 * n, 6000.0, 3500.0, 2800.0);
  return p;
}

TEST(Krvslice, TableLimitAllowsExactly999RowsAboveTheHalfSpace) {
  LayerTable lt;
  int ierr = -1;
  krvslice(kResol, ierr, homogeneous_stack(999), lt);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(lt.nlayer, 1000);
  EXPECT_EQ(lt.thick[1000], 0.0);

  ierr = -1;
  krvslice(kResol, ierr, homogeneous_stack(1000), lt);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(lt.nlayer, 1000);
}

// Four rows of 2500 m over a half-space.
LayerTable four_rows() {
  LayerTable lt;
  lt.nlayer = 5;
  for (int l = 1; l <= 5; ++l) {
    lt.thick[l] = l < 5 ? 2500.0 : 0.0;
    lt.vp[l] = 5000.0 + 100.0 * l;
    lt.vs[l] = 3000.0 + 100.0 * l;
    lt.ro[l] = 2600.0 + 10.0 * l;
  }
  return lt;
}

struct Cut {
  std::vector<double> zl, hl;
  std::vector<int> lay;
  int ls, lzrec;
};

Cut cut(const LayerTable& lt, double zs, double zrec) {
  ComputationalLayers cl;
  int ls = -7, lzrec = -7;
  krvdepthcut(zs, ls, zrec, lzrec, lt.thick, lt.nlayer, cl);
  Cut c{{}, {}, {}, ls, lzrec};
  for (int i = 1; i <= cl.nl; ++i) {
    c.zl.push_back(cl.zl[i]);
    c.hl.push_back(cl.hl[i]);
    c.lay.push_back(cl.lay[i]);
  }
  return c;
}

TEST(Krvdepthcut, SourceInsideARowAddsOneInterface) {
  const Cut c = cut(four_rows(), 3000.0, 0.0);
  EXPECT_EQ(c.zl, (std::vector<double>{0, 2500, 3000, 5000, 7500, 10000}));
  EXPECT_EQ(c.hl, (std::vector<double>{2500, 500, 2000, 2500, 2500, 0}));
  EXPECT_EQ(c.lay, (std::vector<int>{1, 2, 2, 3, 4, 5}));
  EXPECT_EQ(c.ls, 3);
  EXPECT_EQ(c.lzrec, 1);
}

TEST(Krvdepthcut, CoincidingDepthsShareOneInterface) {
  // Source equal to the observation depth.
  Cut c = cut(four_rows(), 4000.0, 4000.0);
  EXPECT_EQ(c.zl.size(), 6u);
  EXPECT_EQ(c.ls, c.lzrec);
  EXPECT_EQ(c.zl[c.ls - 1], 4000.0);

  // Source on a table interface: no new layer, the layer below the interface starts there.
  c = cut(four_rows(), 5000.0, 0.0);
  EXPECT_EQ(c.zl, (std::vector<double>{0, 2500, 5000, 7500, 10000}));
  EXPECT_EQ(c.ls, 3);
  EXPECT_EQ(c.lay[c.ls - 1], 3);

  // Observation on a table interface takes the row below.
  c = cut(four_rows(), 1000.0, 7500.0);
  EXPECT_EQ(c.lay[c.lzrec - 1], 4);
}

TEST(Krvdepthcut, DepthsInTheHalfSpaceAllTakeTheHalfSpaceRow) {
  const Cut c = cut(four_rows(), 15000.0, 12000.0);
  EXPECT_EQ(c.zl, (std::vector<double>{0, 2500, 5000, 7500, 10000, 12000, 15000}));
  EXPECT_EQ(c.hl, (std::vector<double>{2500, 2500, 2500, 2500, 2000, 3000, 0}));
  EXPECT_EQ(c.lay, (std::vector<int>{1, 2, 3, 4, 5, 5, 5}));
  EXPECT_EQ(c.ls, 7);
  EXPECT_EQ(c.lzrec, 6);
}

TEST(Krvdepthcut, HalfSpaceOnlyModel) {
  LayerTable lt;
  lt.nlayer = 1;
  lt.thick[1] = 0.0;
  const Cut c = cut(lt, 2000.0, 0.0);
  EXPECT_EQ(c.zl, (std::vector<double>{0, 2000}));
  EXPECT_EQ(c.hl, (std::vector<double>{2000, 0}));
  EXPECT_EQ(c.lay, (std::vector<int>{1, 1}));
  EXPECT_EQ(c.ls, 2);
  EXPECT_EQ(c.lzrec, 1);
}

TEST(Krvdepthcut, InexactInterfaceSumsStillAssignRowsConsistently) {
  // Thicknesses that do not add up exactly in binary: the row bottoms are summed the same way as
  // the interfaces, so every computational top on an interface takes the row below it.
  LayerTable lt;
  lt.nlayer = 4;
  const double t[] = {0.1, 0.2, 0.3, 0.0};
  for (int l = 1; l <= 4; ++l) lt.thick[l] = t[l - 1];
  const Cut c = cut(lt, 0.15, 0.1 + 0.2 + 0.3);
  EXPECT_EQ(c.lay, (std::vector<int>{1, 2, 2, 3, 4}));
  EXPECT_EQ(c.ls, 3);
  EXPECT_EQ(c.lzrec, 5);
}

// The prepared pair takes the rows the cut assigns to the two depths: the row below a depth on an
// interface, row 1 at the surface, the half-space below the last interface.
TEST(DepthPair, RowsAndModuliOfSourceAndObservationDepth) {
  const LayerTable lt = four_rows();
  ComputationalLayers cl;
  DepthPair pair;
  struct Case {
    double zs, zrec;
    int srow, rrow;
  };
  for (const Case c : {Case{3000.0, 0.0, 2, 1}, Case{5000.0, 2500.0, 3, 2},
                       Case{12000.0, 10000.0, 5, 5}, Case{0.0, 9999.0, 1, 4}}) {
    prepare_depth_pair(lt, c.zs, c.zrec, cl, pair);
    EXPECT_EQ(pair.source.row, c.srow) << c.zs;
    EXPECT_EQ(pair.receiver.row, c.rrow) << c.zrec;
    EXPECT_EQ(cl.lay[cl.ls], c.srow);
    const RowModuli& m = pair.receiver;
    EXPECT_EQ(m.vp, lt.vp[c.rrow]);
    EXPECT_DOUBLE_EQ(m.mu, lt.ro[c.rrow] * lt.vs[c.rrow] * lt.vs[c.rrow]);
    EXPECT_DOUBLE_EQ(m.lambda + 2.0 * m.mu, lt.ro[c.rrow] * lt.vp[c.rrow] * lt.vp[c.rrow]);
  }
}

}  // namespace
}  // namespace kirva
