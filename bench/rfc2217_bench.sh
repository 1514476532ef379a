#!/usr/bin/env bash
# A station behind ser2net against the same station on the pseudo-terminal itself: a reception
# of 1000 calls and a whole-image write each way, in real time, with the emulator's largest
# silence inside the image frame. Prints the times and their ratios.
#   bench/rfc2217_bench.sh [BUILD_DIR]
set -euo pipefail
build="$(realpath "${1:-$(dirname "$0")/../build}")"
norvel="$build/bin/norvel"
emulator="$build/bin/station-emulator"
work="$(mktemp -d)"
trap 'kill $(cat "$work"/*.pid 2>/dev/null) 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
printf '30.11.2026 18:00:05 ; x\r\n2 ; x\r\n4 ; x\r\n' >NorvelWin.ini
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

# A fresh station: 1000 calls, at the line's real speed.
station() {
  [ -f emulator.pid ] && kill "$(cat emulator.pid)" 2>/dev/null && sleep 0.5
  rm -f tty
  "$emulator" --link "$work/tty" --calls 1000 --boards 4 --realtime --frame-gap 50 \
    --reply-margin 0 2>"$work/emulator.log" >/dev/null &
  echo $! >emulator.pid
  for _ in $(seq 50); do [ -L tty ] && break; sleep 0.1; done
}
ser2net_start() {
  cat >ser2net.yaml <<EOF
connection: &station
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$work/tty,9600n81,local
EOF
  /usr/sbin/ser2net -n -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid" 2>/dev/null &
  sleep 1
}
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
silence() { grep -o 'W 1280, longest silence inside [0-9.]* ms' emulator.log | tail -1; }

station
local_receive=$(NORVEL_COM2="$work/tty" seconds "$norvel" receive)
NORVEL_COM2="$work/tty" "$norvel" config export station -o station.txt >/dev/null 2>&1
NORVEL_COM2="$work/tty" "$norvel" config import station.txt --base station -o image.cfg \
  >/dev/null 2>&1
local_write=$(NORVEL_COM2="$work/tty" seconds "$norvel" config write image.cfg --yes \
  --accept-errors)
local_silence=$(silence)

station
ser2net_start
network="rfc2217://127.0.0.1:$port"
network_receive=$(NORVEL_COM2="$network" seconds "$norvel" receive)
network_write=$(NORVEL_COM2="$network" seconds "$norvel" config write image.cfg --yes \
  --accept-errors)
network_silence=$(silence)

# The same write through a network that holds a third of what the program sends for 300 ms.
station
proxy_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 - "$proxy_port" "$port" <<'PROXY' &
import asyncio, random, sys
listen, target = int(sys.argv[1]), int(sys.argv[2])
random.seed(7)
async def pipe(reader, writer, hold):
    due = 0.0
    loop = asyncio.get_running_loop()
    while data := await reader.read(4096):
        if hold:
            due = max(due, loop.time() + (0.3 if random.random() < 0.33 else 0))
            await asyncio.sleep(max(0, due - loop.time()))
        writer.write(data)
        await writer.drain()
    writer.close()
async def serve(reader, writer):
    r, w = await asyncio.open_connection("127.0.0.1", target)
    await asyncio.gather(pipe(reader, w, True), pipe(r, writer, False))
async def main():
    server = await asyncio.start_server(serve, "127.0.0.1", listen)
    await server.serve_forever()
asyncio.run(main())
PROXY
echo $! >proxy.pid
sleep 0.5
stalled_write=$(NORVEL_COM2="rfc2217://127.0.0.1:$proxy_port" seconds "$norvel" config write \
  image.cfg --yes --accept-errors)
stalled_silence=$(silence)
stalled_cuts=$(grep -c 'frame cut' emulator.log || true)

printf 'reception of 1000 calls: pseudo-terminal %.1f s, through ser2net %.1f s: %.3f x (goal <= 1.05)\n' \
  "$local_receive" "$network_receive" "$(echo "$network_receive / $local_receive" | bc -l)"
printf 'whole-image write: pseudo-terminal %.1f s, through ser2net %.1f s: %.3f x (goal <= 1.05)\n' \
  "$local_write" "$network_write" "$(echo "$network_write / $local_write" | bc -l)"
echo "image frame at the station: pseudo-terminal: $local_silence; through ser2net: $network_silence"
echo "with 300 ms network stalls: write $(printf '%.1f' "$stalled_write") s, $stalled_silence," \
  "frames cut: $stalled_cuts"
