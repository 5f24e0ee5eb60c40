#!/usr/bin/env bash
# puppeteer-core from npm at the version tests/web/package-lock.json pins,
# into DIR/node_modules; nothing to do when DIR has that version already.
# The lock file is kept beside only once npm has finished, so a download that
# failed halfway is made again next time, not taken as done.
#   tests/web/puppeteer.sh DIR
set -euo pipefail
aqui=$(dirname "$(readlink -f "$0")")
dir=$1
cmp -s "$aqui/package-lock.json" "$dir/hecho.json" && exit 0
rm -rf "$dir"
mkdir -p "$dir"
cp "$aqui/package.json" "$aqui/package-lock.json" "$dir/"
(cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
cp "$aqui/package-lock.json" "$dir/hecho.json"
