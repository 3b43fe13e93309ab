#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The tool under mpirun gives the bytes of one process: for every command
# that reads in blocks, on a file beyond the component's box with quoted
# line ends, CRLF rows, empty lines, missing cells and a factor; and a bad
# cell in a late block ends every process with the one-process message and
# status; a folder of part files likewise. Usage: mpi_tool.sh VARNEL MPIEXEC PROCESSES SCRATCH
set -euo pipefail
varnel=$1 mpiexec=$2 processes=$3 scratch=$4
mkdir -p "$scratch"
data=$scratch/data.csv
# The rows go to one file and, cut into part files of 70,000, 1,000, no
# and 79,000 rows, to a folder.
parts=$scratch/parts
mkdir -p "$parts"
: > "$parts/_SUCCESS"
awk -v parts="$parts" 'BEGIN { srand(7); header = "\"the x\",x2,group,y";
  print header; for (p = 0; p < 4; p++) print header > (parts "/part-" p ".csv");
  for (i = 1; i <= 150000; i++) {
    x = rand() * 10; x2 = rand() - 0.5; g = (i % 3 == 0) ? "a" : ((i % 3 == 1) ? "b" : "\"c\nd\"");
    y = 1 + 2 * x - x2 + rand(); end = (i % 7 == 0) ? "\r\n" : "\n";
    if (i % 1001 == 0) row = sprintf("%s,,%s,%s%s", x, g, y, end); else row = sprintf("%s,%s,%s,%s%s", x, x2, g, y, end);
    if (i % 5003 == 0) row = row "\n";
    printf "%s", row; printf "%s", row > (parts "/part-" (i <= 70000 ? 0 : (i <= 71000 ? 1 : 3)) ".csv");
  } }' > "$data"
run() { "$mpiexec" -q --oversubscribe -n "$processes" "$varnel" "$@"; }
for command in regress diagnose describe pca distance select; do
  "$varnel" "$command" "$data" --json > "$scratch/one.json" 2> "$scratch/one.err"
  run "$command" "$data" --json > "$scratch/many.json" 2> "$scratch/many.err"
  cmp "$scratch/one.json" "$scratch/many.json" || { echo "$command: the JSON differs under $processes processes"; exit 1; }
  cmp "$scratch/one.err" "$scratch/many.err" || { echo "$command: the messages differ under $processes processes"; exit 1; }
done
# Robust standard errors: their meat is a state of its own, merged alike.
"$varnel" regress "$data" --vcov HC3 --json > "$scratch/one.json"
run regress "$data" --vcov HC3 --json > "$scratch/many.json"
cmp "$scratch/one.json" "$scratch/many.json" || { echo "regress --vcov HC3: the JSON differs under $processes processes"; exit 1; }
# A saved model, and predict on the file: the processes' rows in order.
run regress "$data" --save-model "$scratch/many.model" > /dev/null
"$varnel" regress "$data" --save-model "$scratch/one.model" > /dev/null
cmp "$scratch/one.model" "$scratch/many.model" || { echo "regress --save-model: the model differs under $processes processes"; exit 1; }
"$varnel" predict "$scratch/one.model" "$data" --interval prediction --csv > "$scratch/one.csv"
run predict "$scratch/one.model" "$data" --interval prediction --csv > "$scratch/many.csv"
cmp "$scratch/one.csv" "$scratch/many.csv" || { echo "predict: the predictions differ under $processes processes"; exit 1; }
# Clustered errors (per-cluster sums keyed by the group's text) and a
# weighted fit (weighted moments) likewise.
for options in "--cluster group" "--weights the x"; do
  read -r option column <<< "$options"
  "$varnel" regress "$data" --y y --x x2 "$option" "$column" --json > "$scratch/one.json"
  run regress "$data" --y y --x x2 "$option" "$column" --json > "$scratch/many.json"
  cmp "$scratch/one.json" "$scratch/many.json" || { echo "regress $options: the JSON differs under $processes processes"; exit 1; }
done
for command in regress diagnose describe; do
  "$varnel" "$command" "$parts" --json > "$scratch/one.json" 2> "$scratch/one.err"
  run "$command" "$parts" --json > "$scratch/many.json" 2> "$scratch/many.err"
  cmp "$scratch/one.json" "$scratch/many.json" || { echo "$command: the folder's JSON differs under $processes processes"; exit 1; }
  cmp "$scratch/one.err" "$scratch/many.err" || { echo "$command: the folder's messages differ under $processes processes"; exit 1; }
done
# k-means: one process holds the rows, several read their parts on each pass.
"$varnel" cluster "$data" --x x2,y --clusters 3 --starts 2 --json > "$scratch/one.json" 2> "$scratch/one.err"
run cluster "$data" --x x2,y --clusters 3 --starts 2 --json > "$scratch/many.json" 2> "$scratch/many.err"
cmp "$scratch/one.json" "$scratch/many.json" || { echo "cluster: the JSON differs under $processes processes"; exit 1; }
cmp "$scratch/one.err" "$scratch/many.err" || { echo "cluster: the messages differ under $processes processes"; exit 1; }
# A picture: its series are gathered from every process, rank 0 draws it.
head -n 30001 "$data" > "$scratch/small.csv"
"$varnel" diagnose "$scratch/small.csv" --plot "$scratch/one.svg" > "$scratch/one.txt" 2> "$scratch/one.err"
run diagnose "$scratch/small.csv" --plot "$scratch/many.svg" > "$scratch/many.txt" 2> "$scratch/many.err"
cmp "$scratch/one.svg" "$scratch/many.svg" || { echo "diagnose --plot: the picture differs under $processes processes"; exit 1; }
cmp "$scratch/one.txt" "$scratch/many.txt" && cmp "$scratch/one.err" "$scratch/many.err" ||
  { echo "diagnose --plot: the tables or messages differ under $processes processes"; exit 1; }
# A cell that is not a number far into the file.
sed '140000s/^[^,]*,/oops,/' "$data" > "$scratch/bad.csv"
set +e
"$varnel" regress "$scratch/bad.csv" > /dev/null 2> "$scratch/one.err"; one=$?
run regress "$scratch/bad.csv" > /dev/null 2> "$scratch/many.err"; many=$?
set -e
[ "$one" = "$many" ] || { echo "exit status $many under $processes processes, $one in one"; exit 1; }
cmp "$scratch/one.err" "$scratch/many.err" || { echo "the error differs under $processes processes"; cat "$scratch/many.err"; exit 1; }
rm -rf "$scratch"
