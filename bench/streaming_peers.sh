#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# regress on files beyond the component's box against R (data.table::fread
# and lm) and statsmodels (pandas.read_csv and OLS), as whole processes in
# the same run, with the floor: the file's bytes read and its numbers
# parsed on all cores (varnel_floor). Prints a Markdown table of the best
# wall time (s) and the peak memory (MB) of that run.
#   bench/streaming_peers.sh VARNEL VARNEL_FLOOR FOLDER [RUNS] [CONFIGS...]
# A config is ROWSxPREDICTORS (default: 1e4x10 1e5x10 1e6x10 1e7x10 1e4x100
# 1e5x100 1e6x100 1e4x1000). Needs R with data.table, and python3 with
# pandas and statsmodels (Debian: r-base-core r-cran-data-table
# python3-statsmodels). Each peer is given TIMEOUT seconds (default 300).
set -euo pipefail
varnel=$1 floor=$2 folder=$3 runs=${4:-3}
shift $(( $# < 4 ? $# : 4 ))
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(1e4x10 1e5x10 1e6x10 1e7x10 1e4x100 1e5x100 1e6x100 1e4x1000)
timeout=${TIMEOUT:-300}
mkdir -p "$folder"

# The best of the runs: "seconds megabytes", or "> TIMEOUT" when a run
# did not finish in time.
best() {
  local best_s="" best_mb=""
  for _ in $(seq "$runs"); do
    if ! /usr/bin/time -f "%e %M" -o "$folder/time" timeout "$timeout" "$@" > /dev/null 2> "$folder/err"; then
      echo ">$timeout -"; return
    fi
    read -r s kb < <(tail -1 "$folder/time")
    if [ -z "$best_s" ] || awk "BEGIN{exit !($s < $best_s)}"; then best_s=$s; best_mb=$((kb / 1024)); fi
  done
  echo "$best_s $best_mb"
}

echo "| rows | predictors | file MB | floor s | varnel s | varnel MB | R s | R MB | statsmodels s | statsmodels MB |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for config in "${configs[@]}"; do
  n=${config%x*} p=${config#*x}
  file="$folder/data_${n}_${p}.csv"
  [ -f "$file" ] || Rscript -e "library(data.table); set.seed(1); n <- $n; p <- $p;
    m <- matrix(rnorm(n * p), n, p); d <- as.data.table(m);
    d[, y := drop(m %*% rep(c(1, -1), length.out = p)) + rnorm(n)]; fwrite(d, '$file')" > /dev/null
  mb=$(( $(stat -c %s "$file") / 1048576 ))
  read -r fs _ < <(best "$floor" "$file")
  read -r vs vm < <(best "$varnel" regress "$file" --y y)
  read -r rs rm < <(best Rscript -e "library(data.table); d <- fread('$file'); s <- summary(lm(y ~ ., d)); cat(s\$r.squared)")
  read -r ss sm < <(best /usr/bin/python3 -c "import pandas, statsmodels.api as sm
d = pandas.read_csv('$file'); x = sm.add_constant(d.drop(columns='y')); print(sm.OLS(d['y'], x).fit().rsquared)")
  echo "| $n | $p | $mb | $fs | $vs | $vm | $rs | ${rm:-} | $ss | ${sm:-} |"
done
