# Sourced by run.sh: the demo site with the image's true digest.
. "$here/demo-site.sh"
demo_site_start
# The restart port only writes down what it was asked.
export KORVANIX_RESTART_LOG='C:\kx-restart.log'
