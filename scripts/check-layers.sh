#!/bin/sh
# The layer check (CTest test "layers"): see check_layers.py.
exec python3 "$(dirname "$0")/check_layers.py" "$@"
