#!/bin/sh
# Runs a program that loads the shipped shared library, which hands
# "reboot -f" to the shell on a corrupt distance, under guard: in its own PID
# namespace, with CMPR_SHARED_HOST_GUARD=1 (without it such programs refuse to
# start) and a search path that holds only a stand-in named reboot, which
# records its arguments.  Where no private PID namespace can be had, nothing
# runs and the exit status is 77 (skipped).
#
# usage: shared_host_reboot.sh HOST_EXECUTABLE [EMULATOR [ARG...]]
#   runs the shared-library host (tests/shared_host/host.c) through its
#   corrupt distance and checks what it printed and that the stand-in was
#   called once, with -f.  A cross-built host runs through EMULATOR (qemu-user
#   with its arguments); the library's shell is then the host's /bin/sh, which
#   finds the stand-in on the same search path.
# usage: shared_host_reboot.sh --run COMMAND [ARG...]
#   runs COMMAND, found before the search path is cut, with the rest of the
#   environment as given (LD_LIBRARY_PATH, say); fails when COMMAND fails or
#   the stand-in was called.
set -eu
if [ "${1-}" = --run ]; then
    shift
    host=""
else  # HOST [EMULATOR [ARG...]] becomes [EMULATOR [ARG...]] HOST
    [ -x "${1-}" ] || { echo "no host executable: ${1-}"; exit 1; }
    host=$1
    shift
    set -- "$@" "$host"
fi
# Resolved now to a file: the command's search path holds only the stand-in.
cmd=$(command -v "${1-}") || cmd=""
case $cmd in */*) ;; *) echo "no program file: ${1-}"; exit 1 ;; esac
shift
set -- "$cmd" "$@"
if ! unshare=$(command -v unshare) || ! "$unshare" --pid --fork true 2>/dev/null; then
    echo "SKIPPED: no private PID namespace here (unshare --pid --fork fails)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$work/reboot.log" >"$work/bin/reboot"
chmod +x "$work/bin/reboot"
found=$(PATH="$work/bin" && command -v reboot) || true
[ "$found" = "$work/bin/reboot" ] || { echo "refusing to run: reboot is '$found'"; exit 1; }

status=0
PATH="$work/bin" CMPR_SHARED_HOST_GUARD=1 "$unshare" --pid --fork "$@" \
    >"$work/out" 2>"$work/err" || status=$?
for f in out err reboot.log; do echo "--- $f"; cat "$work/$f" 2>/dev/null || true; done

failed=0
fail() { echo "FAIL: $*"; failed=1; }
[ "$status" -eq 0 ] || fail "$* exited with $status"
if [ -z "${host-}" ]; then
    [ ! -e "$work/reboot.log" ] || fail "the stand-in reboot was called"
else
    [ "$(cat "$work/reboot.log" 2>/dev/null)" = "-f" ] || fail "stand-in not called exactly once with -f"
    grep -qx 'decoded 4: ff ff ff 7a' "$work/out" || fail "decoded output"
    grep -qx 'invalid offset -> 8193 at byte 0x00000003' "$work/err" || fail "no invalid-offset line"
    grep -q '^## Need to reboot QZ' "$work/err" || fail "no banner on stderr"
    grep -qx 'decode_block-726: ## Crash QZ' "$work/out" || fail "no crash trace"
fi
[ "$failed" -ne 0 ] || echo "ok: $*"
exit "$failed"
