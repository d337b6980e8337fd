#!/usr/bin/env bash
# A real browser asks the responder whether the product is installed: headless
# Chromium loads a page from a loopback HTTP server whose script tag points at
# the responder, trusting the test root through a private NSS database. The
# page's callback must be called with the installed message; a page asking with
# a callback that is script (alert(1)//) must get its own CVSetup called and
# never reach alert.
#   chromium_test.sh RESPONDER_PROGRAM CERTS_DIR      (CERTS_DIR: root.pem, locrt, locrk)
# With RESPONDER_PROGRAM "nginx" the same pages run against nginx echoing the
# callback as given, which the hostile page must catch.
# As root the whole test runs in a network namespace of its own with only
# loopback; elsewhere Chromium's own switches keep it off the network.
set -u
program=${1:?usage: chromium_test.sh RESPONDER_PROGRAM CERTS_DIR}
certs=$(cd "${2:?usage: chromium_test.sh RESPONDER_PROGRAM CERTS_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" = 0 ] && [ -z "${CHROMIUM_TEST_NETNS:-}" ] && command -v unshare >/dev/null; then
  exec env CHROMIUM_TEST_NETNS=1 unshare --net bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
. "$here/../../../tests/support/local_servers.sh"
. "$here/../../../scripts/lib/checks.sh"
tmp=$(mktemp -d)
trap 'stop_local_servers; rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME/.pki/nssdb" "$tmp/site"

check "Chromium is installed" command -v chromium
check "the test root is trusted in a private NSS database" bash -c \
  'certutil -N -d "sql:$1" --empty-password && certutil -A -d "sql:$1" -t "C,," -n test -i "$2"' \
  _ "$HOME/.pki/nssdb" "$certs/root.pem"

port=$(free_port)
if [ "$program" = nginx ]; then
  check "nginx serves on 127.0.0.1:$port" start_nginx_jsonp "$tmp/nginx" "$certs" "$port"
else
  check "responder serves on 127.0.0.1:$port" start_responder "$program" "$certs" "$port" "$tmp/responder.log"
fi
site_port=$(free_port)
(cd "$tmp/site" && exec python3 -m http.server --bind 127.0.0.1 "$site_port" >"$tmp/site.log" 2>&1) &
started_pids+=($!)
check "page server on 127.0.0.1:$site_port" wait_for_port "$site_port" 10

# page NAME CALLBACK: a page whose script asks the responder with CALLBACK and
# records in its title which of its functions the reply called.
page() {
  cat > "$tmp/site/$1.html" <<EOF
<!DOCTYPE html><html><head><title>calls</title><script>
function note(text) { document.title += "|" + text; }
function found(r) { note("found called: " + r.message); }
function CVSetup(r) { note("CVSetup called: " + r.message); }
window.alert = function () { note("alert reached"); };
</script><script src="https://localhost:$port/?callback=$2&_=1"></script></head><body></body></html>
EOF
}

# visit NAME: the page's DOM after load, as headless Chromium saw it.
visit() {
  timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --user-data-dir="$tmp/profile-$1" --no-proxy-server --disable-background-networking \
    --disable-component-update --disable-sync --disable-default-apps --disable-extensions \
    --metrics-recording-only --no-default-browser-check --disable-domain-reliability \
    --dump-dom "http://127.0.0.1:$site_port/$1.html" >"$tmp/$1.dom" 2>"$tmp/$1.err"
}
page installed found
page hostile 'alert(1)//'
start=$(date +%s)
visit installed; visit hostile
echo "two headless Chromium visits: $(($(date +%s) - start)) s"
# calls PAGE: what the page's title recorded.
calls() { sed -n 's|.*<title>calls\([^<]*\)</title>.*|\1|p' "$tmp/$1.dom"; }
echo "installed page: $(calls installed)"
echo "hostile page: $(calls hostile)"
check "the page's callback got the installed message" \
  test "$(calls installed)" = "|found called: Corvanta Already Installed"
check "a script callback gets the page's CVSetup" bash -c '[[ $1 == *"|CVSetup called: "* ]]' _ "$(calls hostile)"
check "a script callback never reaches alert" bash -c '[[ $1 != *"alert reached"* ]]' _ "$(calls hostile)"
if [ "$failed" -ne 0 ]; then
  for f in "$tmp"/*.dom; do echo "--- $(basename "$f")"; cat "$f"; done
  tail -n 5 "$tmp"/*.err "$tmp/responder.log" 2>/dev/null
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
