# SPDX-License-Identifier: Apache-2.0
# Beyond 19,999 rows the commands run on the engine and the table of a row
# per observation is streamed: the module makes it a DataFrame, equal to
# the tool's CSV, the same for any number of threads. And the GIL is let go
# while a command computes.
import threading
import time

import numpy as np
import pandas as pd
import pytest

import varnel
from conftest import assert_same_table, tool_table


@pytest.fixture(scope="module")
def long_data(tmp_path_factory):
    rng = np.random.default_rng(11)
    n = 25_000
    frame = pd.DataFrame({"a": np.round(rng.normal(5, 2, n), 4), "b": np.round(rng.uniform(-1, 1, n), 4)})
    frame["y"] = np.round(1 + 0.3 * frame["a"] - 2 * frame["b"] + rng.normal(0, 0.5, n), 4)
    frame.loc[100, "b"] = np.nan
    path = tmp_path_factory.mktemp("long") / "long.csv"
    frame.to_csv(path, index=False, na_rep="NA")
    return frame, path


def test_streamed_diagnose_is_the_tools_csv_for_any_threads(tool, long_data):
    frame, path = long_data
    one = varnel.diagnose(frame, threads=1)
    three = varnel.diagnose(frame, threads=3)
    assert list(one) == list(three)
    for name in one:
        pd.testing.assert_frame_equal(one[name], three[name], check_exact=True)
    observations = one["observations"]
    assert len(observations) == len(frame) - 1 and one.meta["dropped"] == 1
    assert observations.iloc[:, 0].dtype == np.int64  # the data rows
    assert observations.iloc[100, 0] == 102  # row 101 was left out
    for name in one:
        assert_same_table(one[name], tool_table(tool, ["diagnose", path, "--threads", "2"], name))


def test_streamed_regress_robust_errors(tool, long_data):
    frame, path = long_data
    results = varnel.regress(frame, vcov="HC1")
    assert results.meta["vcov"] == "HC1"
    for name in results:
        assert_same_table(results[name], tool_table(tool, ["regress", path, "--vcov", "HC1"], name))


def test_other_threads_run_while_a_command_computes():
    # k-means of 20 clusters from 40 starts takes a second on 10,000 rows
    # that take milliseconds to hand over; while it runs this thread must
    # keep running.
    rng = np.random.default_rng(5)
    frame = pd.DataFrame(np.round(rng.normal(size=(10_000, 5)), 3), columns=list("abcde"))
    done = {}

    def search():
        start = time.perf_counter()
        done["results"] = varnel.cluster(frame, clusters=20, starts=40)
        done["seconds"] = time.perf_counter() - start

    worker = threading.Thread(target=search)
    worker.start()
    longest, last = 0.0, time.perf_counter()
    while worker.is_alive():
        time.sleep(0.001)
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    worker.join()
    assert len(done["results"]["centres"]) == 20
    assert done["seconds"] > 0.3, "the search is too short to tell"
    assert longest < 0.5 * done["seconds"]


def test_commands_on_several_threads_at_once(long_data):
    # Each thread runs its own command: none sees another's data, tables
    # or failure.
    frame, _ = long_data
    small = frame.head(500)
    expected = {"long": varnel.regress(frame, threads=2), "small": varnel.regress(small)}
    got, errors = [], []

    def run(i):
        try:
            if i % 3 == 2:
                with pytest.raises(varnel.InputError, match="Nope"):
                    varnel.regress(small, x=["Nope"])
            else:
                got.append(("long" if i % 3 else "small", varnel.regress(frame if i % 3 else small, threads=2)))
        except BaseException as error:  # noqa: B902 - reported below, on the main thread
            errors.append(error)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not errors
    assert len(got) == 4
    for which, results in got:
        for name in expected[which]:
            pd.testing.assert_frame_equal(results[name], expected[which][name], check_exact=True)
