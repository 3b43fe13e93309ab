#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The engine's accuracy targets, checked against R on files too large for
# the test suite: prints, per figure, the fewest significant digits on which
# varnel and R agree, and whether --threads 1 and 2 give the same bytes.
#   bench/targets.sh VARNEL FOLDER [VARNEL_QUAD_FIT]
# 1. 1,000,000 rows: a text id, timestamps (1.7e9 + 60 i), a 12-level
#    factor, 8 numeric columns of scales 0.01 to 1e4 and a response:
#    regress (lm), describe (mean, sd, quantile type 7, skewness) and pca
#    (prcomp, scale. = TRUE).
# 2. 50,000 rows × 120 predictors (scales 1e-2 to 1e3): regress (lm), and,
#    given varnel_quad_fit (built with the benchmarks), both against the
#    binary128 fit.
# Digits are relative to each figure, except where a figure can be near
# zero (skewness, loadings): there relative to 1.
# Needs R with data.table and jsonlite.
set -euo pipefail
varnel=$1 folder=$2 quad=${3:-}
mkdir -p "$folder"
mixed="$folder/mixed_1e6.csv" wide="$folder/wide_5e4_120.csv"
[ -f "$mixed" ] || Rscript -e "library(data.table); set.seed(29); n <- 1e6
  d <- data.table(id = sprintf('u%07d', 1:n), t = 1.7e9 + 60 * (1:n), g = sample(letters[1:12], n, TRUE))
  s <- c(0.01, 0.1, 1, 10, 100, 1000, 5000, 1e4)
  for (j in 1:8) d[[paste0('x', j)]] <- s[j] * runif(n) + s[j] * (j %% 3)
  d[, y := 1e-7 * (t - 1.7e9) + match(g, letters) / 4 + x1 * 30 - x2 * 2 + x3 + x4 / 10 + x5 / 200 + x6 / 1e3 + x7 / 4e3 + x8 / 1e4 + rnorm(n)]
  fwrite(d, '$mixed')" > /dev/null
[ -f "$wide" ] || Rscript -e "library(data.table); set.seed(30); n <- 5e4; p <- 120
  m <- matrix(rnorm(n * p), n, p) %*% diag(10^seq(-2, 3, length.out = p)); d <- as.data.table(m)
  d[, y := drop(m %*% rep(c(1, -0.5, 0.25), length.out = p)) + rnorm(n)]; fwrite(d, '$wide')" > /dev/null

xs=x1,x2,x3,x4,x5,x6,x7,x8
for threads in 1 2; do
  "$varnel" regress "$mixed" --y y --x t,g,$xs --json --threads $threads > "$folder/regress_$threads.json"
  "$varnel" describe "$mixed" --y y --x t,$xs --json --threads $threads > "$folder/describe_$threads.json"
  "$varnel" pca "$mixed" --x t,$xs --json --threads $threads > "$folder/pca_$threads.json"
done
"$varnel" pca "$mixed" --x t,$xs --csv --table components > "$folder/components.csv"
"$varnel" pca "$mixed" --x t,$xs --csv --table loadings > "$folder/loadings.csv"
"$varnel" regress "$wide" --y y --json > "$folder/wide.json"
[ -z "$quad" ] || [ -f "$folder/wide_quad.txt" ] || "$quad" "$wide" > "$folder/wide_quad.txt"
for name in regress describe pca; do
  if cmp -s "$folder/${name}_1.json" "$folder/${name}_2.json"; then s=same; else s=DIFFERENT; fi
  echo "threads 1 and 2, $name: $s bytes"
done

Rscript - "$folder" <<'RSCRIPT'
library(data.table); library(jsonlite)
folder <- commandArgs(TRUE)[1]
digits <- function(a, b, floor = .Machine$double.xmin) min(-log10(abs(a - b) / pmax(abs(b), floor)), 17)
report <- function(what, a, b, floor = .Machine$double.xmin) cat(sprintf("%-44s %5.1f digits\n", what, digits(a, b, floor)))
d <- fread(file.path(folder, "mixed_1e6.csv"))
fit <- summary(lm(y ~ t + g + x1 + x2 + x3 + x4 + x5 + x6 + x7 + x8, d))
v <- fromJSON(file.path(folder, "regress_1.json"))
co <- v$coefficients
report("1e6 mixed: coefficients", co$estimate, fit$coefficients[, 1])
report("1e6 mixed: standard errors", co$std.error, fit$coefficients[, 2])
report("1e6 mixed: R², sigma, F", c(v$model$r.squared, v$model$sigma, v$model$statistic),
       c(fit$r.squared, fit$sigma, fit$fstatistic[1]))
ds <- fromJSON(file.path(folder, "describe_1.json"))$variables
cols <- c("t", paste0("x", 1:8), "y")
report("1e6 mixed: mean, sd", c(ds$mean, ds$sd), c(sapply(d[, ..cols], mean), sapply(d[, ..cols], sd)))
q <- sapply(d[, ..cols], quantile, c(0.25, 0.5, 0.75), type = 7)
report("1e6 mixed: quartiles (type 7)", c(rbind(ds$q1, ds$median, ds$q3)), c(q))
skew <- sapply(d[, ..cols], function(x) { m <- mean(x); mean((x - m)^3) / mean((x - m)^2)^1.5 })
report("1e6 mixed: skewness", ds$skew, skew, 1)
p <- prcomp(d[, c("t", paste0("x", 1:8)), with = FALSE], scale. = TRUE)
report("1e6 mixed: pca sdev", read.csv(file.path(folder, "components.csv"))$sdev, p$sdev)
rot <- as.matrix(read.csv(file.path(folder, "loadings.csv"))[, -1])
report("1e6 mixed: pca loadings (|.|)", abs(c(rot)), abs(c(p$rotation)), 1)
w <- fread(file.path(folder, "wide_5e4_120.csv"))
wf <- summary(lm(y ~ ., w))
wv <- fromJSON(file.path(folder, "wide.json"))
report("5e4 x 120: coefficients", wv$coefficients$estimate, wf$coefficients[, 1])
report("5e4 x 120: standard errors", wv$coefficients$std.error, wf$coefficients[, 2])
report("5e4 x 120: R², sigma", c(wv$model$r.squared, wv$model$sigma), c(wf$r.squared, wf$sigma))
quad <- file.path(folder, "wide_quad.txt")
if (file.exists(quad)) {
  q <- scan(quad, quiet = TRUE)
  report("5e4 x 120: varnel's coefficients vs binary128", wv$coefficients$estimate, q)
  report("5e4 x 120: R's coefficients vs binary128", wf$coefficients[, 1], q)
}
RSCRIPT
