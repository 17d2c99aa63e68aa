# Shared by the README's commands: install what is missing, configure, build.
# Source it; it defines functions only.

BRONTAFLEX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BRONTAFLEX_BUILD=${BRONTAFLEX_BUILD:-$BRONTAFLEX_ROOT/build}

# Paths in the compiler's commands are taken relative to the checkout, so a
# second clone or worktree (CI's fresh clone among them) reuses what ccache
# already built for the first.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$BRONTAFLEX_ROOT}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}

# Debian packages the build, the tests and the demo need; clang builds the
# fuzzers of the full test run.
BRONTAFLEX_PACKAGES=(cmake ninja-build g++ ccache pkg-config qt6-base-dev qt6-base-private-dev libgl-dev help2man
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev fonts-nanum python3 dpkg-dev
  file man-db clang libclang-rt-dev clang-format git zsh fish)

# The Windows cross build, tested under Wine on a virtual X display (Xvfb);
# GoogleTest comes from the sources that libgtest-dev installs.
BRONTAFLEX_WINDOWS_BUILD=${BRONTAFLEX_WINDOWS_BUILD:-$BRONTAFLEX_ROOT/build-windows}
BRONTAFLEX_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 wine wine64 googletest zip unzip xvfb xauth)

ensure_packages() {
  local missing=()
  for pkg in "${BRONTAFLEX_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure DIR [CMAKE_ARGS...]: the first time only; later runs reuse DIR.
configure() {
  local dir=$1
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$BRONTAFLEX_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  fi
}

# The benchmarks build with everything else, so that none falls behind the
# code it measures; running them stays a step of its own (bench/).
configure_and_build() {
  configure "$BRONTAFLEX_BUILD" -DBRONTAFLEX_BENCH=ON "$@"
  cmake --build "$BRONTAFLEX_BUILD" --parallel "$(nproc)"
}

configure_and_build_windows() {
  configure "$BRONTAFLEX_WINDOWS_BUILD" --toolchain "$BRONTAFLEX_ROOT/cmake/mingw-w64.cmake" "$@"
  cmake --build "$BRONTAFLEX_WINDOWS_BUILD" --parallel "$(nproc)"
}

# The version written in project() of the top CMakeLists.txt.
project_version() {
  sed -n 's/^project(Brontaflex VERSION \([0-9.]*\).*/\1/p' "$BRONTAFLEX_ROOT/CMakeLists.txt"
}
