// Built against an installed Varnel: fits the example data and checks R.
#include <cmath>
#include <varnel/korlen.h>

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
  return std::fabs(static_cast<double>(Rec.R) - 0.851371) < 1e-6 ? 0 : 1;
}
