# SPDX-License-Identifier: MIT
# Sourced by the real-port proofs: sets up their folders, makes sure the
# Debian packages they need are installed, and judges and counts the checks.
# Plain POSIX shell: the emulated PC's busybox sources it too.
#
# A proof that cannot run here (packages missing and no way to install them,
# no archive to download from) exits with 77, which CTest reports as skipped.
# Under CI (CI=true) nothing is skipped: the same case is a failure.

# cannot_run REASON: skip, or fail under CI.
cannot_run() {
    [ "${CI:-}" != true ] || { echo "FAIL: $1 (CI must run this proof)" >&2; exit 1; }
    echo "SKIP: $1" >&2
    exit 77
}

# start_proof DEFAULT_WORK [SOURCE_DIR [WORK_DIR]]: sets src (the source tree,
# three levels up by default) and work (made if missing), starts the clock
# that step() reports, and installs what the tests need. scripts/setup-debian
# lists every proof's packages; it does nothing when all are there, installs
# the missing ones as root, and otherwise fails naming them.
start_proof() {
    src=$(cd "${2:-$here/../../..}" && pwd)
    work=$(mkdir -p "${3:-$1}" && cd "${3:-$1}" && pwd)
    started=$SECONDS
    "$src/scripts/setup-debian" test >&2 ||
        cannot_run "scripts/setup-debian test could not install the packages the tests need"
}

step() { echo "--- $* ($((SECONDS - started)) s)"; }

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok:   $*"; }

# judge NAME RC WANT GOT ERR STDERR_FILE: a run that was to end with status
# RC passed when GOT (what it did: status, output, ...) is WANT and a line of
# its stderr matches the pattern ERR (when not empty): the port it opened,
# or else its one message, the only line besides the line naming the port.
judge() {
    if [ "$3" = "$4" ] && { [ -z "$5" ] || grep -q -- "$5" "$6"; } &&
        { [ "$2" = 0 ] || [ "$(grep -vc '^[a-z]*: port: ' "$6")" = 1 ]; }; then
        ok "$1"
    else
        fail "$1: wanted $3 and on stderr '$5'; got $4 and:"
        sed 's/^/      /' "$6"
    fi
}

# finish: the verdict of the whole proof.
finish() {
    echo "--- $((SECONDS - started)) s in all"
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
    echo "all checks passed"
}
