// SPDX-License-Identifier: Apache-2.0
// Pieces the commands share to build their tables.
#include "analysis_tables.h"

#include <charconv>
#include <cstdlib>

#include <varnel/regression/aliasing.h>

namespace varnel::cli {

TCell SingleNumber(Extended Value) {
  char Buffer[32];
  const auto End = std::to_chars(Buffer, Buffer + sizeof Buffer - 1, static_cast<float>(Value)).ptr;
  *End = '\0';
  return std::strtod(Buffer, nullptr);
}

// Ten digits: 1 − 0.95 shows as 5%, not as its binary tail.
std::string Percent(double Level) {
  char Buffer[32];
  return std::string(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Level * 100, std::chars_format::general, 10).ptr) + "%";
}

std::vector<std::string> Terms(const TAnalysisData& Data, bool Intercept) {
  std::vector<std::string> Names;
  if (Intercept) Names.emplace_back(kConstantTerm);
  Names.insert(Names.end(), Data.XNames.begin(), Data.XNames.end());
  return Names;
}

std::vector<TTerm> TermsOf(const TAnalysisData& Data) {
  std::vector<TTerm> Terms;
  const bool Grouped = Data.TermOf.size() == Data.XNames.size();
  std::vector<int> Index(Data.TermNames.size(), -1);
  for (int j = 0; j < Data.K(); ++j) {
    if (!Grouped) {
      Terms.push_back({Data.XNames[j], {j}});
      continue;
    }
    int& t = Index[static_cast<std::size_t>(Data.TermOf[j])];
    if (t < 0) {
      t = static_cast<int>(Terms.size());
      Terms.push_back({Data.TermNames[static_cast<std::size_t>(Data.TermOf[j])], {}});
    }
    Terms[static_cast<std::size_t>(t)].Columns.push_back(j);
  }
  return Terms;
}

TAnalysisData WithoutPredictors(const TAnalysisData& Data, const std::vector<int>& Left) {
  TAnalysisData Kept = Data;
  for (auto j = Left.rbegin(); j != Left.rend(); ++j) {
    const auto Erase = [j](auto& Entries) {
      if (*j < static_cast<int>(Entries.size())) Entries.erase(Entries.begin() + *j);
    };
    Erase(Kept.X);
    Erase(Kept.XNames);
    Erase(Kept.Missing);
    Erase(Kept.TermOf);
  }
  return Kept;
}

TEstimable Estimable(const TAnalysisData& Data, bool Intercept) {
  TEstimable E;
  E.Aliased = FindAliasing(Data.X, Intercept).Aliased;
  for (int j = 0, a = 0; j < Data.K(); ++j) {
    if (a < static_cast<int>(E.Aliased.size()) && E.Aliased[a] == j) {
      ++a;
      continue;
    }
    E.Kept.push_back(j);
  }
  E.Data = E.Aliased.empty() ? Data : WithoutPredictors(Data, E.Aliased);
  return E;
}

TResultTable MatrixTable(const std::string& Name, const std::string& Title, const std::string& Corner,
                         const TMatrix& M, const std::vector<std::string>& Rows,
                         const std::vector<std::string>& Columns) {
  TResultTable Table{Name, Title, {Corner}, {}, {}};
  Table.Columns.insert(Table.Columns.end(), Columns.begin(), Columns.end());
  for (std::size_t i = 0; i < Rows.size(); ++i) {
    std::vector<TCell> Row{Rows[i]};
    for (std::size_t j = 0; j < Columns.size(); ++j) Row.push_back(Number(M[i][j]));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

std::string Legend(const TAnalysisData& Data) {
  std::string Text = "Variables:";
  for (int j = 0; j < Data.K(); ++j) Text += " " + std::to_string(j + 1) + "=" + Data.XNames[j];
  return Text + "  (response: " + Data.YName + ")";
}

std::vector<TMessage> Recorded(const std::function<void()>& Work) {
  std::vector<TMessage> Messages;
  const TScopedMessageHandler Record([&Messages](const TMessage& Message) { Messages.push_back(Message); });
  Work();
  return Messages;
}

void Show(const std::vector<TMessage>& Messages) {
  for (const TMessage& Message : Messages) MessageDlg(Message.Text, Message.Type, mbOK, 0);
}

}  // namespace varnel::cli
