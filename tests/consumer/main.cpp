// SPDX-License-Identifier: Apache-2.0
// Built against an installed Varnel: fits the example data and checks R,
// and catches one of the library's faults by its public base class (which
// needs the fault classes' type information exported from a shared library).
// The same fit from the engine, with no component: its headers are
// installed and its functions exported.
#include <cmath>
#include <cstring>
#include <vector>
#include <varnel/engine.h>
#include <varnel/korlen.h>
#include <varnel/version.h>

int main() {
  varnel::TKorlen Korlen;
  const double X1[] = {1, 2, 3, 4, 5}, X2[] = {21, 20, 25, 24, 26}, Y[] = {12, 23, 46, 32, 39};
  for (int i = 0; i < 5; ++i) {
    (*Korlen.PRegressData)[1][i] = X1[i];
    (*Korlen.PRegressData)[2][i] = X2[i];
    Korlen.Y[i] = Y[i];
  }
  Korlen.MVPrepare();
  const varnel::TMultStatRec Rec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5);
  if (std::fabs(static_cast<double>(Rec.R) - 0.851371) >= 1e-6) return 1;
  const std::vector<std::vector<double>> Columns = {{X1, X1 + 5}, {X2, X2 + 5}, {Y, Y + 5}};
  const varnel::engine::TBatch Batch = varnel::engine::MakeBatch(Columns);
  const varnel::engine::TFit Fit = varnel::engine::Solve(varnel::engine::Accumulate(Batch));
  const varnel::engine::TInference Inference = varnel::engine::Infer(Fit, varnel::engine::StreamedSse(Fit, Batch));
  if (std::fabs(std::sqrt(static_cast<double>(Inference.R2)) - 0.851371) >= 1e-6) return 4;
  try {
    varnel::ReadComponentFromText("object A: TNoSuchClass\r\nend\r\n");
    return 2;
  } catch (const varnel::EVarnelError&) {
  }
  return std::strlen(VARNEL_VERSION_STRING) > 0 ? 0 : 3;
}
