# Sourced by run.sh: the demo site with the image's true digest.
. "$here/demo-site.sh"
demo_site_start
