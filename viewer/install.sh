#!/usr/bin/env bash
# Installs the browser viewer's test dependency (playwright-core, which drives
# Debian's chromium) into viewer/node_modules, only when it is missing.
set -euo pipefail
cd "$(dirname "$0")"
if [ -f node_modules/playwright-core/package.json ]; then
  exit 0
fi
if ! command -v npm > /dev/null; then
  echo "viewer/install.sh: npm is missing (scripts/install-deps.sh installs nodejs and npm)" >&2
  exit 1
fi
echo "== installing the viewer's test dependencies (npm)"
if [ -f package-lock.json ]; then
  npm ci --no-audit --no-fund
else
  npm install --no-audit --no-fund
fi
