# Sourced by run.sh: the imaging drive D: with its images.
. "$(dirname "${BASH_SOURCE[0]}")/../imaging-drive.sh"
