// Small layered models for the response tests and an independent reference solution: one global
// linear system for the coefficients of all layers, solved directly.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "model/model.h"
#include "response/response.h"
#include "response/source.h"

namespace kirva::testing {

struct Row {
  double thick, vp, vs, ro;  // thick = 0 for the half-space (last row)
};

LayerTable make_table(const std::vector<Row>& rows);

// The kernels' row constants of a table (large: kept on the heap).
std::unique_ptr<RowTable> row_table(const LayerTable& lt);

// Computational layers for the source depth zs and observation depth zrec, cut at every table
// interface, at zs, zrec and at the extra depths.
ComputationalLayers cut_layers(const LayerTable& lt, double zs, double zrec,
                               const std::vector<double>& extra = {});

// Source terms carrying the given right-hand side as it is (no wavenumber factors).
SourceTerms jump(double b1, double b2, double b3, double b4, double b5, double b6);

// The four elementary static P-SV solutions of row r at depth offset z, in extended precision:
// [j][i] is component i of solution j, to be multiplied by exp(kz) for j = 0, 2 and by exp(-kz)
// for j = 1, 3. The layer-matrix tests check them against the equilibrium equations.
std::array<std::array<long double, 4>, 4> elementary_solutions(double k, long double z, int r,
                                                               const LayerTable& lt);

// Reference P-SV and SH vectors at the observation depth (the field just above the source when
// zrec = zs) for the right-hand side b at wavenumber k, without any depth cut-off. fluid_bottom:
// free shear at the top of the last layer instead of decay in it.
std::array<double, 4> reference_psv(const LayerTable& lt, const ComputationalLayers& cl, double k,
                                    const std::array<double, 4>& b, bool fluid_bottom = false);
std::array<double, 2> reference_sh(const LayerTable& lt, const ComputationalLayers& cl, double k,
                                   const std::array<double, 2>& b, bool fluid_bottom = false);

}  // namespace kirva::testing
