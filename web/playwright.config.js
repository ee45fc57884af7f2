// Browser tests of the page in Debian's headless Chromium (never a
// downloaded browser), against the built site on a loopback port.
import { defineConfig } from '@playwright/test';

// A port of its own per run (kept in the environment, so the test workers
// agree with the runner), so two runs on one machine do not collide.
if (!process.env.TAVORA_TEST_PORT) process.env.TAVORA_TEST_PORT = String(41000 + Math.floor(Math.random() * 8000));
const port = Number(process.env.TAVORA_TEST_PORT);

export default defineConfig({
  testDir: './tests',
  testMatch: '*.browser.js',
  timeout: 30_000,
  expect: { timeout: 5_000 },
  workers: 1,
  retries: 0,
  reporter: [['list']],
  use: {
    baseURL: `http://127.0.0.1:${port}/`,
    viewport: { width: 1280, height: 800 },
    browserName: 'chromium',
    launchOptions: {
      executablePath: process.env.TAVORA_CHROMIUM || '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
    },
  },
  webServer: {
    command: `node serve.mjs --port ${port}`,
    url: `http://127.0.0.1:${port}/index.html`,
    reuseExistingServer: false,
    stdout: 'ignore',
  },
});
