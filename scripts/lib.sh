# Shared by the scripts in this folder: source it from the repository root.

# What a fresh Debian 12 machine lacks to build and test everything.  cmake
# only recommends make, so make is named too (we install without recommends).
# clang 14's sanitizer and libFuzzer runtimes come in libclang-rt-14-dev,
# which clang only recommends; valgrind serves scripts/valgrind.  Where -m32
# builds are wanted, the package is g++-12-multilib: the g++-multilib
# meta-package conflicts with the armhf and s390x cross compilers and removes
# them.
CMPR_PACKAGES=(cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest
               libbenchmark-dev zlib1g-dev pkg-config valgrind)

# Whether package $1 is installed: for the machine's own architecture, or as
# Architecture: all, unless $1 names an architecture itself (NAME:ARCH).  A
# bare name is ambiguous on a multiarch machine once a package is installed
# for two architectures, and an Architecture: all package answers only to
# NAME:all, not to NAME:NATIVE.
package_installed() {
  local names=("$1") status
  [[ $1 == *:* ]] || names=("$1:$(dpkg --print-architecture)" "$1:all")
  status=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${names[@]}" 2>/dev/null) || true
  grep -q '^ii ' <<<"$status"
}

# Installs those of the given packages (by default CMPR_PACKAGES) that are
# not installed yet; does nothing (and needs no network or root) when all
# are there.
install_missing_packages() {
  local missing=() p
  local wanted=("$@")
  [ ${#wanted[@]} -gt 0 ] || wanted=("${CMPR_PACKAGES[@]}")
  for p in "${wanted[@]}"; do
    package_installed "$p" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "== installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "these packages are missing and installing them needs root: ${missing[*]}" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds one of the presets of CMakePresets.json.
build_preset() {
  echo "== build: $1"
  cmake --preset "$1"
  cmake --build --preset "$1" -j"$(nproc)"
}

# Runs the whole test suite of a built preset.
test_preset() {
  echo "== test: $1"
  ctest --preset "$1" -j"$(nproc)"
}
