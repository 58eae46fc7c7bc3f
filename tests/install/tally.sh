# The install tests' tally, sourced by both: a scratch folder removed on
# exit, pass and fail counts, and finish, which reports them and exits.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
finish() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
  exit
}
