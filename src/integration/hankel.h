// From wavenumber to distance: the Hankel transforms that turn the kernels into Green's functions.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "integration/bessel.h"
#include "response/response.h"
#include "tables/green.h"
#include "tables/limits.h"

namespace kirva {

inline constexpr double eps = 1.0e-8;  // kernel cut-off ratio and search tolerance

// What one integration reads besides its arguments.
struct HankelContext {
  double zs;                // source depth, m
  double zrec;              // observation depth, m
  double rhalf;             // smoothing half-length, m
  const BesselTables& tab;  // tabulated for order src.mazi
  const KernelContext& kernel;
};

// The kernel of one wavenumber sample as the distance sum reads it: y(1..6) after the asymptote
// is subtracted, times the sample weight sqrt(k)*dk, and the products with k and csign that the
// ten components need. Each value is held twice, ready for the two distances that the sum
// handles side by side; one 256-byte record per sample, read in order.
struct alignas(64) KernelSample {
  double k[2];
  double y1[2], y2[2], y3[2], y4[2], y5[2], y6[2];
  double ky1[2], mky3[2], ky5[2];         // k*y1, -k*y3, k*y5
  double cy3[2], cy4[2], cy5[2], cy6[2];  // csign*y3, csign*y4, ...
};

// A kernel sample of the accurate sum: y(1..6) after the asymptote is subtracted, times the whole
// weight k*dk*g*taper of its wavenumber (g the endpoint correction of the quadrature rule), and
// the products with k and csign that the ten components need. One 128-byte record per sample.
struct alignas(64) AccSample {
  double k;
  double y1, y2, y3, y4, y5, y6;
  double ky1, mky3, ky5;
  double cy3, cy4, cy5, cy6;
  double pad[2];
};

// Two distances of the distance sum, summed side by side: their running sums (slots 1-5 and
// 7-10) and where they stand in the samples. Scratch of krvhsum_chunk, kept from one chunk of
// samples to the next.
struct DistancePair {
  double g[9][2];
  double cr[2], e[2], a[2], r[2], rs[2];
  long long nl[2];  // each distance's last sample with a directly tabulated argument
  long long nend;   // the larger of the two
  long long i;      // next sample
  bool live[2];     // the taper is still above the cut
  bool done;
  int js[2];  // the distances' indices
  // Beyond its directly tabulated range a distance goes on alone (the tail): its sums, its next
  // sample, and its state (0 not yet known, 1 running, 2 ended, 3 none).
  double tg[2][10];
  long long ti[2];
  int tstate[2];
};

// Kernel samples are produced and summed in chunks of this many, a multiple of the sum's block of
// 64 samples: 512 KB per worker, whatever the sample count.
inline constexpr long long kChunk = 2048;

// Scratch of one integration (one per worker), and what the last call found.
struct HankelWork {
  std::array<double, nrmax + 1> rsmooth{};
  std::array<double, 7> yasym{};  // asymptote of the kernel (slopes for 2, 4, 6); 0 unless asymok
  bool asymok = false;            // the asymptote was found and subtracted
  double kasym = 0.0;             // the wavenumber at which it was found, 1/m
  double kmax = 0.0;              // cut-off wavenumber, 1/m
  double dk = 0.0;                // wavenumber step, 1/m
  long long nktot = 0;            // wavenumber samples of the sum
  long long nkernel = 0;          // kernel evaluations (searches and samples)
  bool psvflag = false, shflag = false;  // the P-SV and the SH kernel are computed
  int ir0 = 1;                           // first distance of the sum: 2 when r(1) is the axis
  std::array<double, 7> s0{}, s1{};      // the sums of the zero distance (no asymptote)
  bool shterms = false;                  // the SH kernel or the n*J_n/x terms take part in the sum
  bool exact_near_axis = false;          // sqrt(x) J_0 exact at small x (SourceTerms)
  std::vector<KernelSample> ksamp = std::vector<KernelSample>(kChunk);  // the current chunk
  std::vector<DistancePair> pairs = std::vector<DistancePair>((nrmax + 1) / 2);
  int npairs = 0;  // pairs of the current sum
  // Accurate mode: a chunk of samples at a time, and the running sums of every distance.
  std::vector<AccSample> asamp;
  std::vector<std::array<double, 10>> asum;
};

// y(1..6) = 0, then the P-SV part (psvflag) and the SH part (shflag) at wavenumber k.
void krvresp(std::array<double, 7>& y, double k, bool psvflag, bool shflag, double eps,
             const KernelContext& ctx);

// Fills grn for distances r(1..nr) (1-based) for the current source and depth pair: krvhprep,
// then chunk by chunk the kernel at the wavenumber samples and their distance sum, krvhfinish.
// Memory does not grow with the number of samples.
void krvhankel(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double sampfac,
               double lambda, double mu, const HankelContext& ctx, HankelWork& work);

// The same integration of another earth, for which the tables are to vary smoothly with its
// moduli (the Laplace-domain earths of a run through time): the sampling, the cut-off and the
// wavenumber of the asymptote that the last krvhprep left in work are kept, the asymptote is
// taken afresh at that wavenumber, and the sum runs as in krvhankel.
void krvhankel_resampled(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                         double lambda, double mu, const HankelContext& ctx, HankelWork& work);
// Tables whose kernels are fixed combinations of the kernels of several earths that share the
// moduli at the observation depth (lambda, mu): grn[i] from sum_m weight[i * M + m] * kernel of
// nodes[m], for the Laplace nodes of a run through time. Each is integrated as
// krvhankel_resampled would integrate the combination (the sampling, cut-off and asymptote
// wavenumber of base, the last krvhprep), but the Hankel sums run once per table rather than
// once per node. work[i] is the scratch of table i; ctx gives the Bessel tables and the source
// type; ybuf is scratch (M * kChunk kernels).
void krvhankel_combined(std::span<GreenTable> grn, std::span<HankelWork> work,
                        const HankelWork& base, std::span<const KernelContext> nodes,
                        std::span<const double> weight, const std::array<double, nrmax + 1>& r,
                        int nr, double lambda, double mu, const HankelContext& ctx,
                        std::vector<std::array<double, 7>>& ybuf);

// Steps 5 to 8 of krvhankel: the sum over the sampling left in work, and krvhfinish.
void krvhsum_sampled(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double lambda,
                     double mu, const HankelContext& ctx, HankelWork& work);

// The steps before the sum: grn cleared, the smoothing lengths, at equal depths the asymptote of
// the kernel, the cut-off wavenumber and the sampling, all left in work.
void krvhprep(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double sampfac,
              double mu, const HankelContext& ctx, HankelWork& work);
// The kernel at sample k as it enters the sum: krvresp, the asymptote subtracted when there is
// one, otherwise, with the axis among the distances, the zero-distance sums advanced.
void krvhkernel(std::array<double, 7>& y, double k, const HankelContext& ctx, HankelWork& work);
// Its second half, on a kernel y already computed at k.
void krvhkernel_adjust(std::array<double, 7>& y, double k, HankelWork& work);
// The steps after the sum: the zero distance from the sums work.s0 and work.s1, the analytic
// transforms of a subtracted asymptote, the horizontal strains, the strains from the stresses.
void krvhfinish(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double lambda,
                double mu, const HankelContext& ctx, const HankelWork& work);

// Steps 6 to 8 of krvhfinish for the source src: what does not depend on how the sums were made.
void krvhcomplete(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double lambda,
                  double mu, const SourceTerms& src, const HankelWork& work);

// The start of an integration in either mode: which kernels the source excites (work.psvflag,
// work.shflag), grn cleared for the distances 1..nr, the asymptote and the axis sums reset.
void krvhstart(GreenTable& grn, int nr, const SourceTerms& src, HankelWork& work);
// One step of the asymptote search at equal depths: the kernel at k (depth cut-off ratio keps),
// its stresses over k*mu, against the previous step held in ya, which it replaces; true when the
// two agree to tol (squared difference against the squared norm).
bool asymptote_step(std::array<double, 7>& ya, double k, double mu, double tol, double keps,
                    bool psvflag, bool shflag, const KernelContext& kernel, long long& nkernel);

// The record of the sample at wavenumber k (step dk) of the kernel y(1..6).
void krvksample(KernelSample& s, double k, double dk, const std::array<double, 7>& y, double csign);

// The distance sum, fed chunk by chunk with the samples k_i = i*dk, i = 1..nktot (dk, nktot,
// rsmooth and shterms as left in work by krvhprep and krvhankel), for the distances
// r(ir0..nr) > 0. Each distance sums its samples in increasing order whatever the chunks.
// krvhsum_start: the distances and their ranges of directly tabulated arguments.
void krvhsum_start(const std::array<double, nrmax + 1>& r, int nr, int ir0, const BesselTables& tab,
                   HankelWork& work);
// The samples i1..i2 (ks[0] is sample i1); i1 = 1 + a multiple of kChunk, i2 = i1 + kChunk - 1
// or nktot, chunks in increasing order.
void krvhsum_chunk(const KernelSample* ks, long long i1, long long i2, const BesselTables& tab,
                   HankelWork& work);
// Sets slots 1-5 and 7-10 of grn to the tapered sums, the order of the tables being the
// source's. Slot 6 and the distances not summed are left as they are.
void krvhsum_end(GreenTable& grn, const HankelWork& work);

}  // namespace kirva
