#!/usr/bin/env bash
# The commit stamped into --version, for a checkout that another user owns, as
# when root builds it: git refuses such a checkout unless told to trust it.
# Skipped (77) unless run as root with git at hand.
set -euo pipefail
script=$1
if [ "$(id -u)" -ne 0 ] || ! command -v git >/dev/null; then
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
git init -q "$dir/checkout"
git -C "$dir/checkout" -c user.name=test -c user.email=test@example.com commit -q --allow-empty -m first
chown -R nobody "$dir/checkout"
cmake -DSOURCE_DIR="$dir/checkout" -DOUTPUT="$dir/commit.h" -P "$script"
expected=$(git -c safe.directory="$dir/checkout" -C "$dir/checkout" rev-parse --short=12 HEAD)
if ! grep -q "BRONTAFLEX_COMMIT \"$expected\"" "$dir/commit.h"; then
  cat "$dir/commit.h"
  exit 1
fi
