# Sourced by run.sh: the demo site publishing a digest that is not the image's.
. "$here/demo-site.sh"
demo_site_start --wrong-sha
