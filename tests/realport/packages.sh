# Sourced by the real-port proofs: sets up their folders and makes sure the
# Debian packages a proof needs are installed, installing them when it can.
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
