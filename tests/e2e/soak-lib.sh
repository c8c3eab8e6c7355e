# The opening every soak scenario shares, sourced with the scenario's own
# arguments (BUILD_DIR [short|long]):
#
#   . "$(dirname "$0")/soak-lib.sh" "$@"
#   ROUNDS=$(soak_size 20 1000)
#
# It sets here, root, build and mode, and sources the Wine harness, the
# scenario helpers and the /proc watcher.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
mode=${2:-short}
case $mode in
  short | long) ;;
  *) echo "usage: $0 BUILD_DIR [short|long]" >&2; exit 2 ;;
esac
# Each soak scenario is a Wine session of its own (prefix, display, lock):
# scripts/soak.sh and ctest run two of them side by side.
export E2E_SESSION=${E2E_SESSION:-$(basename "$0" .sh | tr _ -)}
. "$here/wine-env.sh"
. "$here/lib.sh"
. "$root/bench/proc-watch.sh"

# soak_size SHORT LONG: the figure of this run's mode.
soak_size() { if [ "$mode" = short ]; then echo "$1"; else echo "$2"; fi; }
