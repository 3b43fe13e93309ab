// The tool's commands. Each runs the component on the data and writes its
// results; the return value is the exit status (0, or 1 when the component
// rejected the analysis).
#pragma once

#include <string>

#include <varnel/korlen.h>

#include "data_set.h"
#include "output.h"

namespace varnel::cli {

struct TOptions {
  int Alpha = 95;
  bool NoScan = false;
  Extended BetaThreshold = 0;     // regress: coefficients compared with it
  double OutlierThreshold = 3.0;  // distance: flags of the Mahalanobis distance
  double AccWeight = 0.5, SimpWeight = 0.5;  // select: the all-subsets rating
  int Clusters = 3, Iterations = 10;
  std::string Report;             // cluster: report file; empty: a temporary one
  int DF = 10;                    // table
  std::string Level = ".95";      // table
  double Z = 1.96;                // table
};

int RunRegress(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunDiagnose(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunDescribe(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunSelect(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunPca(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunDistance(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunCluster(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);
int RunTable(TKorlen& Korlen, const TOptions& Options, TOutput& Out);
// regress, diagnose and describe in one report.
int RunFullAnalysis(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out);

}  // namespace varnel::cli
