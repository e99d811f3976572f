# Sourced by run.sh: the imaging drive D: with its Ghost images and the Windows imaging file of two editions.
. "$(dirname "${BASH_SOURCE[0]}")/../restore-wim.setup.sh"
