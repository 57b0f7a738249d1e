#!/bin/sh
# Plays the game in kitty under Xvfb with real key presses and releases
# (xdotool), and checks what the keyboard protocol gives it:
#  - one tap of Down moves the title menu once;
#  - Down held for a second moves it at the held rate (a move every pass of
#    about 100 ms) and not once after the key came up;
#  - Enter's release reaches the game.
# What the game reads and writes is traced (strace), so every key event and
# every highlight drawn has its time. Not part of `make test`: it needs a
# display server and takes about half a minute.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh kitty
make -s build BUILD=build-kitty
game=$(pwd)/build-kitty/kotodama
work=$(mktemp -d)
display=:97
cleanup() {
  kill "$kitty" "$xvfb" 2>/dev/null || true
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
LIBGL_ALWAYS_SOFTWARE=1 kitty --config NONE -o allow_remote_control=yes --listen-on "unix:$work/k.sock" \
  -o initial_window_width=80c -o initial_window_height=25c \
  sh -c "sleep 2; cd '$work' && exec strace -ttt -e trace=read,write -s 65536 -o '$work/trace' '$game'" \
  >/dev/null 2>&1 &
kitty=$!
window=$(xdotool search --sync --class kitty | head -n 1)
xdotool mousemove --window "$window" 5 5
screen() { kitty @ --to "unix:$work/k.sock" get-text 2>/dev/null || true; }
for _ in $(seq 40); do
  screen | grep -q '>CREATE' && break
  sleep 0.5
done
screen | grep -q '>CREATE' || { echo "kitty-check: the title menu never came"; exit 1; }
sleep 0.5
xdotool key Down
sleep 1
xdotool keydown Down
sleep 1
xdotool keyup Down
sleep 1
# To an entry other than END, then Enter.
for _ in 1 2 3; do
  screen | grep -q '>END' || break
  xdotool key Down
  sleep 0.5
done
xdotool key Return
sleep 1

python3 - "$work/trace" <<'EOF'
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
def first(pattern, after=0.0):
    return next((t for t, d in reads if t >= after and pattern in d), None)
def moves(start, end):
    return [t for t, _ in lit[1:] if start <= t < end]
ok = True
tap = first('\\33[B')
tap_up = first('\\33[1;1:3B', tap or 0)
hold = first('\\33[B', (tap_up or 0) + 0.2)
hold_up = first('\\33[1;1:3B', hold or 0)
enter_up = first('\\33[13;1:3u')
if None in (tap, tap_up, hold, hold_up):
    print('kitty-check: the protocol\'s press and release of Down never arrived:', reads[:6])
    sys.exit(1)
n = len(moves(tap, hold))
print(f'one tap of Down (up after {1000 * (tap_up - tap):.0f} ms): {n} move')
ok &= n == 1
during = moves(hold, hold_up + 0.001)
after = moves(hold_up + 0.06, hold_up + 0.9)
gaps = [round(1000 * (b - a)) for a, b in zip(during, during[1:])]
print(f'Down held {hold_up - hold:.2f} s: {len(during)} moves, {min(gaps)}..{max(gaps)} ms apart; '
      f'{len(after)} after it came up')
ok &= len(during) >= 8 and not after
print('Enter\'s release reached the game:', 'yes' if enter_up else 'no')
ok &= enter_up is not None
print('kitty-check:', 'passed' if ok else 'FAILED')
sys.exit(0 if ok else 1)
EOF
