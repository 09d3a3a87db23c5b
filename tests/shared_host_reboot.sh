#!/bin/sh
# Runs the shared-library host (tests/shared_host/host.c) through its corrupt
# distance, which makes the shipped library hand "reboot" to the shell.  A
# stand-in named reboot, which only records its arguments, is the only
# program on the search path, and the test refuses to run the host unless
# that is what the shell finds.  Where it can, the host also runs in its own
# PID namespace.
#
# usage: shared_host_reboot.sh HOST_EXECUTABLE [EMULATOR [ARG...]]
#
# A cross-built host runs through EMULATOR (qemu-user with its arguments).
# The library's shell is then the host's /bin/sh, which finds the stand-in
# on the same search path.
set -eu

host=$1
shift
[ -x "$host" ] || { echo "no host executable: $host"; exit 1; }
# The emulator, resolved now: the host runs with a search path that holds
# nothing but the stand-in.
if [ $# -gt 0 ]; then
    emulator=$(command -v "$1") || { echo "no emulator: $1"; exit 1; }
    shift
    set -- "$emulator" "$@"
    echo "running the host under $*"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/bin"
log="$work/reboot.log"
cat >"$work/bin/reboot" <<FAKE
#!/bin/sh
printf '%s\n' "\$*" >>"$log"
FAKE
chmod +x "$work/bin/reboot"

run_prefix=""
if unshare_bin=$(command -v unshare) && "$unshare_bin" --pid --fork true 2>/dev/null; then
    run_prefix="$unshare_bin --pid --fork"
    echo "running the host in its own PID namespace"
else
    echo "unshare --pid is not available here; relying on the stand-in alone"
fi

# The host and the shell it starts search only the stand-in's folder.
host_path="$work/bin"
found=$(PATH="$host_path" && command -v reboot || true)
if [ "$found" != "$work/bin/reboot" ]; then
    echo "refusing to run: reboot resolves to '$found', not the stand-in"
    exit 1
fi

status=0
PATH="$host_path" $run_prefix "$@" "$host" >"$work/out" 2>"$work/err" || status=$?
echo "--- host stdout"; cat "$work/out"
echo "--- host stderr"; cat "$work/err"
echo "--- recorded"; cat "$log" 2>/dev/null || true

fail=0
[ "$status" -eq 0 ] || { echo "FAIL: host exited with $status"; fail=1; }
if [ "$(cat "$log" 2>/dev/null || true)" != "-f" ]; then
    echo "FAIL: the stand-in was not called exactly once with -f"
    fail=1
fi
grep -qx 'decoded 4: ff ff ff 7a' "$work/out" || { echo "FAIL: decoded output"; fail=1; }
grep -q '^invalid offset -> 8193 at byte 0x00000003$' "$work/err" ||
    { echo "FAIL: no invalid-offset line on stderr"; fail=1; }
grep -q '^## Need to reboot QZ' "$work/err" || { echo "FAIL: no banner on stderr"; fail=1; }
grep -q '^decode_block-726: ## Crash QZ$' "$work/out" || { echo "FAIL: no crash trace"; fail=1; }
[ "$fail" -eq 0 ] && echo "shared host: ok"
exit "$fail"
