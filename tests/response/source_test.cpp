// Source jump vectors of the elementary sources: the three dislocations and the explosion.
#include "response/source.h"

#include <gtest/gtest.h>

#include "stop.h"

namespace kirva {
namespace {

constexpr double mu = 3.2e10, ro = 2800.0, vp = 6000.0, vs = 3400.0;

TEST(Krvmoment, StrikeSlipShearStressJumps) {
  SourceTerms s;
  krvmoment(1, mu, ro, vp, vs, s);
  EXPECT_EQ(s.sjump[4], mu / 6.28318530717958);
  EXPECT_EQ(s.sjump[6], -mu / 6.28318530717958);
  for (int i : {1, 2, 3, 5}) EXPECT_EQ(s.sjump[i], 0.0) << i;
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(s.kmul[i], (i == 4 || i == 6) ? 1 : 0) << i;
  EXPECT_EQ(s.mazi, 2);
  EXPECT_EQ(s.csign, -1);
}

TEST(Krvmoment, DipSlipHorizontalDisplacementJumps) {
  SourceTerms s;
  krvmoment(2, ro * vs * vs, ro, vp, vs, s);
  EXPECT_EQ(s.sjump[3], s.sjump[5]);
  EXPECT_NEAR(s.sjump[3], -1.0 / 6.28318530717958, 1e-16);
  for (int i : {1, 2, 4, 6}) EXPECT_EQ(s.sjump[i], 0.0) << i;
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(s.kmul[i], 0) << i;
  EXPECT_EQ(s.mazi, 1);
  EXPECT_EQ(s.csign, 1);
}

TEST(Krvmoment, ClvdAfterStrikeSlipClearsTheShPart) {
  SourceTerms s;
  krvmoment(1, mu, ro, vp, vs, s);
  krvmoment(3, mu, ro, 2 * vs, vs, s);
  EXPECT_EQ(s.sjump[4], 2 * mu / 12.56637061435916);
  EXPECT_DOUBLE_EQ(s.sjump[1], -mu / (6.28318530717958 * ro * 4 * vs * vs));
  EXPECT_EQ(s.sjump[5], 0.0);
  EXPECT_EQ(s.sjump[6], 0.0);
  EXPECT_EQ(s.kmul[6], 0);
  EXPECT_EQ(s.kmul[4], 1);
  EXPECT_EQ(s.kmul[1], 0);
  EXPECT_EQ(s.mazi, 0);
  EXPECT_EQ(s.csign, 1);
}

// The explosion (moment tensor mu I) after a strike-slip: the CLVD's displacement jump exactly,
// the stress jump -4 (vs/vp)^2 mu/(4 pi) = -2 mu mu_row/(2 pi (lambda + 2 mu)) times k (mu the
// normalising modulus, mu_row = ro vs^2), no SH part.
TEST(Krvmoment, ExplosionAfterStrikeSlip) {
  SourceTerms s, clvd;
  krvmoment(1, mu, ro, vp, vs, s);
  krvmoment(4, mu, ro, vp, vs, s);
  krvmoment(3, mu, ro, vp, vs, clvd);
  EXPECT_EQ(s.sjump[1], clvd.sjump[1]);
  const double lp2m = ro * vp * vp, mu_row = ro * vs * vs;  // lambda + 2 mu and mu of the row
  EXPECT_NEAR(s.sjump[4], -2.0 * mu * mu_row / (6.283185307179586 * lp2m), 1e-14 * mu);
  for (int i : {2, 3, 5, 6}) EXPECT_EQ(s.sjump[i], 0.0) << i;
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(s.kmul[i], i == 4 ? 1 : 0) << i;
  EXPECT_EQ(s.mazi, 0);
  EXPECT_EQ(s.csign, 1);
}

TEST(Krvmoment, UnknownTypeStops) {
  SourceTerms s;
  for (int type : {0, 5}) {
    try {
      krvmoment(type, mu, ro, vp, vs, s);
      FAIL() << type;
    } catch (const Stop& e) {
      EXPECT_STREQ(e.what(), " Error in krvmoment: wrong source type switch no!");
    }
  }
}

}  // namespace
}  // namespace kirva
