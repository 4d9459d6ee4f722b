// Gauss-Jordan solver with complete pivoting and the array helpers.
#include "response/solver.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "routines.h"

namespace kirva {
namespace {

TEST(Cgemp, ZeroMatrixFailsAndLeavesRightHandSide) {
  double a[9] = {};
  double b[3] = {1.0, -2.0, 3.0};
  int flag = 7;
  cgemp(a, b, 3, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(b[0], 1.0);
  EXPECT_EQ(b[1], -2.0);
  EXPECT_EQ(b[2], 3.0);
}

TEST(Cgemp, EmptySystemSucceeds) {
  double a[1] = {5.0}, b[1] = {6.0};
  int flag = 0;
  cgemp(a, b, 0, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(a[0], 5.0);
  EXPECT_EQ(b[0], 6.0);
}

TEST(Cgemp, OffDiagonalPivotGivesNaturalOrder) {
  // a = ((0, 2), (3, 1)) by rows; solution (1, 2).
  double a[4] = {0.0, 3.0, 2.0, 1.0};
  double b[2] = {4.0, 5.0};
  int flag = 0;
  cgemp(a, b, 2, 1, 1.0e-99, flag);
  ASSERT_EQ(flag, 1);
  EXPECT_NEAR(b[0], 1.0, 1e-15);
  EXPECT_NEAR(b[1], 2.0, 1e-15);
  EXPECT_NEAR(a[0], 1.0, 1e-15);
  EXPECT_NEAR(a[3], 1.0, 1e-15);
}

TEST(Cgemp, PivotsOffTheDiagonalAreUnscrambled) {
  // a = ((0, 3), (2, 0)) by rows: the first pivot sits in row 1, column 2, so the unknowns come out
  // of the elimination in reverse order. Two right-hand sides: (1, 2) and (-1, 5).
  double a[4] = {0.0, 2.0, 3.0, 0.0};
  double b[4] = {6.0, 2.0, 15.0, -2.0};
  int flag = 0;
  cgemp(a, b, 2, 2, 1.0e-99, flag);
  ASSERT_EQ(flag, 1);
  EXPECT_EQ(b[0], 1.0);
  EXPECT_EQ(b[1], 2.0);
  EXPECT_EQ(b[2], -1.0);
  EXPECT_EQ(b[3], 5.0);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(a[1], 0.0);
  EXPECT_EQ(a[2], 0.0);
  EXPECT_EQ(a[3], 1.0);
}

// Singular systems stop after the first step, which shows the pivot that was taken.
TEST(Cgemp, TieInARowTakesTheLowerColumn) {
  // Rows (2, -2) and (1, -1): |2| = |-2|; pivot 2 in column 1 scales row 1 to (1, -1).
  double a[4] = {2.0, 1.0, -2.0, -1.0};
  double b[2] = {6.0, 3.0};
  int flag = 1;
  cgemp(a, b, 2, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(a[2], -1.0);
  EXPECT_EQ(b[0], 3.0);
  EXPECT_EQ(a[1], 0.0);
  EXPECT_EQ(a[3], 0.0);
}

TEST(Cgemp, TieBetweenRowsTakesTheUpperRow) {
  // Rows (2, 1) and (-2, -1): both |2| in column 1; row 1 keeps its place, so b(1) = 8/2
  // (the lower row would have given -6/-2).
  double a[4] = {2.0, -2.0, 1.0, -1.0};
  double b[2] = {8.0, -6.0};
  int flag = 1;
  cgemp(a, b, 2, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(b[0], 4.0);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(a[2], 0.5);
}

TEST(Cgemp, PivotThresholdIsInclusive) {
  double a[1] = {1e-99}, b[1] = {1.0};
  int flag = 1;
  cgemp(a, b, 1, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 0);
  a[0] = 2e-99;
  cgemp(a, b, 1, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_DOUBLE_EQ(b[0], 5e98);
}

TEST(Cgemp, FourByFourAgainstDirectSolution) {
  // Badly scaled rows and columns, largest entries off the diagonal.
  const double rows[4][4] = {{0.5, 3e4, -2.0, 0.0},
                             {-7e-3, 1.0, 11.0, 4e2},
                             {9.0, -2.5, 0.25, 6e-2},
                             {1.0, 8e3, 3.0, -1e3}};
  const double x[4] = {1.5, -2e-4, 3.25, 7e-3};
  double a[16], b[4];
  for (int i = 0; i < 4; ++i) {
    b[i] = 0.0;
    for (int j = 0; j < 4; ++j) {
      a[j * 4 + i] = rows[i][j];
      b[i] += rows[i][j] * x[j];
    }
  }
  int flag = 0;
  cgemp(a, b, 4, 1, 1.0e-99, flag);
  ASSERT_EQ(flag, 1);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(b[i], x[i], 1e-12 * std::fabs(x[i])) << i;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a[j * 4 + i], i == j ? 1.0 : 0.0, 1e-12);
}

TEST(Cgemp, ParallelVectorsFromAboveGiveLargeSolutionNotFailure) {
  // Column 2 is 0.1 times column 1 up to rounding: not exactly singular, so the solver goes on and
  // returns a huge solution.
  const double c1[4] = {1.1, 0.7, 1.3, 0.9};
  double a[16] = {};
  for (int i = 0; i < 4; ++i) {
    a[i] = c1[i];
    a[4 + i] = c1[i] * 0.1;
  }
  a[8] = 1.0;
  a[10] = 2.0;
  a[13] = 1.0;
  a[15] = 3.0;
  double b[4] = {1.0, 0.0, 0.0, 0.0};
  int flag = 0;
  cgemp(a, b, 4, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_GT(std::fabs(b[0]) + std::fabs(b[1]), 1e12);
}

TEST(Mprod, FourByTwoTimesTwoByTwo) {
  const double a[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // columns (1,2,3,4), (5,6,7,8)
  const double b[4] = {1, -1, 2, 0.5};           // ((1, 2), (-1, 0.5)) by rows
  double ab[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  mprod(a, b, 4, 2, 2, ab);
  const double expect[8] = {-4, -4, -4, -4, 4.5, 7, 9.5, 12};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ab[i], expect[i]) << i;
}

TEST(Vcopy, CopiesAndIgnoresEmptyRuns) {
  const double src[3] = {1, 2, 3};
  double dst[3] = {0, 0, 0};
  vcopy(src, dst, 0);
  vcopy(src, dst, -4);
  EXPECT_EQ(dst[0], 0.0);
  vcopy(src, dst, 3);
  EXPECT_EQ(dst[2], 3.0);
}

}  // namespace
}  // namespace kirva
