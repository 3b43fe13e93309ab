// SPDX-License-Identifier: Apache-2.0
#include "formula/model_data.h"

#include <algorithm>

#include <varnel/korlen.h>

#include "formula/design.h"
#include "output.h"

namespace varnel::cli::formula {
namespace {


std::vector<std::string> ResponseNames(const TModelTerms& Model) {
  std::vector<std::string> Names;
  NamesRead(Model.Variables[0].Expression, Names);
  return Names;
}

// The names every variable reads, the response's first.
std::vector<std::string> NamesOf(const TModelTerms& Model) {
  std::vector<std::string> Names;
  for (const TVariable& Variable : Model.Variables) NamesRead(Variable.Expression, Names);
  return Names;
}

std::string ColumnList(const std::vector<std::string>& Names) {
  constexpr std::size_t kShown = 30;
  std::string Text;
  for (std::size_t c = 0; c < Names.size() && c < kShown; ++c) Text += (c ? ", " : "") + Quoted(Names[c]);
  return Names.size() > kShown ? Text + ", ... (" + std::to_string(Names.size()) + " in all)" : Text;
}

// The variable that reads Name, as an error shows it.
std::string ReaderOf(const TModelTerms& Model, const std::string& Name) {
  for (std::size_t v = 0; v < Model.Variables.size(); ++v) {
    std::vector<std::string> Names;
    NamesRead(Model.Variables[v].Expression, Names);
    if (std::find(Names.begin(), Names.end(), Name) == Names.end()) continue;
    return (v == 0 ? "the response " : "the term ") + Quoted(Model.Variables[v].Label);
  }
  return "the formula";
}

}  // namespace

std::vector<int> FormulaColumns(const std::string& Formula, const std::vector<std::string>& Header,
                                const std::string& Source, bool Response, const std::vector<std::string>& Dot) {
  const TModelTerms Model = ExpandTerms(Formula, Dot.empty() ? Header : Dot);
  std::vector<int> Columns;
  for (const std::string& Name : Response ? NamesOf(Model) : TermColumns(Model)) {
    const auto Found = std::find(Header.begin(), Header.end(), Name);
    if (Found == Header.end()) {
      throw TInputError(Printable(Source) + ": no column named " + Quoted(Name) + " (in " + ReaderOf(Model, Name) +
                        "); the columns are " + ColumnList(Header));
    }
    Columns.push_back(static_cast<int>(Found - Header.begin()));
  }
  std::sort(Columns.begin(), Columns.end());
  return Columns;
}

std::string OffsetRefusal() {
  return "--formula: offset() is taken by glm (and predict from its model); a linear model's offset is "
         "the response less it: write I(y - x)";
}

std::vector<std::string> ResponseColumns(const std::string& Formula) {
  return ResponseNames(ExpandTerms(Formula, {}, false));
}

std::vector<std::string> TermColumns(const TModelTerms& Model) {
  std::vector<std::string> Names;
  for (std::size_t v = 1; v < Model.Variables.size(); ++v) NamesRead(Model.Variables[v].Expression, Names);
  return Names;
}

std::string ExpandedFormula(const TModelTerms& Model) {
  std::string Right;
  for (const TTerm& Term : Model.Terms) Right += (Right.empty() ? "" : " + ") + Term.Label;
  for (int v : Model.Offsets)
    Right += (Right.empty() ? "offset(" : " + offset(") + Model.Variables[static_cast<std::size_t>(v)].Label + ")";
  if (Right.empty()) return Model.Variables[0].Label + (Model.Intercept ? " ~ 1" : " ~ 0");
  return Model.Variables[0].Label + " ~ " + Right + (Model.Intercept ? "" : " - 1");
}

bool FormulaIntercept(const std::string& Formula) { return ExpandTerms(Formula, {}, false).Intercept; }

namespace {

// Each design column's missing cells: the rows that miss a value of a
// column its term reads.
long long MissingOf(const TRawData& Raw, const std::vector<int>& Sources) {
  long long Most = 0;
  for (int c : Sources) Most = std::max(Most, Raw.Columns[static_cast<std::size_t>(c)].Missing);
  return Most;
}

void Fill(const TDesign& Design, const TRawData& Raw, TAnalysisData& Data) {
  const std::size_t K = Design.ColumnNames().size();
  Data.X.assign(K, std::vector<double>(Raw.Rows.size()));
  std::vector<double> Values(Raw.Columns.size()), Row(K);
  for (std::size_t i = 0; i < Raw.Rows.size(); ++i) {
    for (std::size_t c = 0; c < Values.size(); ++c) Values[c] = Raw.Columns[c].Values[i];
    try {
      Data.Y.push_back(Design.Evaluate(Values, Row));
    } catch (const TEvaluationError& Error) {
      throw TInputError(EvaluationRefusal(Raw.Source, Raw.Rows[i], Error));
    }
    for (std::size_t j = 0; j < K; ++j) Data.X[j][i] = Row[j];
  }
}

}  // namespace

TAnalysisData FormulaData(const TCsvTable& Table, const std::string& Source, const std::string& Formula,
                          const TDataRules& Rules) {
  TModelTerms Model = ExpandTerms(Formula, Table.Header);
  if (!Model.Offsets.empty()) throw TInputError(OffsetRefusal());
  const TRawData Raw = SelectRawColumns(Table, Source, ResponseNames(Model), Rules);
  std::vector<TSourceColumn> Columns;
  for (const TRawColumn& Column : Raw.Columns) Columns.push_back({Column.Name, Column.Levels});
  const TDesign Design(std::move(Model), std::move(Columns));
  const std::size_t K = Design.ColumnNames().size();
  if (K > static_cast<std::size_t>(MaxVars)) {
    throw TCapacityError(Raw.Source + ": the formula makes " + std::to_string(K) + " predictor columns, at most " +
                         std::to_string(MaxVars) + " are possible");
  }
  TAnalysisData Data;
  Data.Source = Raw.Source;
  Data.YName = Printable(Design.ResponseLabel());
  for (const std::string& Name : Design.ColumnNames()) Data.XNames.push_back(Printable(Name));
  for (const std::string& Label : Design.TermLabels()) Data.TermNames.push_back(Printable(Label));
  Data.TermOf = Design.TermOf();
  Data.Rows = Raw.Rows;
  Data.Dropped = Raw.Dropped;
  Data.Unused = Raw.Unused;
  Data.Dummies = std::any_of(Raw.Columns.begin(), Raw.Columns.end(), [](const TRawColumn& C) { return !C.Levels.empty(); });
  for (std::size_t j = 0; j < K; ++j) Data.Missing.push_back(MissingOf(Raw, Design.SourcesOf(j)));
  long long ResponseMissing = 0;
  for (const std::string& Name : ResponseNames(ExpandTerms(Formula, Table.Header))) {
    for (const TRawColumn& Column : Raw.Columns) {
      if (Column.Name == Name) ResponseMissing = std::max(ResponseMissing, Column.Missing);
    }
  }
  Data.Missing.push_back(ResponseMissing);
  Fill(Design, Raw, Data);
  return Data;
}

}  // namespace varnel::cli::formula
