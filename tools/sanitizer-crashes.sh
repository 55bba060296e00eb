#!/usr/bin/env bash
# tools/sanitizer-crashes.sh <LastTest.log>: succeeds when every failed test of
# that ctest log failed only because the leak checker's own tracer crashed at
# exit ("LeakSanitizer has encountered a fatal error"), after the test itself
# passed. Such a run says nothing about our code, so tools/test.sh runs those
# tests once more; any other failure (an assertion, a leak report, an ASan or
# UBSan report, a time-out) is never retried.
set -euo pipefail
awk '
  / Testing: / { name = $3; tracer = 0; other = 0 }
  /LeakSanitizer has encountered a fatal error/ { tracer = 1 }
  /\[  FAILED  \]|ERROR: (Address|Leak)Sanitizer|runtime error:|Timeout/ { other = 1 }
  /^Test Failed\./ {
    failed++
    if (!tracer || other) { print "not a tracer crash: " name > "/dev/stderr"; bad = 1 }
    else print "leak checker crashed after a passing test: " name
  }
  END { exit (failed == 0 || bad) ? 1 : 0 }
' "$1"
