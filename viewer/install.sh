#!/usr/bin/env bash
# Installs the browser viewer's test dependencies into viewer/node_modules,
# only when one is missing: playwright-core (drives Debian's chromium),
# puppeteer-core (firefox-esr over WebDriver BiDi) and selenium-webdriver
# (WebKitGTK's WebKitWebDriver). None may download a browser of its own.
set -euo pipefail
cd "$(dirname "$0")"
if [ -f node_modules/playwright-core/package.json ] && [ -f node_modules/puppeteer-core/package.json ] &&
  [ -f node_modules/selenium-webdriver/package.json ]; then
  exit 0
fi
export PUPPETEER_SKIP_DOWNLOAD=1 PUPPETEER_SKIP_CHROME_DOWNLOAD=1 PUPPETEER_SKIP_FIREFOX_DOWNLOAD=1 PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
export SE_AVOID_BROWSER_DOWNLOAD=true
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
