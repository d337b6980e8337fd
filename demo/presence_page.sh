#!/usr/bin/env bash
# A bank's page asks the presence responder of the installed suite whether it is
# installed: headless Chromium, trusting only the PC's own root (the installed
# jsxCVsc.cer, through a private NSS database), loads a page whose script asks
# https://localhost:12500 and shows the answer. Writes what the page showed to
# RESULT once it is known (whole, at once) and its screenshot to
# SHOTS/presence-page.png. Started by the demo through Wine.
#   presence_page.sh ROOT_CER SHOTS RESULT
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
cer=$1 shots=$2 result=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
db=sql:$HOME/.pki/nssdb
mkdir -p "$HOME/.pki/nssdb"

cat >"$tmp/page.html" <<'PAGE'
<!DOCTYPE html><html lang="ko"><head><meta charset="utf-8"><title>waiting</title>
<style>body { font-family: "NanumGothic", sans-serif; margin: 32px; } #answer { font-size: 26px; color: #1a5fb4; }</style>
<script>
function found(r) {
  document.getElementById("answer").textContent = "보안 프로그램이 설치되어 있습니다 (" + r.message + ")";
  document.title = "answer: " + r.message;
}
</script></head><body>
<h1>인터넷뱅킹 보안 프로그램 확인</h1>
<p id="answer">보안 프로그램이 설치되어 있지 않습니다.</p>
<script src="https://localhost:12500/?callback=found&_=1"
        onerror="document.title = 'answer: none (the responder was not reached)'"></script>
</body></html>
PAGE

chromium_run() {
  timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$tmp/profile" \
    --no-proxy-server --disable-background-networking --disable-component-update --disable-sync \
    --disable-default-apps --disable-extensions --no-default-browser-check "$@" "file://$tmp/page.html"
}

{
  if ! openssl x509 -inform DER -in "$cer" -out "$tmp/root.pem" 2>/dev/null; then
    echo "the PC's root $cer cannot be read"
  elif ! certutil -N -d "$db" --empty-password || ! certutil -A -d "$db" -t "C,," -n "PC root" -i "$tmp/root.pem"; then
    echo "the PC's root cannot be trusted in the NSS database"
  else
    echo "trusted root: $(openssl x509 -in "$tmp/root.pem" -noout -subject)"
    chromium_run --dump-dom 2>"$tmp/err" | sed -n 's|.*<title>\(.*\)</title>.*|\1|p'
    chromium_run --screenshot="$shots/presence-page.png" --window-size=820,260 >/dev/null 2>>"$tmp/err" &&
      echo "(screenshot: $shots/presence-page.png)"
  fi
} >"$tmp/result" 2>&1
# Whole at once: the demo reads the file as soon as it exists.
cp "$tmp/result" "$result.part" && mv "$result.part" "$result"
