#!/usr/bin/env bash
# The main job: builds the Windows deliverables, brings up the Wine test bed and runs the parent
# engine's stand-in, which starts the connector with its window handle and answers its session
# request. While the session runs, a screenshot of the session window goes to
# <build>/demo/session.png; then the user ends the session (Esc, OK on the exit question) and the
# transcript of what crossed between the processes is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KESTREL_BUILD_DIR:-$root/build}
win=$out/win64
demo=$out/demo

"$root/scripts/build.sh" win64
mkdir -p "$demo"
rm -f "$demo/session.png" "$demo/transcript.txt" "$demo/journal.txt" "$demo/parent.out"

"$root/cmake/wine-env.sh" "$win/wine" up
display=":$(cat "$win/wine/display")"

# The stand-in control records what the connector did to it.
export KESTREL_RDP_JOURNAL
KESTREL_RDP_JOURNAL="Z:$(echo "$demo/journal.txt" | tr / '\\')"

transcript_win="Z:$(echo "$demo/transcript.txt" | tr / '\\')"
"$win/wine-run" "$win/bin/KestrelParent.exe" --exit-after 2500 --timeout 15000 \
  --transcript "$transcript_win" >"$demo/parent.out" 2>&1 &
parent_pid=$!

# The session window is up once the connector has sent its session request.
for _ in $(seq 1 100); do
  grep -q "code 1" "$demo/transcript.txt" 2>/dev/null && break
  sleep 0.1
done
sleep 0.7  # let the window paint
if xwd -root -display "$display" 2>/dev/null | xwdtopnm 2>/dev/null | pnmtopng >"$demo/session.png" 2>/dev/null; then
  echo "demo: screenshot of the session window: $demo/session.png"
else
  echo "demo: no screenshot could be taken" >&2
fi

rc=0
wait $parent_pid || rc=$?
echo "---- transcript (parent engine's view) ----"
cat "$demo/transcript.txt" 2>/dev/null || cat "$demo/parent.out"
if [ -s "$demo/journal.txt" ]; then
  echo "---- what the Remote Desktop control was asked ----"
  cat "$demo/journal.txt"
fi
echo "---- end (parent exit code $rc) ----"
exit $rc
