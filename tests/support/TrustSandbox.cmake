# Writes the tests' machine-wide publisher list: the primary and backup fixture keys, in the
# place the program looks below XDG_CONFIG_DIRS. Run by the build:
#   cmake -DFIXTURES=<signed fixtures> -DSANDBOX=<folder for XDG_CONFIG_DIRS> -P TrustSandbox.cmake
# Like any list of the user's own it counts only for root (as the tests run in CI); elsewhere
# the tests that need it say so and skip.
set(list ${SANDBOX}/corvalite-update/trusted-publishers)
file(READ ${FIXTURES}/primary.spki-sha256 primary)
file(READ ${FIXTURES}/backup.spki-sha256 backup)
string(STRIP "${primary}" primary)
string(STRIP "${backup}" backup)
file(WRITE ${list} "# The test fixtures' signing keys, made at build time\n${primary}\n${backup}\n")
