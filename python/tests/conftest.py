# SPDX-License-Identifier: Apache-2.0
# The built tool and the examples, which ctest names in the environment,
# and the comparison of a module's table with the tool's CSV of it.
import io
import math
import os
import subprocess
from pathlib import Path

import pandas as pd
import pytest

TOOL = os.environ.get("VARNEL_TOOL", "")
EXAMPLES = Path(os.environ.get("VARNEL_EXAMPLES", Path(__file__).resolve().parents[2] / "examples"))


@pytest.fixture(scope="session")
def tool():
    if not TOOL:
        pytest.skip("VARNEL_TOOL names no built tool (ctest sets it)")
    return TOOL


def read_exactly(path):
    """A CSV file as pandas reads it with Python's float(): every number the double it spells."""
    return pd.read_csv(path, float_precision="round_trip")


def tool_table(tool, arguments, name):
    """The tool's --csv of table name, as texts: a header and rows."""
    run = subprocess.run([tool, *map(str, arguments), "--csv", "--table", name], capture_output=True, text=True,
                         check=True)
    return pd.read_csv(io.StringIO(run.stdout), dtype=str, keep_default_na=False)


def same_cell(value, text):
    if isinstance(value, str):
        return value == text
    if text == "":
        return value is None or (isinstance(value, float) and math.isnan(value))
    if isinstance(value, int):
        return value == int(text)
    return value == float(text)  # float() gives the double the text spells: equal to the last bit


def assert_same_table(frame, expected):
    assert list(frame.columns) == list(expected.columns)
    assert len(frame) == len(expected)
    for j, column in enumerate(expected.columns):
        values = frame.iloc[:, j].tolist()
        texts = expected.iloc[:, j].tolist()
        for i, (value, text) in enumerate(zip(values, texts)):
            assert same_cell(value, text), f"row {i + 1}, column {column}: {value!r} against the tool's {text!r}"
