#!/usr/bin/env bash
# Installs, builds and starts Vantor. Arguments are passed to the program (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
exec build/default/src/app/vantor "$@"
