# Sourced by run.sh: the demo site with its rate-limited 150 MB WIM, so the download is still running
# when the window closes.
. "$here/demo-site.sh"
demo_site_start --wim-mb 150
