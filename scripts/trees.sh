# Sourced by the scripts: where the build trees are and which one runs here.
#   build      the tree of the shipped 32-bit programs: $BUILD_DIR or build/
#   run_arch   the Windows architecture Wine can start on this host
#              (scripts/run-arch): i686, or x86_64 on a 64-bit-only kernel
#   run_tree   the tree whose programs the tests and the demo run: $build
#              itself, or $build/x64 with the same sources built 64-bit
# and puts the project's `wine` (scripts/wine-bin) first on the PATH.
# The tools come first: which loader Wine can start is known only once the
# bootstrap has installed the 32-bit Wine, so asking before it would pick
# the 64-bit tree on a fresh machine whose kernel runs 32-bit code.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/ensure-tools"
build=${BUILD_DIR:-$here/build}
run_arch=$("$here/scripts/run-arch")
export LAUNCHER_RUN_ARCH=$run_arch
if [ "$run_arch" = i686 ]; then
    run_tree=$build
else
    run_tree=$build/x64
fi
export PATH="$here/scripts/wine-bin:$PATH"
