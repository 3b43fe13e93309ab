// The tool's command line: options and subcommands, parsed with CLI11, and
// the dispatch to the analyses.
#include "command_line.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <new>
#include <unistd.h>

#include <varnel/design/editor.h>
#include <varnel/korlen.h>

#include "analyses.h"
#include "csv_table.h"
#include "data_set.h"
#include "output.h"
#include "posix_io.h"

namespace {

using namespace varnel;
using namespace varnel::cli;

constexpr int kInputError = 2;
constexpr int kRejected = 1;
constexpr int kFailed = 1;  // a failed write, exhausted memory

struct TDataOptions {
  std::string File;
  std::string Y;
  std::vector<std::string> X;
  std::string Separator = ",";
  bool Csv = false;
  bool Raw = false;
};

void AddDataOptions(CLI::App& App, TDataOptions& Data, TOptions& Options) {
  App.add_option("file", Data.File,
                 "CSV file with a header row of names, rows of at most 1 MiB, at most 256 MiB in all "
                 "(default: the built-in example)");
  App.add_option("--y", Data.Y, "response column (default: the last column)");
  App.add_option("--x", Data.X, "predictor columns, comma-separated (default: every other column)")->delimiter(',');
  App.add_option("--sep", Data.Separator, "field separator (default: ,)");
  App.add_option("--alpha", Options.Alpha, "confidence level of the t values: 90, 95 or 99")
      ->check(CLI::IsMember({90, 95, 99}));
  App.add_flag("--no-scan", Options.NoScan, "skip the component's plausibility scan of the predictors");
  App.add_flag("--csv", Data.Csv, "write tables as CSV");
  App.add_flag("--raw", Data.Raw, "write the component's texts as their Windows-1252 bytes");
}

TAnalysisData LoadData(const TDataOptions& Options) {
  if (Options.File.empty()) return ExampleData();
  if (Options.Separator.size() != 1) throw TInputError("--sep takes a single character");
  // The header is checked before any row is read, and only the picked
  // columns are kept: the predictors, then the response.
  const auto Pick = [&Options](const std::vector<std::string>& Names) {
    return PickColumns(Names, Options.File, Options.Y, Options.X);
  };
  const TCsvTable Table = ReadCsv(Options.File, Options.Separator[0], MaxObs - 1, Pick);
  return SelectColumns(Table, Options.File, "", {});
}

using TAnalysis = std::function<int(TKorlen&, const TAnalysisData&, const TOptions&, TOutput&)>;

// Shows the one line of a failed command, if any. A failed write to
// standard output outranks everything else: whatever the command did, its
// results did not arrive.
int Finish(int Status, std::string Problem, TFdStream& Stdout) {
  if (const std::string Failure = Stdout.Failure(); !Failure.empty()) {
    Status = kFailed;
    Problem = "standard output: " + Failure;
  }
  if (!Problem.empty()) std::cerr << "varnel: " << Problem << '\n';
  return Status;
}

// The component is 160 KB: it lives on the heap, not on the stack.
std::unique_ptr<TKorlen> MakeComponent(const TOptions& Options) {
  auto Korlen = std::make_unique<TKorlen>();
  Korlen->SetAlpha(Options.Alpha);
  Korlen->SetScanData(!Options.NoScan);
  return Korlen;
}

int Run(const TDataOptions& DataOptions, const TOptions& Options, const TAnalysis& Analysis, TFdStream& Stdout) {
  TAnalysisData Data;
  try {
    Data = LoadData(DataOptions);
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  }
  const auto Korlen = MakeComponent(Options);
  Load(*Korlen, Data);
  TOutput Out(Stdout, DataOptions.Raw, DataOptions.Csv);
  try {
    const int Status = Analysis(*Korlen, Data, Options, Out);
    return Finish(Status, Status == kRejected ? "the component rejected the analysis of " + Data.Source : "", Stdout);
  } catch (const TInputError& Error) {  // what a command checks before its first output
    return Finish(kInputError, Error.what(), Stdout);
  } catch (const TWriteError& Error) {
    return Finish(kFailed, Error.what(), Stdout);
  } catch (const EVarnelError& Fault) {  // a fault that the component passes on to its caller
    return Finish(kRejected, std::string("the analysis failed: ") + Fault.what(), Stdout);
  }
}

// The commands that need the component but no data set. The component (and
// its 4 MB data matrix) is made only here and in Run, once per command.
int RunWithoutData(bool Verbs, bool About, bool Table, const TOptions& Options, bool Raw, TFdStream& Stdout) {
  const auto Korlen = MakeComponent(Options);
  TOutput Out(Stdout, Raw, false);
  int Status = 0;
  if (Verbs) {
    Register();
    const auto Editor = ComponentEditorOf(Korlen.get());
    for (int i = 0; i < Editor->VerbCount(); ++i) Out.ComponentText(Editor->VerbCaption(i));
  } else if (Table) {
    Status = RunTable(*Korlen, Options, Out);
  } else {
    Out.ComponentText(About ? Korlen->AboutText : Korlen->ExampleText);
  }
  return Finish(Status, "", Stdout);
}

}  // namespace

namespace varnel::cli {

namespace {

int RunTool(int argc, char** argv) {
  bool Raw = false;
  for (int i = 1; i < argc; ++i) Raw = Raw || std::string(argv[i]) == "--raw";
  TScopedMessageHandler Messages([Raw](const TMessage& Message) {
    std::cerr << (Raw ? Message.Text : TerminalLineEnds(ToUtf8(Message.Text))) << '\n';
  });

  CLI::App App{"varnel: multiple regression, diagnostics, descriptive statistics, model selection, "
               "principal components, distances and k-means on a CSV file of numbers"};
  App.require_subcommand(0, 1);
  TDataOptions Data;
  TOptions Options;
  AddDataOptions(App, Data, Options);
  TAnalysis Chosen = RunFullAnalysis;

  struct TCommand {
    const char* Name;
    const char* Help;
    TAnalysis Analysis;
  };
  const TCommand Commands[] = {
      {"regress", "regression summary, equation, interpretations and Durbin-Watson", RunRegress},
      {"diagnose", "per observation: fitted values, residuals, leverage, Cook's distance, intervals", RunDiagnose},
      {"describe", "per-variable summary, correlation and covariance matrices", RunDescribe},
      {"select", "nested forward and backward models, best nested model, all subsets (k <= 8)", RunSelect},
      {"pca", "eigen figures, condition indexes, factors and loadings of the correlation matrix", RunPca},
      {"distance", "Mahalanobis distance of every observation and outlier flags", RunDistance},
      {"cluster", "k-means clustering and its report", RunCluster},
  };
  std::vector<CLI::App*> Subcommands;
  for (const TCommand& Command : Commands) {
    CLI::App* Sub = App.add_subcommand(Command.Name, Command.Help);
    AddDataOptions(*Sub, Data, Options);
    Sub->callback([&Chosen, Analysis = Command.Analysis] { Chosen = Analysis; });
    Subcommands.push_back(Sub);
  }
  App.get_subcommand("regress")->add_option("--beta-threshold", Options.BetaThreshold,
                                            "coefficients compared with this value (default 0)");
  App.get_subcommand("distance")->add_option("--threshold", Options.OutlierThreshold,
                                             "flag distances above this, 0 < t < 5 (default 3)");
  CLI::App* Select = App.get_subcommand("select");
  Select->add_option("--acc-weight", Options.AccWeight, "weight of accuracy in the rating (default 0.5)");
  Select->add_option("--simp-weight", Options.SimpWeight, "weight of simplicity in the rating (default 0.5)");
  CLI::App* Cluster = App.get_subcommand("cluster");
  Cluster->add_option("--clusters", Options.Clusters, "number of clusters, 1 to 100 (default 3)")
      ->check(CLI::Range(1, 100));
  Cluster->add_option("--iterations", Options.Iterations, "iterations after the first, 0 to 255 (default 10)")
      ->check(CLI::Range(0, 255));
  Cluster->add_option("--report", Options.Report, "also write the report to this regular file (default: printed, not kept)");

  CLI::App* Table = App.add_subcommand("table", "t, z and chi-square look-ups and normal probabilities");
  Table->add_option("--df", Options.DF, "degrees of freedom (default 10)");
  Table->add_option("--level", Options.Level, "z level text: .90, .95, .99, 0.90, 0.95 or 0.99 (default .95)");
  Table->add_option("--z", Options.Z, "z for the normal probabilities (default 1.96)");
  Table->add_option("--alpha", Options.Alpha, "90, 95 or 99")->check(CLI::IsMember({90, 95, 99}));
  CLI::App* Verbs = App.add_subcommand("verbs", "the component editor's verbs");
  CLI::App* About = App.add_subcommand("about", "the component's about text");
  CLI::App* Example = App.add_subcommand("example", "the component's example text");
  for (CLI::App* Sub : {Table, Verbs, About, Example}) Sub->add_flag("--raw", Data.Raw, "Windows-1252 bytes");

  TFdStream Stdout(STDOUT_FILENO);
  try {
    App.parse(argc, argv);
  } catch (const CLI::CallForHelp& Help) {
    return Finish(App.exit(Help, Stdout, std::cerr), "", Stdout);
  } catch (const CLI::ParseError& Error) {
    App.exit(Error);
    return kInputError;
  }

  if (*Verbs || *About || *Example || *Table)
    return RunWithoutData(bool(*Verbs), bool(*About), bool(*Table), Options, Data.Raw, Stdout);
  return Run(Data, Options, Chosen, Stdout);
}

}  // namespace

// Exhausted memory can meet the tool anywhere (the component reports its
// own): one line, written without allocating, and status 1.
int RunCommandLine(int argc, char** argv) {
  ReserveStandardDescriptors();
  try {
    return RunTool(argc, argv);
  } catch (const std::bad_alloc&) {
    static const char kLine[] = "varnel: out of memory\n";
    WriteAll(STDERR_FILENO, kLine, sizeof kLine - 1);
    return kFailed;
  }
}

}  // namespace varnel::cli
