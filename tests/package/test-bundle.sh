#!/usr/bin/env bash
# The test bundle as a person with Windows gets it: unpacked (by CMake, as any unzipper) into
# a folder whose name has spaces and non-ASCII characters, and run-tests.cmd run there by the
# command interpreter. It must exit with 0, print the summary line with nothing failed, and
# leave the JUnit XML file counting the same, every skipped test with its reason.
# usage: test-bundle.sh CMAKE ZIP FOLDER
cmake=$1 zip=$2 folder=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
"$cmake" -DZIP="$zip" -DFOLDER="$folder" -P "$root/cmake/packaging/unpack.cmake" || exit 1
cd "$folder/$(basename "$zip" .zip)" || exit 1
# Into a file, not CTest's pipe: services Wine starts for the programs outlive them.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
. "$root/tests/package/check.sh"
# First the positive control: the same run with every program's report sent elsewhere (a later
# --gtest_output wins) and one test each at most, as a run whose programs end without a report:
# each counts as failed and run-tests.cmd exits non-zero. Then the real run, whose report stays.
wine cmd /c run-tests.cmd "--gtest_filter=Paths.*" \
  "--gtest_output=xml:C:\\windows\\temp\\tarnmon-elsewhere.xml" >"$out" 2>/dev/null </dev/null
status=$?
control=$(tr -d '\r' <"$out" | grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' | tail -n 1)
echo "positive control: $control, exit code $status"
check "a run whose programs left no report exits non-zero" [ "$status" -ne 0 ]
missing=$(tr -d '\r' <"$out" | grep -c '^FAILED   [a-z_]*: no complete report')
check "programs without a report are named" [ "$missing" -gt 0 ]
check "each of them counts as failed" grep -q "^[0-9]* passed, $missing failed" <<<"$control"
wine cmd /c run-tests.cmd >"$out" 2>/dev/null </dev/null
status=$?
tr -d '\r' <"$out" >"$out.txt" && mv "$out.txt" "$out"
cat "$out"
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$out" | tail -n 1)
read -r passed _ failures _ skipped _ <<<"${summary//,/}"
check "run-tests.cmd exits with 0 (it gave $status)" [ "$status" -eq 0 ]
check "the summary line is printed" [ -n "$summary" ]
check "the summary line says nothing failed" [ "${failures:-1}" -eq 0 ]
# Every program ran: far more tests passed than a few programs hold.
check "the whole suite ran" [ "${passed:-0}" -ge 300 ]
check "report/summary.txt holds the line" [ "$(tr -d '\r' <report/summary.txt)" = "$summary" ]
xml=report/TarnMon-tests.xml
check "the XML report exists" [ -s "$xml" ]
check "the XML counts what the summary counts" grep -q "<testsuites name=\"TarnMon-tests\" \
tests=\"$((passed + failures + skipped))\" failures=\"$failures\" errors=\"0\" \
skipped=\"$skipped\">" "$xml"
check "the XML holds every test case" \
  [ "$(grep -c '^ *<testcase ' "$xml")" -eq "$((passed + failures + skipped))" ]
check "each skipped test is named with its reason" \
  [ "$(grep -c '^SKIPPED  .*: .' "$out")" -eq "${skipped:-0}" ]
exit $failed
