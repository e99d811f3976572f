# Sourced by run.sh: the demo site serving its catalogue page with the status of an error page.
. "$here/demo-site.sh"
demo_site_start --catalogue-status 404
