# SPDX-License-Identifier: Apache-2.0
# Bash completion for varnel: the commands, each command's options (the
# lists are checked against "varnel COMMAND --help" by the man_page test),
# the table names for --table, the values of the options that take a fixed
# set, and file names for FILE, -o, --plot, --report and --save-model.

_varnel() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="regress diagnose describe select pca distance cluster predict anova glm table verbs about example"
  # Each command's options; "full" is the full analysis, no command given.
  local -A options=(
    [full]="-h --help --version --y --x --sep --decimal --na --missing --factor --ref --verbose --formula --level --no-intercept --report-texts --alpha --scan --no-scan --threads --csv --json --table --raw -o --output"
    [regress]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --formula --level --no-intercept --report-texts --alpha --scan --no-scan --threads --csv --json --table --raw -o --output --beta-threshold --vcov --save-model --cluster --weights"
    [diagnose]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --formula --weights --level --no-intercept --report-texts --scan --no-scan --threads --csv --json --table --raw -o --output --plot --plot-size"
    [describe]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --report-texts --no-scan --threads --csv --json --table --raw -o --output --plot --plot-size"
    [select]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --formula --report-texts --scan --no-scan --threads --csv --json --table --raw -o --output --acc-weight --simp-weight --method --criterion --nbest"
    [pca]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --report-texts --no-scan --threads --csv --json --table --raw -o --output --plot --plot-size --covariance"
    [distance]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --level --no-scan --threads --csv --json --table --raw -o --output --threshold"
    [cluster]="-h --help --y --x --sep --decimal --na --missing --factor --ref --verbose --report-texts --no-scan --threads --csv --json --table --raw -o --output --plot --plot-size --clusters --seed --starts --iterations --report --scale"
    [predict]="-h --help --sep --decimal --na --verbose --level --no-scan --threads --interval --type --csv --json --table --raw -o --output"
    [anova]="-h --help --sep --decimal --na --missing --factor --ref --verbose --formula --no-scan --threads --csv --json --table --raw -o --output"
    [glm]="-h --help --y --x --formula --sep --decimal --na --missing --factor --ref --verbose --level --no-intercept --no-scan --threads --csv --json --table --raw -o --output --family --link --weights --save-model --step"
    [table]="-h --help --df --level --z --csv --json --table --raw -o --output"
    [verbs]="-h --help --raw"
    [about]="-h --help --raw"
    [example]="-h --help --raw"
  )
  # The tables each command gives, for --table.
  local -A tables=(
    [full]="coefficients model observations variables correlation covariance"
    [regress]="coefficients model terms anova"
    [diagnose]="observations"
    [describe]="variables correlation covariance"
    [select]="best steps"
    [pca]="components loadings scores"
    [distance]="distances"
    [cluster]="centres fit assignments"
    [predict]="predictions"
    [anova]="anova"
    [glm]="steps coefficients model observations"
    [table]="values"
  )
  # The options that take a value: the word after one is not a command.
  local valued=" --y --x --sep --decimal --na --missing --factor --ref --formula --level --alpha --table -o --output --plot --plot-size --beta-threshold --vcov --save-model --interval --cluster --weights --acc-weight --simp-weight --method --criterion --nbest --threshold --clusters --seed --starts --iterations --report --df --z --family --link "

  local command=full word i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $valued == *" $word "* ]]; then
      ((i++))
    elif [[ $word != -* && " $commands " == *" $word "* ]]; then
      command=$word
      break
    fi
  done

  case $prev in
    --table)
      mapfile -t COMPREPLY < <(compgen -W "${tables[$command]}" -- "$cur")
      return ;;
    --missing) mapfile -t COMPREPLY < <(compgen -W "drop fail" -- "$cur"); return ;;
    --interval) mapfile -t COMPREPLY < <(compgen -W "none confidence prediction" -- "$cur"); return ;;
    --family) mapfile -t COMPREPLY < <(compgen -W "binomial poisson gaussian Gamma inverse.gaussian" -- "$cur"); return ;;
    --link) mapfile -t COMPREPLY < <(compgen -W "logit probit cloglog log identity inverse 1/mu^2 sqrt" -- "$cur"); return ;;
    --vcov) mapfile -t COMPREPLY < <(compgen -W "const HC0 HC1 HC2 HC3 HC4" -- "$cur"); return ;;
    --method) mapfile -t COMPREPLY < <(compgen -W "exhaustive forward backward both" -- "$cur"); return ;;
    --criterion) mapfile -t COMPREPLY < <(compgen -W "adjr2 cp aic bic" -- "$cur"); return ;;
    --alpha) mapfile -t COMPREPLY < <(compgen -W "90 95 99" -- "$cur"); return ;;
    --decimal) mapfile -t COMPREPLY < <(compgen -W ". ," -- "$cur"); return ;;
    --sep) mapfile -t COMPREPLY < <(compgen -W "tab semicolon comma space" -- "$cur"); return ;;
    -o | --output | --plot | --report | --save-model)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return ;;
  esac
  # Any other option's value is free text: nothing to offer.
  [[ $valued == *" $prev "* ]] && return

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${options[$command]}" -- "$cur")
  else
    compopt -o filenames 2>/dev/null
    if [[ $command == full ]]; then
      mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur"; compgen -f -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
  fi
}
complete -F _varnel varnel
