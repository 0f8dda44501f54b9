# Shared by the package scripts (sourced): check WHAT CONDITION... runs the condition and, when
# it does not hold, says what was expected and marks the run failed ($failed).
failed=0
check() {
  local what=$1
  shift
  if ! "$@"; then
    echo "== $what"
    failed=1
  fi
}
