// The Stacje page's first render in Debian's Chromium: from the start of navigation
// (performance.now() is 0 there) to the frame after the last station card was drawn.
// Usage: node console_render.mjs URL USER PASSWORD STATIONS OUT.json
import { createRequire } from 'node:module';
import { writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
// The browser tests' pinned playwright-core; it never downloads a browser.
const { chromium } = createRequire(join(here, '..', 'tests', 'console', 'package.json'))('playwright-core');
const [url, user, password, stations, out] = process.argv.slice(2);
const want = Number(stations);
const runs = 5;

// Runs in the page before its own scripts: notes when the want-th card is in the
// document, then when the frame holding it has been laid out.
function watch(want) {
  const seen = () => document.querySelectorAll('#stations article.station').length;
  new MutationObserver((_, obs) => {
    if (window.__drawn || seen() < want) return;
    window.__drawn = performance.now();
    obs.disconnect();
    requestAnimationFrame(() => setTimeout(() => { window.__painted = performance.now(); }, 0));
  }).observe(document, { childList: true, subtree: true });
}

const browser = await chromium.launch({ executablePath: process.env.KC_CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu'] });
try {
  const times = [], drawn = [], inApp = [];
  let api = 0;
  for (let i = 0; i < runs; ++i) {
    // A fresh context each time: a first render, nothing cached.
    const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
    const login = await context.request.post(`${url}/api/login`, { data: { user, password } });
    if (!login.ok()) throw new Error(`login refused: ${login.status()}`);
    const page = await context.newPage();
    await page.addInitScript(watch, want);
    await page.goto(`${url}/#/stacje`);
    await page.waitForFunction(() => window.__painted !== undefined, null, { timeout: 30000 });
    times.push(await page.evaluate(() => window.__painted));
    drawn.push(await page.evaluate(() => window.__drawn));
    if (i === 0) {
      api = await page.evaluate(() => {
        const e = performance.getEntriesByType('resource').find((r) => r.name.includes('/api/stations'));
        return e ? [Math.round(e.startTime), Math.round(e.responseEnd)] : 0;
      });
    }
    // Within the running page: from the menu's Stacje to the last card painted.
    await page.evaluate(() => { location.hash = '#/historia'; });
    await page.waitForFunction(() => !document.querySelector('#stations'), null, { timeout: 30000 });
    inApp.push(await page.evaluate((want) => new Promise((resolve) => {
      const t0 = performance.now();
      new MutationObserver((_, obs) => {
        if (document.querySelectorAll('#stations article.station').length < want) return;
        obs.disconnect();
        requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - t0), 0));
      }).observe(document, { childList: true, subtree: true });
      location.hash = '#/stacje';
    }), want));
    await context.close();
  }
  const sorted = [...times].sort((a, b) => a - b);
  const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
  writeFileSync(out, JSON.stringify({ runs: times.map((t) => Math.round(t)), median: median(times),
    worst: sorted[runs - 1], drawn: median(drawn), inApp: median(inApp), api }));
} finally {
  await browser.close();
}
