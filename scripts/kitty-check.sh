#!/bin/sh
# Plays the game in kitty under Xvfb with real key presses and releases
# (xdotool), and checks what the keyboard protocol gives it:
#  - one tap of Down moves the title menu once;
#  - Down held (HOLDS times, 0.8 to 1.4 s each) moves it at the held rate (a
#    move every pass of about 100 ms) and not once after the key came up;
#  - Enter's release reaches the game.
# `scripts/kitty-check.sh xterm` plays the same holds in xterm, which sends
# presses only (the game guesses each release), and counts the moves after
# each release the same way; it checks the held rate and prints the count.
# What the game reads and writes is traced (strace), so every key event and
# every highlight drawn has its time; when each key came up is taken from
# kitty's release report, or (xterm) from the clock once xdotool has let it
# go. Not part of `make test`: it needs a display server and takes about
# a minute.
set -eu
cd "$(dirname "$0")/.."
terminal=${1:-kitty}
holds=${HOLDS:-12}
./scripts/install-deps.sh kitty
[ "$terminal" = kitty ] || command -v "$terminal" >/dev/null || { echo "kitty-check: no $terminal here"; exit 1; }
# GAME=path plays another build (to compare with an older one).
if [ -z "${GAME:-}" ]; then make -s build BUILD=build-kitty; fi
game=${GAME:-$(pwd)/build-kitty/kotodama}
work=$(mktemp -d)
display=${XDISPLAY:-:97}  # XDISPLAY=:n when :97 is taken
cleanup() {
  [ -z "${KEEP:-}" ] || cp "$work/trace" "$work/keys" "$KEEP" 2>/dev/null || true  # KEEP=folder keeps the trace
  kill "$term" "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
Xvfb $display -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
trap cleanup EXIT
export DISPLAY=$display
sleep 1
# The game starts two seconds late, so that the pointer is put in the window
# before the game reports the mouse.
run="sleep 2; cd '$work' && exec strace -ttt -e trace=read,write -s 65536 -o '$work/trace' '$game'"
if [ "$terminal" = kitty ]; then
  LIBGL_ALWAYS_SOFTWARE=1 kitty --config NONE -o allow_remote_control=yes --listen-on "unix:$work/k.sock" \
    -o initial_window_width=80c -o initial_window_height=25c sh -c "$run" >/dev/null 2>&1 &
  term=$!
  class=kitty
  screen() { kitty @ --to "unix:$work/k.sock" get-text 2>/dev/null || true; }
else
  xterm -geometry 80x25+0+0 -u8 -e sh -c "$run" >/dev/null 2>&1 &
  term=$!
  class=xterm
  # What the game drew last, from its own writes: the title menu's "CREATE" once lit.
  screen() { grep -a -q '13;19H>' "$work/trace" 2>/dev/null && echo '>CREATE' || true; }
fi
window=$(xdotool search --sync --class "$class" | head -n 1)
xdotool mousemove --window "$window" 5 5
for _ in $(seq 40); do
  screen | grep -q '>CREATE' && break
  sleep 0.5
done
screen | grep -q '>CREATE' || { echo "kitty-check: the title menu never came"; exit 1; }
sleep 0.5
now() { date +%s.%N; }
xdotool key Down
sleep 1
for hold in $(seq "$holds"); do
  echo "down $(now)" >>"$work/keys"
  xdotool keydown Down
  sleep "$(awk -v h="$hold" -v n="$holds" 'BEGIN { printf "%.2f", 0.8 + 0.6 * (h - 1) / (n > 1 ? n - 1 : 1) }')"
  xdotool keyup Down
  echo "up $(now)" >>"$work/keys"
  sleep 1
done
xdotool key Return
sleep 1

python3 - "$work/trace" "$work/keys" "$terminal" <<'EOF'
import re, sys
reads, lit = [], []  # (time, bytes read) and (time, highlighted row) in order
for line in open(sys.argv[1], encoding='latin-1'):
    m = re.match(r'(\d+\.\d+) (read|write)\((\d+), "(.*)", \d+\) = \d+', line)
    if not m:
        continue
    t, call, fd, data = float(m.group(1)), m.group(2), m.group(3), m.group(4)
    if call == 'read' and fd == '0':
        reads.append((t, data))
    elif call == 'write' and fd == '1':
        for row in re.findall(r'\\33\[(\d+);19H>', data):
            if not lit or lit[-1][1] != row:
                lit.append((t, row))
keys = [(kind, float(t)) for kind, t in (line.split() for line in open(sys.argv[2]))]
kitty = sys.argv[3] == 'kitty'
def first(pattern, after=0.0):
    return next((t for t, d in reads if t >= after and pattern in d), None)
def moves(start, end):
    return [t for t, _ in lit[1:] if start <= t < end]
ok = True
downs = [t for kind, t in keys if kind == 'down']
ups = [t for kind, t in keys if kind == 'up']
tap = first('\\33[B')
if tap is None or tap > downs[0]:
    print('kitty-check: the tap of Down never arrived:', reads[:6])
    sys.exit(1)
n = len(moves(tap, downs[0]))
print(f'one tap of Down: {n} move')
ok &= n == 1
# A move is drawn about 50 ms after the pass that made it read the key: one
# drawn more than 60 ms after the key came up was made after it.
late_holds, late_moves, rates = 0, 0, []
for i, (down, up) in enumerate(zip(downs, ups)):
    if kitty:
        up = first('\\33[1;1:3B', down)
        if up is None:
            print(f'hold {i + 1}: the release never arrived')
            ok = False
            continue
    end = downs[i + 1] if i + 1 < len(downs) else up + 0.9
    during = moves(down, up + 0.001)
    after = moves(up + 0.06, end)
    rates.append(len(during) / (up - down))
    late_holds += bool(after)
    late_moves += len(after)
    print(f'hold {i + 1}: {up - down:.2f} s, {len(during)} moves, {len(after)} after it came up')
# How regularly the terminal's auto-repeat reached the game (a guessed
# release waits a little more than one interval).
arrivals = [t for t, d in reads if '\\33[B' in d or '\\33[1;1:2B' in d]
gaps = [round(1000 * (b - a)) for a, b in zip(arrivals, arrivals[1:]) if b - a < 0.125]
if gaps:
    print(f'auto-repeat as read: {len(gaps)} gaps of {min(gaps)}..{max(gaps)} ms')
print(f'{len(ups)} holds: {late_holds} with a move after the key came up ({late_moves} moves in all); '
      f'{min(rates):.1f}..{max(rates):.1f} moves a second while held')
if kitty:
    ok &= late_moves == 0 and min(rates) >= 6
    enter_up = first('\\33[13;1:3u')
    print('Enter\'s release reached the game:', 'yes' if enter_up else 'no')
    ok &= enter_up is not None
print('kitty-check:', 'passed' if ok else 'FAILED')
sys.exit(0 if ok else 1)
EOF
