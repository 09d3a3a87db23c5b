#!/bin/sh
# Runs the host of the shipped library (host.c), which decodes a corrupt
# distance and so makes the library hand "reboot -f" to the shell, under
# guard: in its own PID namespace, with CMPR_SHARED_HOST_GUARD=1 (without it
# the host refuses to start), and with a search path that holds only a
# stand-in named reboot, which records its arguments.  Where no private PID
# namespace can be had nothing runs, and the exit status is 77 (skipped).
# Then checks what the host printed and that the stand-in ran once, with -f.
#
# usage: run_guarded.sh HOST [EMULATOR [ARG...]]
#   A cross-built host runs through EMULATOR (qemu-user and its arguments);
#   the library's shell is then the host's /bin/sh, which finds the stand-in
#   on the same search path.  The rest of the environment passes through.
set -eu
host=$1
shift
[ -x "$host" ] || { echo "no host executable: $host"; exit 1; }
if [ $# -gt 0 ]; then  # resolved now: the host's search path holds only the stand-in
    emulator=$(command -v "$1") || { echo "no emulator: $1"; exit 1; }
    shift
    set -- "$emulator" "$@"
fi
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
PATH="$work/bin" CMPR_SHARED_HOST_GUARD=1 "$unshare" --pid --fork "$@" "$host" \
    >"$work/out" 2>"$work/err" || status=$?
for f in out err reboot.log; do echo "--- $f"; cat "$work/$f" 2>/dev/null || true; done

failed=0
fail() { echo "FAIL: $*"; failed=1; }
[ "$status" -eq 0 ] || fail "the host exited with $status"
[ "$(cat "$work/reboot.log" 2>/dev/null)" = "-f" ] || fail "stand-in not called exactly once with -f"
grep -qx 'decoded 4: ff ff ff 7a' "$work/out" || fail "decoded output"
grep -qx 'invalid offset -> 8193 at byte 0x00000003' "$work/err" || fail "no invalid-offset line"
grep -q '^## Need to reboot QZ' "$work/err" || fail "no banner on stderr"
grep -qx 'decode_block-726: ## Crash QZ' "$work/out" || fail "no crash trace"
[ "$failed" -ne 0 ] || echo "ok: $host"
exit "$failed"
