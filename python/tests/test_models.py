# SPDX-License-Identifier: Apache-2.0
# Nested models and predictions from a saved model: the module's tables
# against the tool's --csv of the same files, cell for cell.
import subprocess

import pytest

import varnel
from conftest import EXAMPLES, assert_same_table, read_exactly, tool_table

SWISS = EXAMPLES / "swiss.csv"


def test_anova_of_nested_formulas_is_the_tools(tool):
    formulas = ["Fertility ~ Education", "Fertility ~ Education + Catholic", "Fertility ~ . - Examination"]
    results = varnel.anova(read_exactly(SWISS), formula=formulas)
    arguments = [a for f in formulas for a in ("--formula", f)]
    assert_same_table(results["anova"], tool_table(tool, ["anova", SWISS, *arguments], "anova"))


@pytest.mark.parametrize("interval", ["confidence", "prediction"])
def test_predictions_of_a_saved_model_are_the_tools(tool, tmp_path, interval):
    model = tmp_path / "swiss.json"
    subprocess.run([tool, "regress", SWISS, "--y", "Fertility", "--x", "Agriculture,Education",
                    "--save-model", model], capture_output=True, check=True)
    new = read_exactly(SWISS).iloc[::3]
    path = tmp_path / "new.csv"
    new.to_csv(path, index=False)
    results = varnel.predict(model, new, interval=interval, level=0.9)
    expected = tool_table(tool, ["predict", model, path, "--interval", interval, "--level", "0.9"], "predictions")
    assert_same_table(results["predictions"], expected)


def test_a_model_file_is_read_not_written_here(tmp_path):
    with pytest.raises(varnel.InputError, match="--save-model"):
        varnel.regress(read_exactly(SWISS), save_model=str(tmp_path / "m.json"))
    with pytest.raises(varnel.InputError, match="cannot open the model file"):
        varnel.predict(tmp_path / "none.json", read_exactly(SWISS))


def test_glm_tables_are_the_tools(tool, tmp_path):
    frame = read_exactly(SWISS)
    frame["high"] = (frame["Fertility"] > 70).astype(int)
    path = tmp_path / "swiss_high.csv"
    frame.to_csv(path, index=False)
    options = {"y": "high", "x": ["Agriculture", "Education"], "family": "binomial"}
    arguments = ["--y", "high", "--x", "Agriculture,Education", "--family", "binomial"]
    results = varnel.glm(read_exactly(path), **options)
    assert list(results) == ["coefficients", "model", "observations"]
    for name, table in results.items():
        assert_same_table(table, tool_table(tool, ["glm", path, *arguments], name))
