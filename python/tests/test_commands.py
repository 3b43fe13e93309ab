# SPDX-License-Identifier: Apache-2.0
# The module's tables against the tool's --csv of the same file, cell for
# cell and to the last bit; the data routes (text columns, missing cells,
# NumPy arrays); and the tool's refusals as Python exceptions.
import json
import subprocess

import numpy as np
import pandas as pd
import pytest

import varnel
from conftest import EXAMPLES, assert_same_table, read_exactly, tool_table

LONGLEY = EXAMPLES / "longley.csv"
SWISS = EXAMPLES / "swiss.csv"

CASES = [
    ("regress", LONGLEY, {"y": "Employed", "x": ["GNP", "Unemployed", "Armed.Forces", "Year"], "level": 0.9},
     ["--y", "Employed", "--x", "GNP,Unemployed,Armed.Forces,Year", "--level", "0.9"]),
    ("regress", SWISS, {"no_intercept": True, "vcov": "HC3"}, ["--no-intercept", "--vcov", "HC3"]),
    ("diagnose", SWISS, {"y": "Fertility"}, ["--y", "Fertility"]),
    ("describe", LONGLEY, {}, []),
    ("select", SWISS, {"method": "both"}, ["--method", "both"]),
    ("select", LONGLEY, {"criterion": "cp", "nbest": 2}, ["--criterion", "cp", "--nbest", "2"]),
    ("pca", SWISS, {"covariance": True}, ["--covariance"]),
    ("distance", SWISS, {"x": ["Agriculture", "Education", "Catholic"], "level": 0.99},
     ["--x", "Agriculture,Education,Catholic", "--level", "0.99"]),
    ("cluster", SWISS, {"clusters": 4, "seed": 7, "scale": True}, ["--clusters", "4", "--seed", "7", "--scale"]),
    ("analysis", LONGLEY, {}, []),
]


@pytest.mark.parametrize("command,path,options,arguments", CASES, ids=[f"{c[0]}-{c[1].stem}" for c in CASES])
def test_every_table_is_the_tools_csv(tool, command, path, options, arguments):
    results = getattr(varnel, command)(read_exactly(path), **options)
    assert results, "no table"
    head = [] if command == "analysis" else [command]
    for name, frame in results.items():
        assert_same_table(frame, tool_table(tool, [*head, path, *arguments], name))


def test_tables_in_the_tools_order_with_its_meta(tool):
    results = varnel.regress(read_exactly(LONGLEY), y="Employed", level=0.9)
    run = subprocess.run([tool, "regress", LONGLEY, "--y", "Employed", "--level", "0.9", "--json"],
                         capture_output=True, text=True, check=True)
    written = json.loads(run.stdout)
    assert ["meta", *results] == list(written)
    meta = {k: v for k, v in written["meta"].items() if k != "file"}
    assert {k: v for k, v in results.meta.items() if k != "file"} == meta
    coefficients = results["coefficients"]
    assert coefficients.dtypes.iloc[1] == np.float64 and coefficients.dtypes.iloc[0] == object
    assert results["model"]["nobs"].dtype == np.int64


def mixed_frame():
    rng = np.random.default_rng(3)
    n = 40
    frame = pd.DataFrame({
        "dose": np.round(rng.uniform(0, 10, n), 3),
        "group": rng.choice(["placebo", "low, mild", 'high "x"'], n),
        "batch": rng.integers(1, 4, n),
    })
    frame["response"] = np.round(2 + 0.5 * frame["dose"] + frame["batch"] + rng.normal(0, 1, n), 3)
    frame.loc[5, "dose"] = np.nan
    frame.loc[9, "group"] = None
    return frame


def test_text_factor_missing_cells_and_a_factor_of_counts(tool, tmp_path):
    frame = mixed_frame()
    path = tmp_path / "mixed.csv"
    frame.to_csv(path, index=False, na_rep="NA")
    options = {"y": "response", "factor": ["batch"]}
    results = varnel.regress(frame, **options)
    assert results.meta["dropped"] == 2
    assert "grouplow, mild" in results["coefficients"].iloc[:, 0].tolist()
    for name, table in results.items():
        assert_same_table(table, tool_table(tool, ["regress", path, "--y", "response", "--factor", "batch"], name))


def test_numpy_arrays_and_dicts_give_the_dataframes_results():
    frame = read_exactly(SWISS)
    expected = varnel.pca(frame)
    from_array = varnel.pca(frame.to_numpy(), names=list(frame.columns))
    from_dict = varnel.pca({c: frame[c].to_numpy() for c in frame.columns})
    for name in expected:
        pd.testing.assert_frame_equal(from_array[name], expected[name])
        pd.testing.assert_frame_equal(from_dict[name], expected[name])


def tool_error(tool, arguments):
    run = subprocess.run([tool, *map(str, arguments)], capture_output=True, text=True)
    return run.returncode, run.stderr.strip().splitlines()[-1]


def test_refusals_carry_the_tools_message(tool):
    frame = read_exactly(SWISS)
    status, line = tool_error(tool, ["regress", SWISS, "--y", "Fertility", "--x", "Nope"])
    assert status == 2
    with pytest.raises(varnel.InputError) as raised:
        varnel.regress(frame, source=str(SWISS), y="Fertility", x=["Nope"])
    assert "varnel: " + str(raised.value) == line
    assert isinstance(raised.value, ValueError)

    status, line = tool_error(tool, ["regress", SWISS, "--level", "2"])
    with pytest.raises(varnel.InputError) as raised:
        varnel.regress(frame, level=2)
    assert "varnel: " + str(raised.value) == line

    with pytest.raises(varnel.InputError, match="is not an option of describe"):
        varnel.describe(frame, level=0.9)
    with pytest.raises(TypeError, match="csv="):
        varnel.regress(frame, csv=True)


def test_a_rejected_analysis_is_an_analysis_error(tool, tmp_path):
    frame = pd.DataFrame({"a": [1.0, 2.0, 3.0], "b": [2.0, 1.0, 5.0], "c": [0.5, 1.5, 1.0], "y": [1.0, 2.0, 4.0]})
    path = tmp_path / "short.csv"
    frame.to_csv(path, index=False)
    status, line = tool_error(tool, ["regress", path])
    assert status == 1
    with pytest.raises(varnel.AnalysisError) as raised:
        varnel.regress(frame, source=str(path))
    assert isinstance(raised.value, RuntimeError)
    assert str(raised.value).splitlines()[-1] == line.removeprefix("varnel: ")


def test_table_needs_no_data(tool):
    results = varnel.table(df=7, level=0.9)
    assert_same_table(results["values"], tool_table(tool, ["table", "--df", "7", "--level", "0.9"], "values"))


def test_longley_against_the_certified_values():
    # NIST StRD's certified Longley fit (R's lm agrees to 13 digits); the
    # ill-conditioned fit is trusted to 10.
    results = varnel.regress(read_exactly(LONGLEY), y="Employed")
    certified = [-3482258.63459582, 15.0618722713733, -0.358191792925910e-01, -2.02022980381683,
                 -1.03322686717359, -0.511041056535807e-01, 1829.15146461355]
    assert results["coefficients"]["estimate"].tolist() == pytest.approx(certified, rel=1e-10)
    model = results["model"]
    assert model["r.squared"][0] == pytest.approx(0.995479004577296, rel=1e-10)
    assert model["sigma"][0] == pytest.approx(304.854073561965, rel=1e-10)
