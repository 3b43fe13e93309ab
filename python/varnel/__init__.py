# SPDX-License-Identifier: Apache-2.0
"""The varnel tool's commands on a pandas DataFrame or NumPy arrays.

Each function is named as the tool's command and takes its options as
keyword arguments named as the long options, ``-`` written ``_``
(``y="Employed"``, ``x=["GNP", "Year"]``, ``level=0.9``, ``no_intercept=True``,
``factor=["cyl"]``, ``threads=3``). A flag is given as True; an option the
tool repeats (``x``, ``factor``, ``na``) takes a list. The data are written as
the CSV text of a file (numbers as the shortest decimal that reads back to
the same double, missing cells as NA) and read by the tool's own reader, so
the tables are those the tool gives for that file.

A function returns a :class:`Results`: a dict of the command's tables, by
name and in the tool's order, as DataFrames with the tool's columns
(numbers float64, counts int64, NaN or None where a cell is not
available), and ``meta``, what the tool's JSON output calls meta. Beyond
19,999 rows the table of a row per observation is among them.

Refusals of the data or options raise :class:`InputError` (a ValueError),
a rejected or failed analysis :class:`AnalysisError` (a RuntimeError),
each with the tool's message. The computation runs without the GIL.
"""

import math
import warnings

import numpy as np
import pandas as pd

from ._varnel import AnalysisError, InputError
from ._varnel import run as _run

__all__ = ["regress", "diagnose", "select", "describe", "pca", "distance", "cluster", "analysis", "anova", "predict", "glm",
           "table",
           "Results", "InputError", "AnalysisError"]

# Options of the command line that write files or texts, or describe a
# file's text: here the data are given and the tables returned.
_NOT_HERE = {"csv", "json", "table", "raw", "output", "o", "plot", "plot_size", "report", "report_texts",
             "sep", "decimal", "help", "version"}


class Results(dict):
    """The tables of a command by name, in the tool's order; ``meta`` says
    what was analysed (command, n, k, response, predictors, level, ...)."""

    def __init__(self, tables, meta):
        super().__init__(tables)
        self.meta = meta


def _missing(value):
    return value is None or value is pd.NA or value is pd.NaT or (isinstance(value, float) and math.isnan(value))


def _column(values):
    """A column as the module writes it: float64, int64, or texts (None: missing)."""
    values = np.asarray(values)
    kind = values.dtype.kind
    if kind == "f":
        return np.ascontiguousarray(values, dtype=np.float64)
    if kind == "i" or (kind == "u" and values.dtype.itemsize < 8):
        return np.ascontiguousarray(values, dtype=np.int64)
    return [None if _missing(v) else str(v) for v in values.tolist()]


def _data(data, names):
    if isinstance(data, pd.DataFrame):
        if names is not None:
            raise TypeError("names are for a NumPy array; a DataFrame's are its columns")
        return [str(c) for c in data.columns], [_column(data.iloc[:, j].to_numpy()) for j in range(data.shape[1])]
    if isinstance(data, dict):
        return [str(c) for c in data], [_column(v) for v in data.values()]
    array = np.asarray(data)
    if array.ndim != 2:
        raise ValueError("the data are a DataFrame, a dict of columns or a 2-D array with names")
    if names is None:
        raise TypeError("a NumPy array needs names=[...], one a column")
    names = [str(n) for n in names]
    if len(names) != array.shape[1]:
        raise ValueError(f"{len(names)} names for {array.shape[1]} columns")
    return names, [_column(array[:, j]) for j in range(array.shape[1])]


def _word(value):
    if isinstance(value, float):
        return repr(value)  # the shortest decimal of the double
    return str(value)


def _arguments(command, options, positional=()):
    arguments = ([] if command == "analysis" else [command]) + [str(p) for p in positional]
    for key, value in options.items():
        if key in _NOT_HERE:
            raise TypeError(f"{key}= is an option of the command line only: here the data are given and the "
                            "tables returned")
        if value is None or value is False:
            continue
        option = "--" + key.replace("_", "-")
        if value is True:
            arguments.append(option)
        elif not isinstance(value, (str, bytes)) and hasattr(value, "__iter__"):  # a list, an Index, an array
            arguments += [f"{option}={_word(v)}" for v in value]
        else:
            arguments.append(f"{option}={_word(value)}")
    return arguments


def _frame(names, columns):
    frame = pd.DataFrame({j: (pd.Series(c, dtype=object) if isinstance(c, list) else c)
                          for j, c in enumerate(columns)}, columns=range(len(names)))
    frame.columns = list(names)
    return frame


def _command(command, data, names, source, options, positional=()):
    column_names, columns = _data(data, names) if command != "table" else ([], [])
    meta, tables, messages = _run(_arguments(command, options, positional), column_names, columns, source)
    for message in messages:  # what the tool shows on standard error
        warnings.warn(message, RuntimeWarning, stacklevel=3)
    return Results({name: _frame(table_columns, values) for name, _title, table_columns, values in tables}, meta)


def regress(data, names=None, source="data frame", **options):
    """varnel regress: tables coefficients and model."""
    return _command("regress", data, names, source, options)


def diagnose(data, names=None, source="data frame", **options):
    """varnel diagnose: table observations."""
    return _command("diagnose", data, names, source, options)


def select(data, names=None, source="data frame", **options):
    """varnel select: table best (or steps with method=)."""
    return _command("select", data, names, source, options)


def describe(data, names=None, source="data frame", **options):
    """varnel describe: tables variables, correlation and covariance."""
    return _command("describe", data, names, source, options)


def pca(data, names=None, source="data frame", **options):
    """varnel pca: tables components, loadings and scores."""
    return _command("pca", data, names, source, options)


def distance(data, names=None, source="data frame", **options):
    """varnel distance: table distances."""
    return _command("distance", data, names, source, options)


def cluster(data, names=None, source="data frame", **options):
    """varnel cluster: tables centres, fit and assignments."""
    return _command("cluster", data, names, source, options)


def analysis(data, names=None, source="data frame", **options):
    """varnel FILE: the full analysis."""
    return _command("analysis", data, names, source, options)


def anova(data, names=None, source="data frame", **options):
    """varnel anova: table anova of nested models, formula=[small, ..., large]."""
    return _command("anova", data, names, source, options)


def predict(model, data, names=None, source="data frame", **options):
    """varnel predict: table predictions from the model file that varnel regress or glm --save-model wrote
    (interval="confidence" or "prediction", level=; type="link" or "response" for a glm's)."""
    return _command("predict", data, names, source, options, positional=[model])


def glm(data, names=None, source="data frame", **options):
    """varnel glm: tables coefficients, model and observations of a generalised linear model (family=, link=,
    formula= with offset() terms, weights=)."""
    return _command("glm", data, names, source, options)


def table(**options):
    """varnel table: t, z and chi-square quantiles and normal probabilities (df=, level=, z=)."""
    return _command("table", None, None, "", options)
