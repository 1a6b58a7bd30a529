# SPDX-License-Identifier: MIT
# Sourced by the real-port proofs: sets up their folders, makes sure the
# Debian packages a proof needs are installed (installing them when it can),
# and keeps the count of failed checks.
#
# A proof that cannot run here (packages missing and no way to install them,
# no archive to download from) exits with 77, which CTest reports as skipped.
# Under CI (CI=true) nothing is skipped: the same case is a failure.

SKIP_STATUS=77

# cannot_run REASON: skip, or fail under CI.
cannot_run() {
    if [ "${CI:-}" = "true" ]; then
        echo "FAIL: $1 (CI must run this proof)" >&2
        exit 1
    fi
    echo "SKIP: $1" >&2
    exit "$SKIP_STATUS"
}

package_installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# ensure_packages PKG...: installs the missing ones with apt-get (root only),
# updating the package lists first only when the plain install fails.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        package_installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        cannot_run "needs the packages ${missing[*]} and is not root to install them"
    fi
    echo "installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    if ! apt-get install -y --no-install-recommends "${missing[@]}" >&2; then
        apt-get update >&2 || true
        apt-get install -y --no-install-recommends "${missing[@]}" >&2 ||
            cannot_run "apt-get could not install ${missing[*]}"
    fi
}

# proof_dirs DEFAULT_WORK [SOURCE_DIR [WORK_DIR]]: sets src (the source tree,
# three levels up by default) and work (made if missing), and starts the
# clock that step() reports.
proof_dirs() {
    src=$(cd "${2:-$here/../../..}" && pwd)
    work=${3:-$1}
    mkdir -p "$work"
    work=$(cd "$work" && pwd)
    started=$SECONDS
}

step() { echo "--- $* ($((SECONDS - started)) s)"; }

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok:   $*"; }

# expect_message NAME RC STDERR TEXT...: the run failed with status 1 and
# printed one message (besides the line naming the port) holding each TEXT.
expect_message() {
    local name=$1 rc=$2 msg t
    msg=$(grep -v '^lptport: port: ' <<<"$3" || true)
    shift 3
    if [ "$rc" != 1 ] || [ "$(grep -c . <<<"$msg")" != 1 ]; then
        fail "$name: wanted status 1 and one message, got status '$rc' and: $msg"
        return
    fi
    for t in "$@"; do
        grep -qiF -- "$t" <<<"$msg" || { fail "$name: the message does not mention '$t': $msg"; return; }
    done
    ok "$name: $msg"
}

# finish: the verdict of the whole proof.
finish() {
    echo "--- $((SECONDS - started)) s in all"
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
    echo "all checks passed"
}
