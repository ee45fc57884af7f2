#!/bin/sh
# Runs the page's tests: the binding's unit tests under node and the browser
# tests in Debian's headless Chromium. Skipped (77) with the reason when the
# site, the page's npm packages or Chromium are missing.
cd "$(dirname "$0")/../../web" || exit 1
for need in ../build-web/site/index.html ../build-web/wasm/web/tavora.js node_modules/.package-lock.json; do
  if [ ! -e "$need" ]; then
    echo "SKIPPED: web/$need is missing; 'make web' builds the site and installs the page's packages"
    exit 77
  fi
done
if [ ! -x "${TAVORA_CHROMIUM:-/usr/bin/chromium}" ]; then
  echo "SKIPPED: no Chromium at ${TAVORA_CHROMIUM:-/usr/bin/chromium}; 'make test' installs Debian's chromium"
  exit 77
fi
node --no-experimental-fetch --test tests/unit/ || exit 1
exec npx --no-install playwright test
