// SPDX-License-Identifier: Apache-2.0
// _varnel: the tool's commands for Python. The data come as columns, are
// written as the CSV text of a file and read by the tool's own reader, so
// that a command gives the tables it gives for that file; the tables come
// back as columns, which varnel/__init__.py makes DataFrames of.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "command_line.h"
#include "results.h"

namespace py = pybind11;

namespace {

using namespace varnel::cli;

class TInputFailure : public TCommandFailure {
 public:
  using TCommandFailure::TCommandFailure;
};

// A field in quotes, quotes doubled: a name or text cell whatever it holds.
void AppendQuoted(std::string& Text, const std::string& Field) {
  Text += '"';
  for (const char c : Field) {
    if (c == '"') Text += '"';
    Text += c;
  }
  Text += '"';
}

// The shortest decimal that reads back to the same double; NA for NaN.
void AppendNumber(std::string& Text, double Value) {
  if (std::isnan(Value)) {
    Text += "NA";
    return;
  }
  char Digits[32];
  const auto End = std::to_chars(Digits, Digits + sizeof Digits, Value).ptr;
  Text.append(Digits, End);
}

void AppendCount(std::string& Text, std::int64_t Value) {
  char Digits[24];
  const auto End = std::to_chars(Digits, Digits + sizeof Digits, Value).ptr;
  Text.append(Digits, End);
}

// A column as __init__.py gives it: float64 or int64 values, or a list of
// texts with None where a cell is missing.
struct TColumn {
  py::array_t<double> Numbers;
  py::array_t<std::int64_t> Counts;
  std::vector<std::optional<std::string>> Texts;
  int Kind = 0;  // 0 numbers, 1 counts, 2 texts
  py::ssize_t Size() const { return Kind == 0 ? Numbers.size() : Kind == 1 ? Counts.size() : static_cast<py::ssize_t>(Texts.size()); }
};

TColumn ColumnOf(const py::handle& Given) {
  TColumn Column;
  if (py::isinstance<py::list>(Given)) {
    Column.Kind = 2;
    Column.Texts = Given.cast<std::vector<std::optional<std::string>>>();
  } else if (py::isinstance<py::array_t<std::int64_t>>(Given)) {
    Column.Kind = 1;
    Column.Counts = Given.cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  } else {
    Column.Numbers = Given.cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
  }
  if ((Column.Kind == 0 && Column.Numbers.ndim() != 1) || (Column.Kind == 1 && Column.Counts.ndim() != 1))
    throw py::value_error("a column has one dimension");
  return Column;
}

void AppendCell(std::string& Text, const TColumn& Column, py::ssize_t Row) {
  if (Column.Kind == 0) return AppendNumber(Text, Column.Numbers.data()[Row]);
  if (Column.Kind == 1) return AppendCount(Text, Column.Counts.data()[Row]);
  const std::optional<std::string>& Cell = Column.Texts[static_cast<std::size_t>(Row)];
  if (Cell) return AppendQuoted(Text, *Cell);
  Text += "NA";
}

// The CSV text of the columns: a header row of the names, then the rows.
std::shared_ptr<const std::string> CsvText(const std::vector<std::string>& Names, const py::list& Given) {
  if (Names.size() != Given.size()) throw py::value_error("there are as many names as columns");
  std::vector<TColumn> Columns;
  for (const py::handle& Column : Given) Columns.push_back(ColumnOf(Column));
  const py::ssize_t Rows = Columns.empty() ? 0 : Columns.front().Size();
  for (const TColumn& Column : Columns) {
    if (Column.Size() != Rows) throw py::value_error("the columns are of different lengths");
  }
  auto Text = std::make_shared<std::string>();
  for (std::size_t c = 0; c < Names.size(); ++c) {
    if (c > 0) *Text += ',';
    AppendQuoted(*Text, Names[c]);
  }
  *Text += '\n';
  for (py::ssize_t r = 0; r < Rows; ++r) {
    for (std::size_t c = 0; c < Columns.size(); ++c) {
      if (c > 0) *Text += ',';
      AppendCell(*Text, Columns[c], r);
    }
    *Text += '\n';
  }
  return Text;
}

// A table's column: float64 when its cells are numbers or not available,
// int64 when all are counts, otherwise a list of Python objects.
py::object ColumnObject(const TResultTable& Table, std::size_t c) {
  bool Numbers = true, Counts = true;
  for (const auto& Row : Table.Rows) {
    Numbers = Numbers && (std::holds_alternative<double>(Row[c]) || std::holds_alternative<std::monostate>(Row[c]));
    Counts = Counts && std::holds_alternative<long long>(Row[c]);
  }
  const auto n = static_cast<py::ssize_t>(Table.Rows.size());
  if (Counts && n > 0) {
    py::array_t<std::int64_t> Column(n);
    for (py::ssize_t i = 0; i < n; ++i) Column.mutable_at(i) = std::get<long long>(Table.Rows[static_cast<std::size_t>(i)][c]);
    return Column;
  }
  if (Numbers) {
    py::array_t<double> Column(n);
    for (py::ssize_t i = 0; i < n; ++i) {
      const TCell& Cell = Table.Rows[static_cast<std::size_t>(i)][c];
      Column.mutable_at(i) = std::holds_alternative<double>(Cell) ? std::get<double>(Cell) : std::nan("");
    }
    return Column;
  }
  py::list Column;
  for (const auto& Row : Table.Rows) {
    const TCell& Cell = Row[c];
    if (const auto* Number = std::get_if<double>(&Cell)) Column.append(*Number);
    else if (const auto* Count = std::get_if<long long>(&Cell)) Column.append(*Count);
    else if (const auto* Text = std::get_if<std::string>(&Cell)) Column.append(py::str(*Text));
    else Column.append(py::none());
  }
  return Column;
}

py::tuple TableObject(const TResultTable& Table) {
  py::list Columns;
  for (std::size_t c = 0; c < Table.Columns.size(); ++c) Columns.append(ColumnObject(Table, c));
  return py::make_tuple(Table.Name, Table.Title, Table.Columns, Columns);
}

py::tuple TableObject(const TStreamedTable& Table) {
  py::list Columns;
  for (std::size_t c = 0; c < Table.Columns.size(); ++c) {
    const std::vector<double>& Values = Table.Values[c];
    if (!Table.Counts[c]) {
      Columns.append(py::array_t<double>(static_cast<py::ssize_t>(Values.size()), Values.data()));
      continue;
    }
    py::array_t<std::int64_t> Column(static_cast<py::ssize_t>(Values.size()));
    for (std::size_t i = 0; i < Values.size(); ++i) Column.mutable_at(static_cast<py::ssize_t>(i)) = static_cast<std::int64_t>(Values[i]);
    Columns.append(std::move(Column));
  }
  return py::make_tuple(Table.Name, Table.Title, Table.Columns, Columns);
}

py::dict MetaObject(const TMeta& Meta) {
  py::dict Out;
  Out["command"] = Meta.Command;
  Out["file"] = Meta.File;
  Out["n"] = Meta.N;
  Out["k"] = Meta.K;
  Out["dropped"] = Meta.Dropped;
  Out["level"] = std::isnan(Meta.Level) ? py::object(py::none()) : py::object(py::float_(Meta.Level));
  Out["response"] = Meta.Response.empty() ? py::object(py::none()) : py::object(py::str(Meta.Response));
  Out["predictors"] = Meta.Predictors;
  Out["version"] = Meta.Version;
  if (Meta.Scaled) Out["scaled"] = *Meta.Scaled;
  if (Meta.Vcov) Out["vcov"] = *Meta.Vcov;
  return Out;
}

// The command runs without the GIL: other Python threads go on meanwhile.
py::tuple Run(const std::vector<std::string>& Arguments, const std::vector<std::string>& Names, const py::list& Columns,
              const std::string& Source) {
  const std::shared_ptr<const std::string> Text = CsvText(Names, Columns);
  TInProcessResults Results;
  {
    py::gil_scoped_release Release;
    try {
      Results = RunCommandInProcess(Arguments, Text, Source);
    } catch (const TCommandFailure& Failure) {
      if (Failure.Status() == 2) throw TInputFailure(Failure.Status(), Failure.what());
      throw;
    }
  }
  py::list Tables;
  for (const TResultTable& Table : Results.Results.Tables) Tables.append(TableObject(Table));
  if (Results.Stream) Tables.append(TableObject(*Results.Stream));
  return py::make_tuple(MetaObject(Results.Results.Meta), Tables, Results.Messages);
}

}  // namespace

PYBIND11_MODULE(_varnel, Module) {
  Module.doc() = "The varnel tool's commands on data held in memory (use the varnel package)";
  static py::exception<TInputFailure> InputError(Module, "InputError", PyExc_ValueError);
  static py::exception<TCommandFailure> AnalysisError(Module, "AnalysisError", PyExc_RuntimeError);
  py::register_exception_translator([](std::exception_ptr Raised) {
    try {
      if (Raised) std::rethrow_exception(Raised);
    } catch (const TInputFailure& Failure) {
      InputError(Failure.what());
    } catch (const TCommandFailure& Failure) {
      AnalysisError(Failure.what());
    }
  });
  Module.def("run", &Run, py::arg("arguments"), py::arg("names"), py::arg("columns"), py::arg("source"),
             "Runs the command of arguments on the columns, named names, as on a CSV file of them called source; "
             "returns (meta, [(name, title, columns, values)], messages)");
}
