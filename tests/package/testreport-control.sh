#!/usr/bin/env bash
# The positive control of the test bundle's report: testreport given the reports of a run in
# which a test failed, a test skipped, a plain program did not apply and another program ended
# without its report must count each, name the skipped test's reason and exit non-zero (the
# exit code run-tests.cmd passes on); the same run without the failures must exit with 0.
# usage: testreport-control.sh TESTREPORT FIXTURE_FOLDER
tool=$1 fixtures=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
run() { "$here/../../scripts/wine-run.sh" "$tool" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir report
cp "$fixtures/mixed.xml" report/mixed.xml
echo 1 >report/mixed.code     # the program with the failing test
echo 2 >report/probe.code     # a plain program that does not apply here
echo 0 >report/plain.code     # a plain program that passed
echo 3 >report/crashed.code   # a GoogleTest program that wrote no report
. "$here/check.sh"
out=$(run report report/all.xml mixed --plain probe --plain plain crashed)
status=$?
out=$(tr -d '\r' <<<"$out")
echo "$out"
check "a run with failures exits non-zero" [ "$status" -ne 0 ]
check "the summary counts the failures" grep -qx "2 passed, 2 failed, 2 skipped" <<<"$out"
check "the summary file holds the line" grep -qx "2 passed, 2 failed, 2 skipped" \
  < <(tr -d '\r' <report/summary.txt)
check "the skipped test's reason is named" grep -q "SKIPPED  mixed: S.Sk: .*no capture endpoint here" <<<"$out"
check "the program without a report is a failure" grep -q "FAILED   crashed: no complete report" <<<"$out"
check "the XML counts what the summary counts" \
  grep -q '<testsuites name="TarnMon-tests" tests="6" failures="2" errors="0" skipped="2">' report/all.xml
check "the XML holds every test case" [ "$(grep -c '^ *<testcase ' report/all.xml)" -eq 6 ]
# The same reports without the failures: a clean run exits with 0.
sed -i '/name="Bad"/,/<\/testcase>/d' report/mixed.xml
echo 0 >report/mixed.code
out=$(run report report/all.xml mixed --plain probe --plain plain)
status=$?
out=$(tr -d '\r' <<<"$out")
echo "$out"
check "a run without failures exits with 0" [ "$status" -eq 0 ]
check "the clean summary" grep -qx "2 passed, 0 failed, 2 skipped" <<<"$out"
exit $failed
