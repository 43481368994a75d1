#!/usr/bin/env bash
# Starts the built viewer in a real X server on a folder of logs, loads one by
# double-clicking it, closes the window the way a session ends, and checks the
# window's title, the grid on screen and the files the program wrote.
# The log holds only the loop-back address, which the host-name cache answers
# without any DNS query.
# usage: viewer_e2e.sh BUILD_DIR
set -euo pipefail
build=$1
for tool in xvfb-run xdotool import convert; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app/Help" "$work/logs"
cp "$build/brevadin" "$work/app/"
cp "$build/Help/index.html" "$work/app/Help/"
{
  printf '#Software: Microsoft Internet Information Services 6.0\r\n#Version: 1.0\r\n'
  printf '#Date: 2003-05-01 00:00:00\r\n#Fields: date time c-ip cs-method cs-uri-stem sc-status\r\n'
  for i in $(seq 10 59); do printf '2003-05-01 00:00:%s 127.0.0.1 GET /page%s.html 200\r\n' "$i" "$i"; done
} > "$work/logs/ex030501.log"
printf 'not a log\n' > "$work/logs/readme.txt"

cat > "$work/session.sh" <<'EOS'
set -euo pipefail
work=$1
"$work/app/brevadin" "$work/logs" &
pid=$!
wid=$(timeout 20 xdotool search --sync --name 'Brevadin  Version' | head -1)
xdotool getwindowname "$wid" > "$work/title.txt"
eval "$(xdotool getwindowgeometry --shell "$wid")"
echo "$X $Y $WIDTH $HEIGHT" > "$work/geometry.txt"
import -window root "$work/before.png"
# The first list item lies below the menu bar and the list's header.
xdotool mousemove $((X + 40)) $((Y + 52)) click --repeat 2 --delay 60 1
sleep 2
import -window root "$work/after.png"
kill -TERM $pid
wait $pid || true
EOS
XDG_RUNTIME_DIR=$work xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/session.sh" "$work"

fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
read -r X Y W H < "$work/geometry.txt"
# The grid's part of the window: many colours once a log is shown.
region="$((W - 200))x$((H - 120))+$((X + 190))+$((Y + 60))"
before=$(convert "$work/before.png" -crop "$region" -format %k info:)
after=$(convert "$work/after.png" -crop "$region" -format %k info:)
check '[ "$(cat "$work/title.txt")" = "Brevadin  Version 1.1" ]' "title is '$(cat "$work/title.txt")'"
check '[ "$after" -gt $((before + 20)) ]' "the grid shows the log ($before colours before, $after after)"
check 'grep -q "^ReadPath=$work/logs\$" "$work/app/brevadin.ini"' "the listed folder was saved as ReadPath"
check 'grep -q "^Col0=50\$" "$work/app/brevadin.ini"' "column widths were saved"
check 'grep -q "IP=.127.0.0.1. NAME=.Local Host." "$work/app/hosts.xml"' "hosts.xml holds the loop-back row"
check '[ "$(grep -c "<z:row" "$work/app/whoissv.xml")" = 8 ]' "whoissv.xml holds the eight built-in servers"
if [ -n "${BREVADIN_E2E_SHOTS:-}" ]; then cp "$work/before.png" "$work/after.png" "$BREVADIN_E2E_SHOTS/"; fi
exit $fail
