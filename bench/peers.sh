#!/bin/sh
# Both programs side by side with the usual tools on the same work: see
# bench/peers.py. Usage: sh bench/peers.sh BUILD-FOLDER
here=$(cd "$(dirname "$0")" && pwd)
exec python3 "$here/peers.py" "${1:-build-bench}"
