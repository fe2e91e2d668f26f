# Kept for scripts that source it by this name: the helpers live in tests/support/e2e.sh.
source "$(dirname "${BASH_SOURCE[0]}")/../../support/e2e.sh" "$@"
