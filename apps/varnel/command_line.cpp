// SPDX-License-Identifier: Apache-2.0
// The tool's command line: options and subcommands, parsed with CLI11, and
// the dispatch to the analyses.
#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <varnel/design/editor.h>
#include <varnel/korlen.h>
#include <varnel/version.h>

#include "analyses.h"
#include "cluster_errors.h"
#include "csv_table.h"
#include "data_set.h"
#include "formula/model_data.h"
#include "output.h"
#include "output_target.h"
#include "plots/figures.h"
#include "plots/plot_file.h"
#include "posix_io.h"
#include "processes/processes.h"
#include "reading/row_reader.h"
#include "reading/streamed_data.h"
#include "results.h"
#include "streamed_analyses.h"
#include "streamed_cluster.h"
#include "streamed_select.h"
#include "models/nested_anova.h"
#include "models/generalised_linear.h"
#include "models/prediction.h"

namespace {

using namespace varnel;
using namespace varnel::cli;

// The processes of this run: this one alone, or those under mpirun.
TProcesses* GProcesses = &OneProcess();

// A run for a caller in this process (RunCommandInProcess): its input, and
// what the run gives back instead of writing it. Per thread, so that
// callers on several threads each run their own command.
struct TCapture {
  std::shared_ptr<const std::string> Text;
  std::string Name;
  std::string Problem;  // the tool's one line, when the run fails
  TInProcessResults Out;
};
thread_local TCapture* GCapture = nullptr;

constexpr int kInputError = 2;
constexpr int kRejected = 1;
constexpr int kFailed = 1;  // a failed write, exhausted memory

struct TDataOptions {
  std::vector<std::string> Files;
  std::string Y;
  std::vector<std::string> X;
  std::string Separator;  // empty: guessed from the header line
  std::string Decimal = ".";
  std::vector<std::string> Missing;  // more texts that mean a missing value
  std::string OnMissing = "drop";
  std::vector<std::string> Factors;
  std::map<std::string, std::vector<std::string>> Levels;  // predict: each factor's levels in the model
  std::vector<std::string> References;  // --ref NAME=LEVEL
  std::string Formula;
  std::vector<std::string> Formulas;  // anova: the models, the smallest first
  bool Offsets = false;  // glm and predict: the formula may have offset() terms
  std::string Cluster;  // regress --cluster: read after the response, never a predictor
  std::string Weights;  // regress --weights: read after the cluster column, never a predictor
  bool Verbose = false;
  // The data held in memory, named Files[0], read in place of a file.
  std::shared_ptr<const std::string> Text;
};

// How the results are written.
struct TWriteOptions {
  bool Csv = false;
  bool Json = false;
  bool Raw = false;
  std::string Table;  // the one table to write; empty: every table (CSV: the main one)
  std::string Output;  // -o: the file that takes the output, written whole or not at all
};

// --plot: the picture's file and size.
struct TPlotOptions {
  std::string File;
  TImageSize Size;
};

// A two-sided level strictly between 0 and 1.
std::string CheckLevel(const std::string& Text) {
  char* End = nullptr;
  const double Level = std::strtod(Text.c_str(), &End);
  return *End == '\0' && Level > 0 && Level < 1 ? "" : "a level is a probability between 0 and 1, as 0.95";
}

void AddWriteOptions(CLI::App& App, TWriteOptions& Write) {
  App.add_flag("--csv", Write.Csv, "write one table (the main one, or --table) as CSV");
  App.add_flag("--json", Write.Json, "write every table as one JSON object");
  App.add_option("--table", Write.Table, "the table to write (its name, as --json shows them)");
  App.add_flag("--raw", Write.Raw, "write the component's texts as their Windows-1252 bytes");
  App.add_option("-o,--output", Write.Output,
                 "write the output to this file (replaced only when all is written; - is standard output)");
}

// The options that only some data commands take: each command is given the
// ones it uses, so that another is refused, not silently ignored.
enum TUses : unsigned { kLevel = 1, kIntercept = 2, kReportTexts = 4, kAlpha = 8, kScan = 16, kFormula = 32 };

// Columns: --y and --x, which predict and anova take from a model or a
// formula; Coding: the options of the cells' coding, which predict takes
// from its model.
void AddInputOptions(CLI::App& App, TDataOptions& Data, bool Columns = true, bool Coding = true) {
  App.add_option("file", Data.Files,
                 "CSV file (or its .gz) with a header row of names, rows of at most 1 MiB "
                 "(default: the built-in example); several files, or a folder of them, are read "
                 "one after the other as one data set");
  if (Columns) {
    App.add_option("--y", Data.Y, "response column (default: the last column)");
    App.add_option("--x", Data.X, "predictor columns, comma-separated (default: every other column)")
        ->delimiter(',')
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
  }
  App.add_option("--sep", Data.Separator,
                 "field separator: one character, \\t, tab, semicolon, comma or space (runs of blanks); "
                 "default: guessed from the header line (comma, semicolon or tab)");
  App.add_option("--decimal", Data.Decimal, "decimal mark of the numbers: . (default) or ,")
      ->check(CLI::IsMember({".", ","}));
  App.add_option("--na", Data.Missing, "a text that means a missing value, besides empty, NA, NaN, . and null")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  if (Coding) {
    App.add_option("--missing", Data.OnMissing,
                   "drop (default: rows missing a used value are left out, as R's na.omit) or fail")
        ->check(CLI::IsMember({"drop", "fail"}));
    App.add_option("--factor", Data.Factors, "code this numeric predictor as a factor (text columns always are)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    App.add_option("--ref", Data.References,
                   "NAME=LEVEL: the factor's reference level, against which its dummies are coded (as R's relevel)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
  }
  App.add_flag("--verbose", Data.Verbose, "say on standard error which columns go unused and the separator guessed");
}

void AddCommandOptions(CLI::App& App, unsigned Uses, TOptions& Options) {
  if (Uses & kLevel) {
    App.add_option("--level", Options.Level, "two-sided level of every interval and flag (default 0.95)")
        ->check(CLI::Validator(CheckLevel, "LEVEL"));
  }
  if (Uses & kIntercept) {
    App.add_flag("--no-intercept", [&Options](std::int64_t) { Options.Intercept = false; },
                 "fit through the origin (R² about zero)");
  }
  if (Uses & kReportTexts) {
    App.add_flag("--report-texts", Options.ReportTexts, "write the component's own report texts instead of the tables");
  }
  if (Uses & kAlpha) {
    App.add_option("--alpha", Options.Alpha, "the component's one-tailed t level in its report texts: 90, 95 or 99")
        ->check(CLI::IsMember({90, 95, 99}));
  }
  if (Uses & kScan) {
    App.add_flag("--scan", Options.Scan,
                 "refuse predictors that the component's plausibility scan rejects (more than one summing to about "
                 "zero, or two of nearly the same total), naming them; not with a factor");
  }
  App.add_flag("--no-scan", Options.NoScan, "the default: the predictors are not scanned");
  App.add_option("--threads", Options.Threads,
                 "threads that read and reduce a file beyond 19,999 rows or 24 predictors, 1 to 1024 (default: one "
                 "per core); the output is the same for any number")
      ->check(CLI::Range(1, 1024));
}

void AddDataOptions(CLI::App& App, unsigned Uses, TDataOptions& Data, TOptions& Options, TWriteOptions& Write) {
  AddInputOptions(App, Data);
  if (Uses & kFormula) {
    App.add_option("--formula", Data.Formula,
                   "the model as R writes it, instead of --y and --x: \"log(y) ~ x1*x2 + region + I(x3^2) - 1\" "
                   "(+ : * ^ - . I() log log2 log10 exp sqrt abs poly(x, d, raw = TRUE); terms and coefficients "
                   "named as R names them)");
  }
  AddCommandOptions(App, Uses, Options);
  AddWriteOptions(App, Write);
}

TReadOptions ReadOptionsOf(const std::string& Separator) {
  TReadOptions Read;
  if (Separator == "space") {
    Read.Blanks = true;
  } else if (Separator == "\\t" || Separator == "tab") {
    Read.Separator = '\t';
  } else if (Separator == "semicolon") {
    Read.Separator = ';';
  } else if (Separator == "comma") {
    Read.Separator = ',';
  } else if (Separator.size() == 1) {
    Read.Separator = Separator[0];
  } else if (!Separator.empty()) {
    throw TInputError("--sep takes one character, \\t, tab, semicolon, comma or space");
  }
  if (Read.Separator == '"' || Read.Separator == '\n' || Read.Separator == '\r') {
    throw TInputError("--sep cannot be a quote or a line end");
  }
  return Read;
}

std::string TrimmedName(const std::string& Name);

TDataRules RulesOf(const TDataOptions& Options) {
  TDataRules Rules;
  // A decimal comma in a comma-separated file is read from quoted cells
  // ("11,43"); unquoted, it splits its cell and the row's length says so.
  Rules.Decimal = Options.Decimal[0];
  Rules.Missing.insert(Rules.Missing.end(), Options.Missing.begin(), Options.Missing.end());
  Rules.FailOnMissing = Options.OnMissing == "fail";
  Rules.Factors = Options.Factors;
  Rules.Offsets = Options.Offsets;
  Rules.Levels = Options.Levels;
  for (const std::string& Reference : Options.References) {
    const auto Equals = Reference.find('=');
    if (Equals == std::string::npos || Equals == 0 || Equals + 1 == Reference.size())
      throw TInputError("--ref takes NAME=LEVEL, as --ref region=North");
    Rules.References.emplace_back(TrimmedName(Reference.substr(0, Equals)), TrimmedName(Reference.substr(Equals + 1)));
  }
  Rules.Key = Options.Cluster;
  Rules.Weights = Options.Weights;
  return Rules;
}

// Without a file, standard input is read when it is a pipe or a file (not
// a terminal, nor /dev/null, which leave the built-in example).
bool StandardInputGiven() {
  struct stat Status {};
  return ::fstat(STDIN_FILENO, &Status) == 0 && (S_ISFIFO(Status.st_mode) || S_ISREG(Status.st_mode));
}

// The files of a folder, in the byte order of their names, but for hidden
// ones and those that writers of part files put beside the parts (names
// that begin with "." or "_", as _SUCCESS and .part-0.crc).
std::vector<std::string> FolderFiles(const std::string& Folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> Files;
  std::error_code Error;
  for (fs::directory_iterator It(Folder, Error), End; !Error && It != End; It.increment(Error)) {
    const std::string Name = It->path().filename().string();
    std::error_code Kind;
    if (Name.empty() || Name[0] == '.' || Name[0] == '_' || !It->is_regular_file(Kind)) continue;
    Files.push_back(It->path().string());
  }
  if (Error) throw TInputError(Printable(Folder) + ": cannot read the folder: " + Error.message());
  if (Files.empty()) throw TInputError(Printable(Folder) + ": the folder holds no data file");
  std::sort(Files.begin(), Files.end());
  return Files;
}

// The files to read, a folder given as its files; none for the built-in
// example.
std::vector<std::string> InputPaths(const std::vector<std::string>& Given) {
  if (Given.empty()) return StandardInputGiven() ? std::vector<std::string>{"-"} : std::vector<std::string>{};
  std::vector<std::string> Files;
  for (const std::string& Name : Given) {
    std::error_code Error;
    if (Name == "-" || !std::filesystem::is_directory(Name, Error)) {
      Files.push_back(Name);
      continue;
    }
    const std::vector<std::string> Inside = FolderFiles(Name);
    Files.insert(Files.end(), Inside.begin(), Inside.end());
  }
  return Files;
}

std::string FirstRows(const std::vector<long long>& Rows) {
  std::string Text;
  for (std::size_t i = 0; i < Rows.size() && i < 10; ++i) Text += (i ? ", " : "") + std::to_string(Rows[i]);
  return Rows.size() > 10 ? Text + ", ..." : Text;
}

// What the reading left out, on standard error: dropped rows always, the
// unused columns and a guessed separator with --verbose.
void SayWhatWasLeftOut(const TAnalysisData& Data, const TCsvTable& Table, const TDataOptions& Options) {
  if (!Data.Dropped.empty()) {
    std::cerr << "varnel: " << Data.Source << ": " << Data.Dropped.size() << " row"
              << (Data.Dropped.size() == 1 ? "" : "s") << " with a missing value left out (data rows "
              << FirstRows(Data.Dropped) << ")\n";
  }
  if (!Options.Verbose) return;
  if (Table.Guessed) {
    const char* Name = Table.Separator == '\t' ? "tab" : Table.Separator == ';' ? "semicolon" : "comma";
    std::cerr << "varnel: " << Data.Source << ": separator " << Name << " (from the header line)\n";
  }
  if (Data.Unused.empty()) return;
  std::string Names;
  for (const auto& Name : Data.Unused) Names += (Names.empty() ? "" : ", ") + Name;
  std::cerr << "varnel: " << Data.Source << ": columns not used: " << Names << "\n";
}

// select's search: the method, the criterion that names the one best
// subset, and how many models of each size the table lists.
void AddSelectOptions(CLI::App& Select, TOptions& Options) {
  static const std::map<std::string, TSelectMethod> Methods{{"exhaustive", TSelectMethod::Exhaustive},
                                                            {"forward", TSelectMethod::Forward},
                                                            {"backward", TSelectMethod::Backward},
                                                            {"both", TSelectMethod::Both}};
  static const std::map<std::string, TSubsetCriterion> Criteria{{"adjr2", TSubsetCriterion::scAdjR2},
                                                                {"cp", TSubsetCriterion::scCp},
                                                                {"aic", TSubsetCriterion::scAIC},
                                                                {"bic", TSubsetCriterion::scBIC}};
  Select
      .add_option_function<std::string>(
          "--method", [&Options](const std::string& Name) { Options.Select.Method = Methods.at(Name); },
          "exhaustive (table best, the default) or a stepwise search by AIC: forward from the constant alone, "
          "backward or both from the full model (table steps)")
      ->check(CLI::IsMember({"exhaustive", "forward", "backward", "both"}));
  Select
      .add_option_function<std::string>(
          "--criterion", [&Options](const std::string& Name) { Options.Select.Criterion = Criteria.at(Name); },
          "the figure that names the best subset: adjr2, cp, aic or bic (default bic)")
      ->check(CLI::IsMember({"adjr2", "cp", "aic", "bic"}));
  Select.add_option("--nbest", Options.Select.NBest, "models of each size in table best, at least 1 (default 1)")
      ->check(CLI::Range(1, std::numeric_limits<int>::max()));
}

// Names as the header's are read: without blanks around them, so that
// --x "a, b" names a and b.
std::string TrimmedName(const std::string& Name) {
  const auto First = Name.find_first_not_of(" \t");
  return First == std::string::npos ? "" : Name.substr(First, Name.find_last_not_of(" \t") - First + 1);
}

std::vector<std::string> TrimmedNames(std::vector<std::string> Names) {
  for (auto& Name : Names) Name = TrimmedName(Name);
  return Names;
}

// The data: held whole for the component, or, when the command can run on
// the engine and the file is beyond the component's box, read in blocks.
struct TLoaded {
  TAnalysisData Data;
  std::unique_ptr<TStreamedData> Streamed;
};

// What the reading left out, for data read in blocks.
void SayWhatWasLeftOut(const TStreamedData& Data, const TDataOptions& Options) {
  if (Data.DroppedCount() > 0) {
    std::cerr << "varnel: " << Data.Source() << ": " << Data.DroppedCount() << " row"
              << (Data.DroppedCount() == 1 ? "" : "s") << " with a missing value left out (data rows "
              << FirstRows(Data.FirstDropped()) << (Data.DroppedCount() > Data.FirstDropped().size() ? ", ..." : "")
              << ")\n";
  }
  if (!Options.Verbose || Data.Unused().empty()) return;
  std::string Names;
  for (const auto& Name : Data.Unused()) Names += (Names.empty() ? "" : ", ") + Name;
  std::cerr << "varnel: " << Data.Source() << ": columns not used: " << Names << "\n";
}

// The first blocks of a file, up to the component's rows and one more, or
// to its end: a file that ends within them may fit the component.
std::vector<TRowText> FirstBlocks(TRowReader& Reader, bool& Ended) {
  const std::size_t Rows = BlockRowsFor(Reader.Header().Names.size());
  std::vector<TRowText> Blocks;
  std::size_t Read = 0;
  Ended = false;
  while (Read < static_cast<std::size_t>(MaxObs)) {
    TRowText Block;
    if (!Reader.Next(Rows, Block)) {
      Ended = true;
      break;
    }
    Read += Block.Rows();
    Blocks.push_back(std::move(Block));
  }
  return Blocks;
}

TCsvTable TableOf(const TRowReader& Reader, const std::vector<TRowText>& Blocks) {
  TCsvTable Table = EmptyTable(Reader);
  TFieldBlock Fields;
  for (const TRowText& Block : Blocks) {
    Reader.Split(Block, Fields);
    AddRows(Fields, Table);
  }
  return Table;
}

// A formula's columns, then those of --cluster and --weights, which it may
// also read (dead/n ~ dose with the weights n), though '.' leaves them out.
std::vector<int> FormulaPick(const TDataOptions& Options, const std::vector<std::string>& Names, const std::string& Shown,
                             bool Response) {
  std::vector<std::string> Dot;
  for (const std::string& Name : Names) {
    if (Name != Options.Cluster && Name != Options.Weights) Dot.push_back(Name);
  }
  std::vector<int> Columns = formula::FormulaColumns(Options.Formula, Names, Shown, Response, Dot);
  for (int c : CarriedColumns(Names, Shown, Options.Cluster, Options.Weights)) Columns.push_back(c);
  return Columns;
}

// The data read block by block on the engine, from the reader after its
// first blocks.
TLoaded StreamedLoad(std::unique_ptr<TRowReader> Reader, std::vector<TRowText> First, const TDataRules& Rules,
                     std::size_t Threads, TProcesses& Processes) {
  // Several processes on one machine share its cores.
  if (Threads == 0 && Processes.LocalCount() > 1)
    Threads = std::max<std::size_t>(1, std::thread::hardware_concurrency() / static_cast<unsigned>(Processes.LocalCount()));
  auto Streamed = std::make_unique<TStreamedData>(std::move(Reader), std::move(First), Rules, Threads, Processes);
  return {TAnalysisData{}, std::move(Streamed)};
}

// The data of the columns Pick takes: within the component's box, held
// whole and made by InBox (the component's data); beyond it, and for what
// fits on the engine only, read block by block.
TLoaded LoadEither(const std::vector<std::string>& Paths, const TReadOptions& Read, const TColumnPicker& Pick,
                   const TDataRules& Rules, bool CanStream, bool EngineOnly,
                   const std::function<TLoaded(const TCsvTable&)>& InBox, std::size_t Threads, TProcesses& Processes) {
  if (!CanStream) return InBox(ReadCsv(Paths, Read, Pick));
  auto Reader = std::make_unique<TRowReader>(Paths, Read, Pick);
  bool Ended = false;
  std::vector<TRowText> First = FirstBlocks(*Reader, Ended);
  if (First.empty()) throw TInputError(Printable(InputName(Paths)) + ": no row holds a value in every column used");
  if (Ended && !EngineOnly) {
    try {
      return InBox(TableOf(*Reader, First));
    } catch (const TCapacityError&) {  // read in blocks below
    }
  }
  return StreamedLoad(std::move(Reader), std::move(First), Rules, Threads, Processes);
}

// A model formula's data: within the component's box, the design it makes
// evaluated on the rows held whole; beyond it, block by block.
TLoaded LoadFormulaData(const TDataOptions& Options, const std::vector<std::string>& Paths, const TReadOptions& Read,
                        TDataRules Rules, bool CanStream, bool EngineOnly, std::size_t Threads, TProcesses& Processes) {
  if (!Options.X.empty() || !Options.Y.empty())
    throw TInputError("--formula names the response and the terms: give it without --x and --y");
  if (Paths.empty()) throw TInputError("--formula needs a data file: the built-in example has no column names to use");
  const std::string Shown = InputName(Paths);
  const auto Pick = [&](const std::vector<std::string>& Names) { return FormulaPick(Options, Names, Shown, !Rules.NoResponse); };
  Rules.Formula = Options.Formula;
  const auto InBox = [&](const TCsvTable& Table) {
    TAnalysisData Data = formula::FormulaData(Table, Shown, Options.Formula, Rules);
    SayWhatWasLeftOut(Data, Table, Options);
    return TLoaded{std::move(Data), nullptr};
  };
  return LoadEither(Paths, Read, Pick, Rules, CanStream, EngineOnly, InBox, Threads, Processes);
}

// NoResponse: every picked column is a predictor (pca, distance and
// cluster given --x without --y). CanStream: the command runs on the engine
// beyond the component's box.
TLoaded LoadData(const TDataOptions& Given, bool NoResponse, bool CanStream, bool EngineOnly, std::size_t Threads,
                 TProcesses& Processes) {
  const std::vector<std::string> Paths = Given.Text ? Given.Files : InputPaths(Given.Files);
  if (Paths.empty() && !(Given.Cluster.empty() && Given.Weights.empty()))
    throw TInputError("--cluster and --weights name a column of a data file, and none is given");
  if (Paths.empty()) return {ExampleData(), nullptr};
  TDataOptions Options = Given;
  Options.Y = TrimmedName(Options.Y);
  Options.X = TrimmedNames(Options.X);
  Options.Factors = TrimmedNames(Options.Factors);
  Options.Cluster = TrimmedName(Options.Cluster);
  Options.Weights = TrimmedName(Options.Weights);
  TReadOptions Read = ReadOptionsOf(Options.Separator);
  Read.Text = Given.Text;
  TDataRules Rules = RulesOf(Options);
  Rules.NoResponse = NoResponse;
  if (!Options.Formula.empty())
    return LoadFormulaData(Options, Paths, Read, Rules, CanStream, EngineOnly, Threads, Processes);
  // The header is checked before any row is read, and only the picked
  // columns are kept: the predictors, then the response.
  const std::string Shown = InputName(Paths);
  const std::size_t Most = CanStream ? kMaxStreamedPredictors : static_cast<std::size_t>(MaxVars);
  const auto Pick = [&](const std::vector<std::string>& Names) {
    return PickColumns(Names, Shown, Options.Y, Options.X, !NoResponse, Most, Options.Cluster, Options.Weights);
  };
  const auto InBox = [&](const TCsvTable& Table) {
    TAnalysisData Data = SelectColumns(Table, Shown, "", {}, Rules);
    SayWhatWasLeftOut(Data, Table, Options);
    return TLoaded{std::move(Data), nullptr};
  };
  return LoadEither(Paths, Read, Pick, Rules, CanStream, EngineOnly, InBox, Threads, Processes);
}

using TStreamedRun = int (*)(TStreamedData&, const TOptions&, TCommandResults&);

// What a command draws under --plot, from its results (and the data).
using TFigureOf = TFigure (*)(TKorlen&, const TAnalysisData&, const TCommandResults&);
// The same beyond the box, from the series the command gathered for it.
using TStreamedFigureOf = TFigure (*)(const TCommandResults&);

// What was chosen: the command's name as the JSON's meta shows it, whether
// it has a level, its analysis and its picture.
// Uses: its TUses. Unsupervised: it reads the predictors only, so that
// --x without --y names every column it uses.
struct TChoice {
  std::string Name = "analysis";
  bool HasLevel = true;
  TAnalysisRun Analysis = RunFullAnalysis;
  TFigureOf Figure = nullptr;
  unsigned Uses = kLevel | kIntercept | kReportTexts | kAlpha | kScan | kFormula;
  bool Unsupervised = false;
  TStreamedRun Streamed = nullptr;  // the command on data beyond the component's box, if it runs there
  TStreamedFigureOf StreamedFigure = nullptr;
};

// Each from the command's typed results, which a run that gives tables has
// (--plot is refused with --report-texts).
TFigure DiagnosticPicture(TKorlen&, const TAnalysisData&, const TCommandResults& Results) {
  return DiagnosticFigure(Results.Results.Meta, Results.Typed.Observations.value());
}
TFigure ComponentsPicture(TKorlen&, const TAnalysisData&, const TCommandResults& Results) {
  return ComponentsFigure(Results.Results.Meta, Results.Typed.Components.value());
}
TFigure ClusterPicture(TKorlen& Korlen, const TAnalysisData& Data, const TCommandResults& Results) {
  return ClusterFigure(Korlen, Data, Results.Typed.Clusters.value());
}
TFigure HistogramPicture(TKorlen&, const TAnalysisData& Data, const TCommandResults&) { return HistogramFigure(Data); }

// Beyond the box, from the series gathered under TOptions::Picture.
TFigure StreamedDiagnosticPicture(const TCommandResults& Results) {
  return DiagnosticFigure(Results.Results.Meta, Results.Typed.Observations.value());
}
TFigure StreamedComponentsPicture(const TCommandResults& Results) {
  return ComponentsFigure(Results.Results.Meta, Results.Typed.Components.value());
}
TFigure StreamedClusterPicture(const TCommandResults& Results) { return ClusterFigure(Results.Typed.Clusters.value()); }
TFigure StreamedHistogramPicture(const TCommandResults& Results) {
  return HistogramFigure(Results.Typed.Variables.value());
}

// "1200x900" (or "1200,900"): a size from 200 to 10,000 pixels a side,
// nothing before or after it. from_chars, unlike sscanf's %d, refuses a
// number beyond int rather than wrapping it into range.
bool ReadPlotSize(const std::string& Text, TImageSize& Size) {
  const char* const End = Text.data() + Text.size();
  TImageSize Read;
  const auto [Between, WidthError] = std::from_chars(Text.data(), End, Read.Width);
  if (WidthError != std::errc() || Between == End || (*Between != 'x' && *Between != ',')) return false;
  const auto [Last, HeightError] = std::from_chars(Between + 1, End, Read.Height);
  const auto InRange = [](int Pixels) { return Pixels >= 200 && Pixels <= 10000; };
  if (HeightError != std::errc() || Last != End || !InRange(Read.Width) || !InRange(Read.Height)) return false;
  Size = Read;
  return true;
}

std::string CheckPlotSize(const std::string& Text) {
  TImageSize Size;
  return ReadPlotSize(Text, Size) ? "" : "a size is WIDTHxHEIGHT in pixels, each 200 to 10000, as 1200x900";
}

void AddPlotOptions(CLI::App& App, TPlotOptions& Plot) {
  App.add_option("--plot", Plot.File, "also draw the results' picture into this file: .svg, .png or .pdf (by gnuplot)");
  App.add_option_function<std::string>(
         "--plot-size", [&Plot](const std::string& Text) { ReadPlotSize(Text, Plot.Size); },
         "the picture's size in pixels, WIDTHxHEIGHT (default 1200x900; a PDF page has 150 to the inch)")
      ->check(CLI::Validator(CheckPlotSize, "SIZE"));
}

void WriteTexts(const TCommandResults& Results, bool Raw, std::ostream& Out) {
  if (!Results.Legend.empty()) Out << Results.Legend << "\n\n";
  for (const auto& Text : Results.ReportTexts) Out << ShownComponentText(Text, Raw);
}

// Everything that can refuse the request is checked before the first byte
// is written.
void WriteResults(TCommandResults& Results, const std::string& Command, const TWriteOptions& Write,
                  const TOptions& Options, std::ostream& Out) {
  TResults& Tables = Results.Results;
  if (Options.ReportTexts || (Tables.Tables.empty() && !Tables.Stream)) {
    if (Write.Csv || Write.Json || !Write.Table.empty())
      throw TInputError(Command + " writes the component's report texts only, no tables");
    return WriteTexts(Results, Write.Raw, Out);
  }
  if (!Write.Table.empty() || Write.Csv) KeepOnly(Tables, Write.Table);
  if (Write.Json) return WriteJson(Tables, Out);
  if (Write.Csv) return Tables.Stream ? WriteCsv(*Tables.Stream, Out) : WriteCsv(Tables.Tables.front(), Out);
  WriteText(Tables, Out, Write.Raw);
}

// Standard output, or with -o a file put in place once the output is
// complete, so that a failed run never leaves half a file.
void Emit(const TOutputTarget* Output, std::ostream& Stdout, const std::function<void(std::ostream&)>& Produce) {
  if (!Output) return Produce(Stdout);
  Output->Write(Produce);
}

// The stream's rows made now, while its data are read, as columns.
TStreamedTable Materialised(const TRowStream& Stream) {
  TStreamedTable Table{Stream.Name, Stream.Title, Stream.Columns, Stream.Counts,
                       std::vector<std::vector<double>>(Stream.Columns.size())};
  const std::size_t Width = Stream.Columns.size();
  Stream.Produce([&Table, Width](const std::vector<double>& Cells) {
    for (std::size_t i = 0; i < Cells.size(); ++i) Table.Values[i % Width].push_back(Cells[i]);
  });
  return Table;
}

// The results written, or handed to the caller of RunCommandInProcess.
void Deliver(TCommandResults& Results, const std::string& Command, const TWriteOptions& Write, const TOptions& Options,
             const TOutputTarget* Output, std::ostream& Stdout) {
  if (!GCapture) return Emit(Output, Stdout, [&](std::ostream& Out) { WriteResults(Results, Command, Write, Options, Out); });
  if (Results.Results.Stream) GCapture->Out.Stream = Materialised(*Results.Results.Stream);
  Results.Results.Stream.reset();
  GCapture->Out.Results = std::move(Results.Results);
}

// -o, "-" being standard output.
std::unique_ptr<TOutputTarget> OutputTarget(const TWriteOptions& Write) {
  if (Write.Output.empty() || Write.Output == "-") return nullptr;
  return std::make_unique<TOutputTarget>(Write.Output);
}

// The files a run writes, each checked before any analysis: none may be the
// input, nor another of them.
struct TTargets {
  std::unique_ptr<TOutputTarget> Output, Report, Model;
  std::unique_ptr<TPlotFile> Plot;
};

void RefuseInputAsTarget(const std::vector<std::string>& Inputs,
                         const std::vector<std::pair<const char*, const TOutputTarget*>>& Named) {
  std::vector<struct stat> Read;
  for (const std::string& Input : Inputs) {
    struct stat Status {};
    if (Input == "-" ? ::fstat(STDIN_FILENO, &Status) == 0 : ::stat(Input.c_str(), &Status) == 0) Read.push_back(Status);
  }
  for (std::size_t i = 0; i < Named.size(); ++i) {
    if (!Named[i].second) continue;
    for (const struct stat& Status : Read) {
      if (Named[i].second->Is(Status))
        throw TInputError(std::string(Named[i].first) + " " + Named[i].second->Shown() +
                          (Inputs.size() == 1 ? " is the input file" : " is an input file") + ": it would be overwritten");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (Named[j].second && Named[j].second->SameAs(*Named[i].second))
        throw TInputError(std::string(Named[j].first) + " and " + Named[i].first + " name the same file, " +
                          Named[i].second->Shown());
    }
  }
}

// N, the rows used: a command on data read in blocks knows it only after
// its first pass, and sets it then.
TMeta MetaOf(const std::string& File, long long N, long long Dropped, const std::string& Response,
             const std::vector<std::string>& Predictors, const TChoice& Choice, const TOptions& Options) {
  TMeta Meta;
  Meta.Command = Choice.Name;
  Meta.File = File;
  Meta.N = N;
  Meta.Dropped = Dropped;
  Meta.K = static_cast<long long>(Predictors.size());
  if (Choice.HasLevel) Meta.Level = Options.Level;
  Meta.Response = Response;
  Meta.Predictors = Predictors;
  Meta.Version = VARNEL_VERSION_STRING;
  return Meta;
}

TMeta MetaOf(const TAnalysisData& Data, const TChoice& Choice, const TOptions& Options) {
  return MetaOf(Data.Source, Data.N(), static_cast<long long>(Data.Dropped.size()), Data.YName, Data.XNames, Choice,
                Options);
}

// Shows the one line of a failed command, if any. A failed write to
// standard output outranks everything else: whatever the command did, its
// results did not arrive.
int Finish(int Status, std::string Problem, TFdStream& Stdout) {
  if (GCapture) {
    GCapture->Problem = std::move(Problem);
    return Status;
  }
  if (const std::string Failure = Stdout.Failure(); !Failure.empty()) {
    Status = kFailed;
    Problem = "standard output: " + Failure;
  }
  if (!Problem.empty()) std::cerr << "varnel: " << Problem << '\n';
  return Status;
}

// Options that exclude each other, refused before any work.
void CheckRequest(const TWriteOptions& Write, const TOptions& Options) {
  if (Write.Csv && Write.Json) throw TInputError("--csv writes one table and --json every table: give one of them");
  if (Options.Scan && Options.NoScan) throw TInputError("--scan and --no-scan contradict each other: give one of them");
  if (!Options.Regress.Cluster.empty()) {
    if (Options.Regress.VcovConst)
      throw TInputError("--cluster and --vcov const contradict each other: give one of them");
    CheckClusteredKind(Options.Regress.Vcov);
  }
}

// The component is 160 KB: it lives on the heap, not on the stack.
std::unique_ptr<TKorlen> MakeComponent(const TOptions& Options) {
  auto Korlen = std::make_unique<TKorlen>();
  Korlen->SetAlpha(Options.Alpha);
  Korlen->SetScanData(Options.Scan && !Options.NoScan);
  return Korlen;
}

// The picture's file is checked, and gnuplot looked for, before any work.
std::unique_ptr<TPlotFile> PreparePlot(const TPlotOptions& Plot, const TOptions& Options) {
  if (Plot.File.empty()) return nullptr;
  if (Options.ReportTexts) throw TInputError("--plot draws the tables, which --report-texts leaves out");
  return std::make_unique<TPlotFile>(Plot.File, Plot.Size);
}

TTargets PrepareTargets(const TDataOptions& Data, const TWriteOptions& Write, const TPlotOptions& Plot,
                        const TOptions& Options) {
  TTargets Targets;
  Targets.Output = OutputTarget(Write);
  if (!Options.Cluster.Report.empty()) Targets.Report = std::make_unique<TOutputTarget>(Options.Cluster.Report);
  if (!Options.Regress.SaveModel.empty()) Targets.Model = std::make_unique<TOutputTarget>(Options.Regress.SaveModel);
  Targets.Plot = PreparePlot(Plot, Options);
  RefuseInputAsTarget(Data.Text ? std::vector<std::string>{} : InputPaths(Data.Files), {{"-o", Targets.Output.get()},
                                             {"--report", Targets.Report.get()},
                                             {"--save-model", Targets.Model.get()},
                                             {"--plot", Targets.Plot ? &Targets.Plot->Target() : nullptr}});
  return Targets;
}

// What the component alone gives is refused beyond its box, in one line.
// Draws: the command has a picture beyond the box.
void CheckStreamedRequest(const TStreamedData& Data, bool Plot, const TOptions& Options, bool Draws) {
  const std::string Beyond = " is for data within 19,999 rows and 24 predictors; " + Data.Source() + " is beyond them";
  if (Options.ReportTexts) throw TInputError("--report-texts (the component's texts)" + Beyond);
  if (Options.Scan) throw TInputError("--scan (the component's plausibility scan)" + Beyond);
  if (Plot && !Draws) throw TInputError("--plot" + Beyond);
  if (!Options.Cluster.Report.empty()) throw TInputError("--report (the component's report)" + Beyond);
}

// A command on data read in blocks: its tables, from the engine, and its
// picture, drawn while they are written as within the box.
int RunStreamed(TStreamedData& Data, const TDataOptions& DataOptions, const TWriteOptions& Write,
                const TPlotOptions& PlotOptions, const TTargets& Targets, const TOptions& Options, const TChoice& Choice,
                TFdStream& Stdout) {
  try {
    CheckStreamedRequest(Data, !PlotOptions.File.empty(), Options, Choice.StreamedFigure != nullptr);
    TOptions Settings = Options;
    Settings.Picture = !PlotOptions.File.empty();  // on every process: rank 0 alone draws, but all gather
    TCommandResults Results;
    const int Status = Choice.Streamed(Data, Settings, Results);
    SayWhatWasLeftOut(Data, DataOptions);
    const std::optional<bool> Scaled = Results.Results.Meta.Scaled;
    const std::optional<std::string> Vcov = Results.Results.Meta.Vcov, Weights = Results.Results.Meta.Weights;
    // predict's response is its model's, not a column of the data.
    const std::string Response = Data.Response() ? Data.YName() : Results.Results.Meta.Response;
    Results.Results.Meta = MetaOf(Data.Source(), Results.Results.Meta.N, static_cast<long long>(Data.DroppedCount()),
                                  Response, Data.XNames(), Choice, Options);
    Results.Results.Meta.Scaled = Scaled;
    Results.Results.Meta.Vcov = Vcov;
    Results.Results.Meta.Weights = Weights;
    TPlotFile* const Plot = Status == 0 ? Targets.Plot.get() : nullptr;
    if (Plot) Plot->Start(GnuplotScript(Choice.StreamedFigure(Results), Plot->Format(), Plot->Size()));
    if (Status == 0 && Targets.Model) Targets.Model->Write(Results.ModelFile);
    if (Status == 0)
      Deliver(Results, Choice.Name, Write, Options, Targets.Output.get(), Stdout);
    if (Plot) Plot->Finish();
    return Finish(Status, Status == 0 ? "" : "the analysis of " + Data.Source() + " has no result (the reason is above)", Stdout);
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  } catch (const TWriteError& Error) {
    return Finish(kFailed, Error.what(), Stdout);
  } catch (const EVarnelError& Fault) {
    return Finish(kRejected, std::string("the analysis failed: ") + Fault.what(), Stdout);
  }
}

// What the component cannot give runs on the engine at any size: robust
// and clustered standard errors, weighted fits, a saved model (of the
// engine's fit), predict, and a stepwise search over a formula's terms,
// whose interactions keep their marginal terms.
bool OnEngineOnly(const TChoice& Choice, const TOptions& Options, const TDataOptions& Data) {
  const bool FormulaSteps = Choice.Streamed == RunStreamedSelect && !Data.Formula.empty() &&
                            Options.Select.Method != TSelectMethod::Exhaustive;
  return Choice.Analysis == nullptr || Options.Regress.Vcov != TRobustKind::None || !Options.Regress.SaveModel.empty() ||
         !Options.Regress.Cluster.empty() || Options.Regress.Weighted || FormulaSteps;
}

int Run(const TDataOptions& DataOptions, const TWriteOptions& Write, const TPlotOptions& PlotOptions,
        const TOptions& Options, const TChoice& Choice, TFdStream& Stdout) {
  TAnalysisData Data;
  TTargets Targets;
  TProcesses& Processes = *GProcesses;
  // Only rank 0 writes files; a file it cannot write ends every process.
  std::exception_ptr Refused;
  try {
    CheckRequest(Write, Options);
    if (Processes.Rank() == 0) Targets = PrepareTargets(DataOptions, Write, PlotOptions, Options);
  } catch (...) {
    Refused = std::current_exception();
  }
  try {
    Agree(Processes, Refused);
    // predict reads a formula's terms, not its response.
    const bool NoResponse =
        Choice.Unsupervised && ((!DataOptions.X.empty() && DataOptions.Y.empty()) || !DataOptions.Formula.empty());
    TLoaded Loaded = LoadData(DataOptions, NoResponse,
                              Choice.Streamed != nullptr, OnEngineOnly(Choice, Options, DataOptions), Options.Threads, Processes);
    if (Loaded.Streamed)
      return RunStreamed(*Loaded.Streamed, DataOptions, Write, PlotOptions, Targets, Options, Choice, Stdout);
    Data = std::move(Loaded.Data);
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  } catch (const EVarnelError& Fault) {
    return Finish(kRejected, std::string("the analysis failed: ") + Fault.what(), Stdout);
  }
  // The scan refuses two predictors of nearly the same total, which
  // dummies of levels of equal counts always are: it is left out when a
  // factor was coded. The tool gives its verdict, naming the predictors;
  // counts that the fit refuses are left to the fit's own message.
  const bool Scan = Options.Scan && (Choice.Uses & kScan) && !Data.Dummies;
  if (const std::string Why = Scan ? ScanRefusal(Data) : ""; !Why.empty()) {
    return Finish(kRejected, "the plausibility scan (--scan) refuses the predictors of " + Data.Source + ": " + Why +
                                 "; without --scan they are analysed", Stdout);
  }
  TOptions Settings = Options;
  Settings.Scan = Scan && Data.N() > 2 && Data.N() > Data.K();
  const auto Korlen = MakeComponent(Settings);
  Load(*Korlen, Data);
  try {
    TCommandResults Results;
    Results.Results.Meta = MetaOf(Data, Choice, Options);
    const int Status = Choice.Analysis(*Korlen, Data, Options, Results);
    // As R's summary.lm warns, and goes on.
    if (Status == 0 && EssentiallyPerfectFit(Data, Results.Results))
      std::cerr << "varnel: essentially perfect fit: summary may be unreliable\n";
    TPlotFile* const Plot = Status == 0 ? Targets.Plot.get() : nullptr;
    // gnuplot draws while the tables are written; a refused or failed
    // write stops it, and the picture is written only after that.
    if (Plot) Plot->Start(GnuplotScript(Choice.Figure(*Korlen, Data, Results), Plot->Format(), Plot->Size()));
    if (Status == 0 && Targets.Report) Targets.Report->Write(Results.ReportFile);
    if (Status == 0)
      Deliver(Results, Choice.Name, Write, Options, Targets.Output.get(), Stdout);
    if (Plot) Plot->Finish();
    return Finish(Status, Status == kRejected ? "the component rejected the analysis of " + Data.Source + " (its message is above)" : "", Stdout);
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
int RunWithoutData(bool Verbs, bool About, bool Table, const TOptions& Options, const TWriteOptions& Write,
                   TFdStream& Stdout) {
  std::unique_ptr<TOutputTarget> Output;
  try {
    CheckRequest(Write, Options);
    Output = OutputTarget(Write);
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  }
  const auto Korlen = MakeComponent(Options);
  TCommandResults Results;
  if (Verbs) {
    Register();
    const auto Editor = ComponentEditorOf(Korlen.get());
    for (int i = 0; i < Editor->VerbCount(); ++i) Results.ReportTexts.push_back(Editor->VerbCaption(i));
  } else if (!Table) {
    Results.ReportTexts.push_back(About ? Korlen->AboutText : Korlen->ExampleText);
  }
  try {
    if (Table) {
      RunTable(*Korlen, Options, Results);
      Results.Results.Meta = {"table", "", 0, 0, 0, Options.Level, "", {}, VARNEL_VERSION_STRING, {}, {}, {}};
    }
    const char* Name = Table ? "table" : Verbs ? "verbs" : About ? "about" : "example";
    Deliver(Results, Name, Write, Options, Output.get(), Stdout);
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  } catch (const TWriteError& Error) {
    return Finish(kFailed, Error.what(), Stdout);
  } catch (const EVarnelError& Fault) {  // a look-up outside its distribution's domain
    return Finish(kRejected, std::string("the look-up failed: ") + Fault.what(), Stdout);
  }
  return Finish(0, "", Stdout);
}

}  // namespace

namespace varnel::cli {

namespace {

const char* const kCommandList =
    "regress, diagnose, describe, select, pca, distance, cluster, predict, anova, glm, table, verbs, about and example";

// "-999" and "-.5" are values, not options.
bool LooksLikeOption(const std::string& Argument) {
  return Argument.size() > 1 && Argument[0] == '-' && !std::isdigit(static_cast<unsigned char>(Argument[1])) &&
         Argument[1] != '.';
}

// A word that names no file and could have been meant as a command.
bool CommandLike(const std::string& File) {
  struct stat Status {};
  return !File.empty() && File != "-" && File.find_first_of("./") == std::string::npos &&
         ::stat(File.c_str(), &Status) != 0;
}

std::string NotAnOptionOf(const std::string& Option, CLI::App& App, CLI::App& Used) {
  const bool Full = &Used == &App;
  return Option + " is not an option of " + (Full ? "the full analysis (varnel FILE)" : Used.get_name()) + "; varnel " +
         (Full ? "" : Used.get_name() + " ") + "--help lists its options";
}

// What the parser left over, or an option given to a command that does not
// use it, said so that the user can put it right; empty when all is well.
// Options before the command's name were read by the full analysis.
std::string ArgumentProblem(CLI::App& App, CLI::App& Used, const std::vector<std::string>& Files) {
  const std::string File = Files.empty() ? "" : Files.front();
  if (&Used != &App) {
    for (const CLI::Option* Option : App.get_options()) {
      if (Option->count() > 0 && !Option->get_positional() && !Used.get_option_no_throw(Option->get_name()))
        return NotAnOptionOf(Option->get_name(), App, Used);
    }
  }
  const std::vector<std::string> Extra = Used.remaining();
  for (const std::string& Argument : Extra) {
    if (LooksLikeOption(Argument)) return NotAnOptionOf(Argument.substr(0, Argument.find('=')), App, Used);
  }
  const CLI::Option* const FileOption = Used.get_option_no_throw("file");
  if (!Extra.empty() || Files.size() > 1) {
    if (&Used == &App && CommandLike(File)) {
      return "unknown command " + Quoted(File) + "; the commands are " + kCommandList + " (varnel --help)";
    }
    if (!FileOption && !Extra.empty()) return Used.get_name() + " takes no FILE: " + Quoted(Extra.front()) + " is not expected";
    if (!Extra.empty()) return Quoted(Extra.front()) + " is not expected";
  }
  if (FileOption && std::find(Files.begin(), Files.end(), "") != Files.end())
    return "FILE is an empty name: name a file, or - for standard input";
  if (&Used == &App && CommandLike(File)) {
    return "no command or file named " + Quoted(File) + "; the commands are " + kCommandList +
           " (varnel --help)";
  }
  return {};
}

// predict MODEL FILE: the model's columns are read from the data, its
// factors coded with its levels, on the engine at any size.
void AddPredictCommand(CLI::App& App, TDataOptions& Data, TOptions& Options, TWriteOptions& Write, TChoice& Chosen) {
  static const std::map<std::string, TInterval> Intervals{
      {"none", TInterval::None}, {"confidence", TInterval::Confidence}, {"prediction", TInterval::Prediction}};
  CLI::App* Predict = App.add_subcommand(
      "predict", "table predictions: a saved model's (regress or glm --save-model) fitted values at the rows of new "
                 "data, with standard errors and limits, as R's predict.lm and predict.glm");
  Predict->add_option("model", Options.Predict.Model, "the model file that regress or glm --save-model wrote")->required();
  AddInputOptions(*Predict, Data, false, false);
  AddCommandOptions(*Predict, kLevel, Options);
  Predict
      ->add_option_function<std::string>(
          "--interval", [&Options](const std::string& Name) { Options.Predict.Interval = Intervals.at(Name); },
          "none (the default), confidence (limits of the mean) or prediction (limits of a new observation)")
      ->check(CLI::IsMember({"none", "confidence", "prediction"}));
  Predict
      ->add_option_function<std::string>(
          "--type",
          [&Options](const std::string& Name) {
            Options.Predict.Response = Name == "response";
            Options.Predict.TypeGiven = true;
          },
          "of a generalised model (glm --save-model): link (the default: the linear predictor) or response (the "
          "mean), as R's predict.glm(type = )")
      ->check(CLI::IsMember({"link", "response"}));
  AddWriteOptions(*Predict, Write);
  Predict->callback([&Chosen, &Data] {
    Chosen = {"predict", true, nullptr, nullptr, kLevel, true, RunStreamedPredict};
    Data.Offsets = true;
  });
}

// anova FILE --formula SMALL --formula LARGE ...: nested models, at any
// size.
CLI::App* AddAnovaCommand(CLI::App& App, TDataOptions& Data, TOptions& Options, TWriteOptions& Write) {
  CLI::App* Anova = App.add_subcommand(
      "anova", "table anova: nested models compared by F tests, as R's anova(fit1, fit2, ...): --formula for each "
               "model, two or more, the smallest first");
  AddInputOptions(*Anova, Data, false);
  Anova->add_option("--formula", Data.Formulas, "a model as R writes it (see regress --formula); give one for each")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  AddCommandOptions(*Anova, 0, Options);
  AddWriteOptions(*Anova, Write);
  return Anova;
}

// The columns any of anova's models reads: each model is fitted to the
// rows complete in all of them, so that all are fitted to the same rows.
std::vector<int> AnyModelsColumns(const TDataOptions& Given, const std::vector<std::string>& Names,
                                  const std::string& Shown) {
  std::vector<int> Columns;
  for (const std::string& Formula : Given.Formulas) {
    const std::vector<int> Read = formula::FormulaColumns(Formula, Names, Shown);
    Columns.insert(Columns.end(), Read.begin(), Read.end());
  }
  std::sort(Columns.begin(), Columns.end());
  Columns.erase(std::unique(Columns.begin(), Columns.end()), Columns.end());
  return Columns;
}

// anova's fits, and the largest model's figures for the meta.
struct TNestedFits {
  std::vector<TNestedFit> Fits;
  TMeta Largest;
};

// Within the component's box: each model made of the rows held whole.
TNestedFits NestedFitsInBox(const TDataOptions& Given, const TCsvTable& Table, const std::string& Shown,
                            std::size_t Threads) {
  const TDataRules Rules = RulesOf(Given);
  TNestedFits Out;
  TAnalysisData Data;
  for (const std::string& Formula : Given.Formulas) {
    Data = formula::FormulaData(Table, Shown, Formula, Rules);
    Out.Fits.push_back(NestedFitOf({TrimmedName(Formula), Data, formula::FormulaIntercept(Formula)}, Threads));
  }
  SayWhatWasLeftOut(Data, Table, Given);
  Out.Largest.File = Data.Source;
  Out.Largest.N = Data.N();
  Out.Largest.K = Data.K();
  Out.Largest.Dropped = static_cast<long long>(Data.Dropped.size());
  Out.Largest.Predictors = Data.XNames;
  return Out;
}

// Beyond it: each model's design made block by block, in a pass over the
// file of its own.
TNestedFits NestedFitsStreamed(const TDataOptions& Given, const std::vector<std::string>& Paths,
                               const TReadOptions& Read, std::size_t Threads) {
  const std::string Shown = InputName(Paths);
  if (!Given.Text && std::find(Paths.begin(), Paths.end(), "-") != Paths.end())
    throw TInputError("anova beyond 19,999 rows reads the data once for each model: name a file, not standard input");
  TNestedFits Out;
  for (const std::string& Formula : Given.Formulas) {
    auto Reader = std::make_unique<TRowReader>(Paths, Read, [&](const std::vector<std::string>& Names) {
      return AnyModelsColumns(Given, Names, Shown);
    });
    bool Ended = false;
    std::vector<TRowText> First = FirstBlocks(*Reader, Ended);
    TDataRules Rules = RulesOf(Given);
    Rules.Formula = Formula;
    TStreamedData Data(std::move(Reader), std::move(First), Rules, Threads);
    const std::optional<TStreamedFit> Fit = FitStreamed(Data, formula::FormulaIntercept(Formula));
    if (!Fit) throw TInputError(TrimmedName(Formula) + " has no predictor once the aliased ones are out");
    if (Fit->Fit.DfResidual == 0) throw TInputError(TrimmedName(Formula) + " leaves no residual degree of freedom");
    Out.Fits.push_back({TrimmedName(Formula), Data.YName(), Fit->Sse, Fit->Fit.DfResidual});
    if (&Formula != &Given.Formulas.back()) continue;
    SayWhatWasLeftOut(Data, Given);
    Out.Largest.File = Data.Source();
    Out.Largest.N = static_cast<long long>(Fit->Fit.N);
    Out.Largest.K = static_cast<long long>(Data.K());
    Out.Largest.Dropped = static_cast<long long>(Data.DroppedCount());
    Out.Largest.Predictors = Data.XNames();
  }
  return Out;
}

TNestedFits NestedFits(const TDataOptions& Given, const std::vector<std::string>& Paths, std::size_t Threads) {
  TReadOptions Read = ReadOptionsOf(Given.Separator);
  Read.Text = Given.Text;
  const std::string Shown = InputName(Paths);
  TRowReader Reader(Paths, Read, [&](const std::vector<std::string>& Names) { return AnyModelsColumns(Given, Names, Shown); });
  bool Ended = false;
  const std::vector<TRowText> First = FirstBlocks(Reader, Ended);
  if (Ended) {
    try {
      return NestedFitsInBox(Given, TableOf(Reader, First), Shown, Threads);
    } catch (const TCapacityError&) {  // read in blocks below
    }
  }
  return NestedFitsStreamed(Given, Paths, Read, Threads);
}

int RunNestedAnova(const TDataOptions& Given, const TWriteOptions& Write, const TOptions& Options, TFdStream& Stdout) {
  try {
    CheckRequest(Write, Options);
    if (Given.Formulas.size() < 2)
      throw TInputError("anova compares two or more models: give --formula for each, the smallest first");
    const std::vector<std::string> Paths = Given.Text ? Given.Files : InputPaths(Given.Files);
    if (Paths.empty()) throw TInputError("anova needs a data file: the built-in example has no column names to use");
    const std::unique_ptr<TOutputTarget> Output = GCapture ? nullptr : OutputTarget(Write);
    if (!Given.Text) RefuseInputAsTarget(Paths, {{"-o", Output.get()}});
    const TNestedFits Fitted = NestedFits(Given, Paths, Options.Threads);
    TCommandResults Results;
    TMeta& Meta = Results.Results.Meta;
    Meta = Fitted.Largest;
    Meta.Command = "anova";
    Meta.Response = Fitted.Fits.back().Response;
    Meta.Version = VARNEL_VERSION_STRING;
    Results.Results.Tables = {NestedAnovaTable(Fitted.Fits)};
    Deliver(Results, "anova", Write, Options, Output.get(), Stdout);
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  } catch (const TWriteError& Error) {
    return Finish(kFailed, Error.what(), Stdout);
  } catch (const EVarnelError& Fault) {
    return Finish(kRejected, std::string("the analysis failed: ") + Fault.what(), Stdout);
  }
  return Finish(0, "", Stdout);
}

// --weights COLUMN: the rows' weights, a column read after the response.
auto WeightsOption(TOptions& Options, TDataOptions& Data) {
  return [&Options, &Data](const std::string& Name) {
    Options.Regress.Weighted = true;
    Options.Regress.WeightsColumn = Name;
    Data.Weights = Name;
  };
}

// glm FILE --family F [--link L]: on the engine at any size, one pass over
// the file per iteration.
void AddGlmCommand(CLI::App& App, TDataOptions& Data, TOptions& Options, TWriteOptions& Write, TChoice& Chosen) {
  constexpr unsigned Uses = kLevel | kIntercept | kFormula;
  CLI::App* Glm = App.add_subcommand(
      "glm", "tables coefficients, model and observations: a generalised linear model (binomial, poisson, gaussian, "
             "Gamma or inverse.gaussian) by iteratively reweighted least squares, as R's glm: estimates, standard errors, z "
             "or t, p, Wald limits, deviances, AIC, BIC; each row's fitted mean, residuals, leverage, Cook's distance");
  AddDataOptions(*Glm, Uses, Data, Options, Write);
  Glm->add_option_function<std::string>(
         "--family", [&Options](const std::string& Name) { Options.Glm.Family = engine::GlmFamilyOf(Name); },
         "the error distribution: binomial (y in [0, 1]), poisson (y >= 0), gaussian (the default), Gamma (y > 0) "
         "or inverse.gaussian (y > 0)")
      ->check(CLI::IsMember({"binomial", "poisson", "gaussian", "Gamma", "inverse.gaussian"}));
  Glm->add_option_function<std::string>(
         "--link",
         [&Options](const std::string& Name) {
           Options.Glm.Link = engine::GlmLinkOf(Name);
           Options.Glm.LinkGiven = true;
         },
         "the link (default: the family's canonical one): binomial logit, probit, cloglog, cauchit or log; poisson "
         "log, identity or sqrt; gaussian identity, log or inverse; Gamma inverse, identity or log; inverse.gaussian "
         "1/mu^2, inverse, identity or log")
      ->check(CLI::IsMember({"logit", "probit", "cloglog", "cauchit", "log", "identity", "inverse", "1/mu^2", "sqrt"}));
  Glm->add_option_function<std::string>(
      "--weights", WeightsOption(Options, Data),
      "prior weights from this column, as R's glm(weights = ): 0 or more (a binomial response is then the "
      "proportion of that many trials); a row of weight 0 takes no part in the fit, a negative one is an error");
  static const std::map<std::string, engine::TStepDirection> Directions{
      {"backward", engine::TStepDirection::Backward},
      {"forward", engine::TStepDirection::Forward},
      {"both", engine::TStepDirection::Both}};
  Glm->add_option_function<std::string>(
         "--step", [&Options](const std::string& Name) { Options.Glm.Step = Directions.at(Name); },
         "a stepwise search by AIC over the terms, as R's step(): backward from the full model (step's default), "
         "both ways from it, or forward from the constant alone; each model refitted, marginality kept (table "
         "steps), the chosen model's tables after it")
      ->check(CLI::IsMember({"backward", "forward", "both"}));
  Glm->add_option("--save-model", Options.Regress.SaveModel,
                  "also write the fitted model to this file (JSON: coefficients, covariance, family, link, "
                  "dispersion, columns or formula and factor levels; nothing of the data), for varnel predict");
  Glm->callback([&Chosen, &Options, &Data] {
    Data.Offsets = true;
    if (Options.Glm.Step && !Options.Regress.SaveModel.empty())
      throw CLI::ValidationError("--save-model", "saves a model fitted as given, not one --step chose: fit the "
                                                 "chosen terms' formula to save it");
    if (!Options.Glm.LinkGiven) Options.Glm.Link = engine::CanonicalLink(Options.Glm.Family);
    try {
      engine::MakeGlmModel(Options.Glm.Family, Options.Glm.Link);
    } catch (const engine::EEngineError& Error) {
      throw CLI::ValidationError("--link", Error.what());
    }
    Chosen = {"glm", true, nullptr, nullptr, Uses, false, RunStreamedGlm};
  });
}

// What a run in this process cannot do: it is given its data and returns
// the tables, and writes nothing.
std::string InProcessProblem(const TDataOptions& Data, const TWriteOptions& Write, const TPlotOptions& Plot,
                             const TOptions& Options, bool Texts) {
  const char* Option = !Data.Files.empty() ? "FILE"
                       : Write.Csv ? "--csv"
                       : Write.Json ? "--json"
                       : !Write.Table.empty() ? "--table"
                       : Write.Raw ? "--raw"
                       : !Write.Output.empty() ? "--output"
                       : !Plot.File.empty() ? "--plot"
                       : !Options.Cluster.Report.empty() ? "--report"
                       : !Options.Regress.SaveModel.empty() ? "--save-model"
                       : Options.ReportTexts ? "--report-texts"
                       : nullptr;
  if (Option) return std::string(Option) + " is not for a run that returns the tables; the data are given to it";
  return Texts ? "verbs, about and example write texts, not tables" : "";
}

int RunTool(int argc, char** argv) {
  bool Raw = false;
  for (int i = 1; i < argc; ++i) Raw = Raw || std::string(argv[i]) == "--raw";
  TScopedMessageHandler Messages([Raw, Capture = GCapture](const TMessage& Message) {
    if (Capture) return Capture->Out.Messages.push_back(TerminalLineEnds(ToUtf8(Message.Text)));
    std::cerr << (Raw ? Message.Text : TerminalLineEnds(ToUtf8(Message.Text))) << '\n';
  });

  CLI::App App{"varnel: multiple regression with its inference, diagnostics, descriptive statistics, model "
               "selection, principal components, distances and k-means on a delimited text file. Results are "
               "named tables: text by default, --csv for one table, --json for all. Input: CSV, also gzip-compressed. "
               "Limits: every command but table takes any number of rows and up to 1,000 predictors (factor "
               "dummies included; select's exhaustive search 40), read in blocks on every core beyond 19,999 rows or "
               "24 predictors: describe keeps 8 bytes a value, cluster starts on a sample of at most 50,000 rows, "
               "then makes at most 100 Lloyd passes over the file, and the tables of a row per observation are "
               "written as they are made; rows of 1 MiB."};
  App.require_subcommand(0, 1);
  App.set_version_flag("--version", std::string("varnel ") + VARNEL_VERSION_STRING);
  TDataOptions Data;
  TWriteOptions Write;
  TPlotOptions Plot;
  TOptions Options;
  const TChoice Full;
  AddDataOptions(App, Full.Uses, Data, Options, Write);
  TChoice Chosen;

  struct TCommand {
    const char* Name;
    const char* Help;
    unsigned Uses;
    TAnalysisRun Analysis;
    TFigureOf Figure = nullptr;
    bool Unsupervised = false;
    TStreamedRun Streamed = nullptr;
    TStreamedFigureOf StreamedFigure = nullptr;
  };
  const TCommand Commands[] = {
      {"regress", "tables coefficients and model: estimates, standard errors, t, p, confidence limits, VIF, "
                  "R², F, AIC, BIC, Durbin-Watson", kLevel | kIntercept | kReportTexts | kAlpha | kScan | kFormula, RunRegress, nullptr,
       false, RunStreamedRegress},
      {"diagnose", "table observations: fitted values, residuals, leverage, influence measures, limits; --plot: R's "
                   "four diagnostic panels", kLevel | kIntercept | kReportTexts | kScan | kFormula, RunDiagnose, DiagnosticPicture,
       false, RunStreamedDiagnose, StreamedDiagnosticPicture},
      {"describe", "tables variables, correlation and covariance; --plot: a histogram of each variable", kReportTexts,
       RunDescribe, HistogramPicture, false, RunStreamedDescribe, StreamedHistogramPicture},
      {"select", "table best: the best subsets of every size (or steps: a stepwise search by AIC); the "
                 "component's searches under --report-texts",
       kReportTexts | kScan | kFormula, RunSelect, nullptr, false, RunStreamedSelect},
      {"pca", "tables components, loadings and scores: principal components of the correlation matrix "
              "(--covariance: of the covariance matrix); --plot: scree plot and biplot", kReportTexts, RunPca,
       ComponentsPicture, true, RunStreamedPca, StreamedComponentsPicture},
      {"distance", "table distances: Mahalanobis distances, chi-square p-values and outlier flags", kLevel,
       RunDistance, nullptr, true, RunStreamedDistance},
      {"cluster", "tables centres, fit and assignments: k-means from seeded k-means++ starts; --plot: the clusters "
                  "on the first two principal components; beyond 19,999 rows or 24 variables: from Lloyd's passes "
                  "over the file (at most 100)",
       kReportTexts, RunCluster, ClusterPicture, true, RunStreamedCluster, StreamedClusterPicture},
  };
  for (const TCommand& Command : Commands) {
    CLI::App* Sub = App.add_subcommand(Command.Name, Command.Help);
    AddDataOptions(*Sub, Command.Uses, Data, Options, Write);
    if (Command.Figure) AddPlotOptions(*Sub, Plot);
    Sub->callback([&Chosen, Command] {
      Chosen = {Command.Name, (Command.Uses & kLevel) != 0, Command.Analysis, Command.Figure, Command.Uses,
                Command.Unsupervised, Command.Streamed, Command.StreamedFigure};
    });
  }
  App.get_subcommand("regress")->add_option("--beta-threshold", Options.Regress.BetaThreshold,
                                            "coefficients compared with this value (default 0)");
  App.get_subcommand("regress")
      ->add_option_function<std::string>(
          "--vcov",
          [&Options](const std::string& Name) {
            Options.Regress.Vcov = RobustKindOf(Name);
            Options.Regress.VcovConst = Name == "const";
          },
          "the coefficients' standard errors: const (the default) or heteroskedasticity-consistent HC0, HC1, HC2, "
          "HC3 or HC4, as R's sandwich::vcovHC; their t, p-values and limits follow (on the engine, at any size)")
      ->check(CLI::IsMember({"const", "HC0", "HC1", "HC2", "HC3", "HC4"}));
  App.get_subcommand("regress")->add_option(
      "--save-model", Options.Regress.SaveModel,
      "also write the fitted model to this file (JSON: coefficients, covariance, columns and factor levels, "
      "sigma, df; nothing of the data), for varnel predict (the fit on the engine, at any size)");
  App.get_subcommand("regress")
      ->add_option_function<std::string>(
          "--cluster",
          [&Options, &Data](const std::string& Name) {
            Options.Regress.Cluster = Name;
            Data.Cluster = Name;
          },
          "standard errors robust to correlation within the groups of this column (its cells' trimmed text; a row "
          "missing it is left out), as R's sandwich::vcovCL: HC1 by default, or --vcov HC0; on the engine, at any "
          "size, holding one sum per group and coefficient (16 bytes each) and each group's text");
  const auto TakeWeights = WeightsOption(Options, Data);
  App.get_subcommand("regress")->add_option_function<std::string>(
      "--weights", TakeWeights,
      "weighted least squares with this column's weights, as R's lm(weights = ): 0 or more, a zero-weight row "
      "takes no part in the fit, a negative one is an error; sigma, R², F, logLik and AIC are the weighted "
      "fit's; with --vcov or --cluster no weight may be 0 (on the engine, at any size)");
  App.get_subcommand("diagnose")->add_option_function<std::string>(
      "--weights", TakeWeights,
      "the measures of a weighted least-squares fit, as R's influence.measures and predict of lm(weights = ): "
      "leverage, residuals' measures and influence of each row's weighted residual, the limits of a new "
      "observation of variance sigma²/w; a row of weight 0 is left out (on the engine, at any size)");
  // The component flags nothing for a threshold outside 0 < t < 5, which it
  // compares in single precision; NaN would show as no number at all.
  App.get_subcommand("distance")
      ->add_option("--threshold", Options.Distance.OutlierThreshold,
                   "the component's flag: distances above this, 0 < t < 5 (default 3)")
      ->check(CLI::Validator(
          [](const std::string& Text) -> std::string {
            double t = 0;
            const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), t);
            const bool Read = Error == std::errc() && End == Text.data() + Text.size() && t > 0 && t < 5;
            return Read && static_cast<Single>(t) > 0 && static_cast<Single>(t) < 5
                       ? ""
                       : "a threshold is a number above 0 and below 5, as 3";
          },
          "T"));
  CLI::App* Select = App.get_subcommand("select");
  Select->add_option("--acc-weight", Options.Select.AccWeight, "weight of accuracy in the rating (default 0.5)");
  Select->add_option("--simp-weight", Options.Select.SimpWeight, "weight of simplicity in the rating (default 0.5)");
  AddSelectOptions(*Select, Options);
  CLI::App* Cluster = App.get_subcommand("cluster");
  Cluster->add_option("--clusters", Options.Cluster.Clusters, "number of clusters, 1 to 100 (default 3)")
      ->check(CLI::Range(1, 100));
  Cluster->add_option("--seed", Options.Cluster.Seed, "seed of the k-means++ starts (default 1): the same seed, the same clusters");
  Cluster->add_option("--starts", Options.Cluster.Starts, "k-means++ starts, the best kept, 1 to 1000 (default 10)")
      ->check(CLI::Range(1, 1000));
  Cluster->add_option("--iterations", Options.Cluster.Iterations,
                      "the component's run (--report-texts, --report): iterations after the first, 0 to 255 (default 10); "
                      "beyond 19,999 rows Lloyd's passes run until no row changes cluster, at most 100")
      ->check(CLI::Range(0, 255));
  Cluster->add_option("--report", Options.Cluster.Report,
                      "also run the component's k-means and write its report to this regular file");
  Cluster->add_flag("--scale", Options.Cluster.Scale, "standardise each column first (mean 0, sd 1), as kmeans(scale(x))");
  App.get_subcommand("pca")->add_flag("--covariance", Options.Pca.Covariance,
                                      "components of the covariance matrix (prcomp's scale. = FALSE)");

  AddPredictCommand(App, Data, Options, Write, Chosen);
  CLI::App* Anova = AddAnovaCommand(App, Data, Options, Write);
  AddGlmCommand(App, Data, Options, Write, Chosen);

  CLI::App* Table = App.add_subcommand("table", "table values: t, z and chi-square quantiles and normal probabilities");
  Table->add_option("--df", Options.Table.DF, "degrees of freedom, at least 1 (default 10)")->check(CLI::Range(1, 1000000000));
  Table->add_option("--level", Options.Level, "two-sided level (default 0.95)")
      ->check(CLI::Validator(CheckLevel, "LEVEL"));
  Table->add_option("--z", Options.Table.Z, "z for the normal probabilities (default 1.96)");
  AddWriteOptions(*Table, Write);
  CLI::App* Verbs = App.add_subcommand("verbs", "the component editor's verbs");
  CLI::App* About = App.add_subcommand("about", "the component's about text");
  CLI::App* Example = App.add_subcommand("example", "the component's example text");
  for (CLI::App* Sub : {Verbs, About, Example}) Sub->add_flag("--raw", Write.Raw, "Windows-1252 bytes");

  // What the parser does not know is left over and said below, naming it.
  App.allow_extras();
  for (CLI::App* Sub : App.get_subcommands([](CLI::App*) { return true; })) Sub->allow_extras();

  TFdStream Stdout(STDOUT_FILENO);
  try {
    App.parse(argc, argv);
  } catch (const CLI::Success& Done) {  // --help, --version
    return Finish(App.exit(Done, Stdout, std::cerr), "", Stdout);
  } catch (const CLI::ParseError& Error) {  // one line, as every refusal
    return Finish(kInputError, std::string(Error.what()) + " (--help lists the options)", Stdout);
  }
  CLI::App& Used = App.get_subcommands().empty() ? App : *App.get_subcommands().front();
  if (const std::string Problem = ArgumentProblem(App, Used, Data.Files); !Problem.empty())
    return Finish(kInputError, Problem, Stdout);
  if (GCapture) {
    if (const std::string Problem = InProcessProblem(Data, Write, Plot, Options, *Verbs || *About || *Example);
        !Problem.empty())
      return Finish(kInputError, Problem, Stdout);
    Data.Files = {GCapture->Name};
    Data.Text = GCapture->Text;
  }

  // Clustered errors are HC1 unless --vcov says otherwise, as vcovCL's.
  if (!Options.Regress.Cluster.empty() && Options.Regress.Vcov == TRobustKind::None && !Options.Regress.VcovConst)
    Options.Regress.Vcov = TRobustKind::HC1;
  if (*Verbs || *About || *Example || *Table)
    return RunWithoutData(bool(*Verbs), bool(*About), bool(*Table), Options, Write, Stdout);
  if (*Anova) return RunNestedAnova(Data, Write, Options, Stdout);
  if (Chosen.Streamed == RunStreamedPredict) {
    try {
      if (!Data.Text && InputPaths(Data.Files).empty()) throw TInputError("predict needs new data: name a FILE, or give it on standard input");
      Options.Predict.Loaded = std::make_shared<const TSavedModel>(ReadModel(Options.Predict.Model));
      ReadAsModel(*Options.Predict.Loaded, Data.X, Data.Formula, Data.Factors, Data.Levels);
    } catch (const TInputError& Error) {
      return Finish(kInputError, Error.what(), Stdout);
    }
  }
  // A formula's - 1 or + 0 is --no-intercept.
  try {
    if (!Data.Formula.empty() && !formula::FormulaIntercept(Data.Formula)) {
      if (!(Chosen.Uses & kIntercept))
        throw TInputError(Chosen.Name + " keeps the constant in every model: a formula without it (- 1, + 0) is for "
                          "regress, diagnose and the full analysis");
      Options.Intercept = false;
    }
  } catch (const TInputError& Error) {
    return Finish(kInputError, Error.what(), Stdout);
  }
  return Run(Data, Write, Plot, Options, Chosen, Stdout);
}

}  // namespace

// Exhausted memory can meet the tool anywhere (the component reports its
// own): one line, written without allocating, and status 1.
int RunCommandLine(int argc, char** argv, TProcesses& Processes) {
  GProcesses = &Processes;
  ReserveStandardDescriptors();
  // A file size limit (ulimit -f) is then a failed write that the tool
  // reports and cleans up after, not a signal that ends it mid-write.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return RunTool(argc, argv);
  } catch (const std::bad_alloc&) {
    static const char kLine[] = "varnel: out of memory\n";
    WriteAll(STDERR_FILENO, kLine, sizeof kLine - 1);
    return kFailed;
  }
}

TInProcessResults RunCommandInProcess(const std::vector<std::string>& Arguments, std::shared_ptr<const std::string> Text,
                                      const std::string& Name) {
  TCapture Capture{std::move(Text), Name, {}, {}};
  std::vector<std::string> Words{"varnel"};
  Words.insert(Words.end(), Arguments.begin(), Arguments.end());
  std::vector<char*> Argv;
  for (std::string& Word : Words) Argv.push_back(Word.data());
  Argv.push_back(nullptr);
  GCapture = &Capture;
  struct TRelease {
    ~TRelease() { GCapture = nullptr; }
  } Release;
  const int Status = RunTool(static_cast<int>(Words.size()), Argv.data());
  if (Status != 0 || !Capture.Problem.empty()) {
    std::string Message;
    for (const std::string& Line : Capture.Out.Messages) Message += Line + "\n";
    throw TCommandFailure(Status == 0 ? kInputError : Status, Message + Capture.Problem);
  }
  return std::move(Capture.Out);
}

}  // namespace varnel::cli
