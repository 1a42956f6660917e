// Benchmarks (head office pages): the stations page's first render in Debian's Chromium.
// Usage: node bench/console_render.mjs URL USER PASSWORD COUNT; prints milliseconds from
// asking for the page until the first screen's signs are drawn, and until all COUNT cards are in.
import { createRequire } from 'node:module';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(join(dirname(fileURLToPath(import.meta.url)), '..', 'tests', 'console', 'package.json'));
const { chromium } = require('playwright-core');
const [url, user, password, count] = process.argv.slice(2);
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  await page.goto(url);
  await page.fill('#login-user', user);
  await page.fill('#login-password', password);
  await page.click('#login button[type=submit]');
  await page.waitForSelector('article.station');
  const first = [], all = [];
  for (let i = 0; i < 3; i++) {
    await page.goto('about:blank');
    const t0 = Date.now();
    await page.goto(url + '/#/stacje');
    // The first screen: its cards in the document and their signs drawn.
    await page.waitForFunction(() => document.querySelector('article.station canvas.sign[data-drawn]'), null,
      { polling: 'raf', timeout: 60000 });
    first.push(Date.now() - t0);
    await page.waitForFunction((n) => document.querySelectorAll('article.station canvas.sign').length >= n,
      Number(count), { polling: 'raf', timeout: 60000 });
    all.push(Date.now() - t0);
  }
  console.log(`first screen ${first.join(' ')} ms, all ${count} cards ${all.join(' ')} ms (three loads)`);
} finally {
  await browser.close();
}
