// Browser tests of the head office pages in Debian's Chromium: the whole chain of
// tools/centrala/console.sh (Mosquitto, five headless stations with virtual signs,
// st05's field 2 stuck, the server). KC_BUILD_DIR names the build; KC_CONSOLE_SCREENS,
// when set, is where a screenshot of every page goes.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, existsSync, readFileSync, rmSync, mkdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, '..', '..');
const build = process.env.KC_BUILD_DIR || join(root, 'build', 'default');
const screens = process.env.KC_CONSOLE_SCREENS || '';
const publisher = process.env.KC_PUBLISH || join(build, 'tests', 'console', 'console_publish');
const dir = mkdtempSync(join(tmpdir(), 'kc-console-'));
let chain, browser, url;

async function until(what, check, seconds = 60) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const v = await check();
    if (v) return v;
    if (Date.now() > end) throw new Error(`gave up waiting: ${what}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

async function shot(page, name) {
  if (!screens) return;
  mkdirSync(screens, { recursive: true });
  await page.screenshot({ path: join(screens, `${name}.png`), fullPage: true });
}

async function login(user, password) {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 900 } });
  const page = await context.newPage();
  const dialogs = [];
  page.on('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  page.dialogs = dialogs;
  await page.goto(url);
  await page.fill('#login-user', user);
  await page.fill('#login-password', password);
  await page.click('#login button[type=submit]');
  await page.waitForSelector('#nav:not([hidden])');
  return page;
}

before(async () => {
  chain = spawn(join(root, 'tools', 'centrala', 'console.sh'), [build, dir],
    { env: { ...process.env, KC_CONSOLE_LISTEN: '127.0.0.1:0' }, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  chain.stdout.on('data', (d) => { out += d; });
  chain.stderr.on('data', (d) => { out += d; });
  await until('the chain to come up', () => {
    if (chain.exitCode !== null) throw new Error('console.sh ended:\n' + out);
    return existsSync(join(dir, 'ready'));
  }, 120);
  url = readFileSync(join(dir, 'ready'), 'utf8').trim();
  browser = await chromium.launch({ executablePath: process.env.KC_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu'] });
});

after(async () => {
  if (browser) await browser.close();
  if (chain && chain.exitCode === null) {
    const ended = new Promise((r) => chain.once('exit', r));
    chain.kill('SIGTERM');
    await ended;
  }
  rmSync(dir, { recursive: true, force: true });
});

test('login shows every station with its prices as seven-segment digits', async () => {
  const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
  const page = await context.newPage();
  await page.goto(url);
  await page.fill('#login-user', 'demo');
  await page.fill('#login-password', 'zle-haslo');
  await page.click('#login button[type=submit]');
  await page.waitForSelector('#login-error:text("Zła nazwa")');
  await shot(page, '01-logowanie');
  await context.close();

  const p = await login('demo', 'demo-centrala');
  await until('five stations', async () => (await p.locator('article.station').count()) === 5);
  assert.equal(await p.locator('article.station canvas.sign[role=img]').count(), 5);
  await shot(p, '02-stacje');
  await p.close();
});

test('a push to a group: each station turns confirmed, the stuck field shows as a mismatch and raises an alarm', async () => {
  const p = await login('cennik', 'ceny-centrala');
  await p.click('a[data-page=zmiana]');
  await p.check('#who-groups');
  await p.check('input[data-group="Południe"]');
  const prices = ['4.59', '5.19', '3.09', '6.00', '12'];
  for (let i = 0; i < 5; i++) await p.fill(`#price-${i + 1}`, prices[i]);
  await p.check('#blink-1');
  await p.click('#push-check-button');
  await p.waitForSelector('#push-send');
  assert.deepEqual(await p.locator('#push-check tbody td:first-child').allTextContents(), ['st04', 'st05']);
  await shot(p, '03-zmiana-sprawdzenie');
  await p.click('#push-send');
  await p.waitForSelector('#progress-table tr[data-station=st04][data-outcome=confirmed]', { timeout: 30000 });
  await p.waitForSelector('#progress-table tr[data-station=st05][data-outcome=mismatch]', { timeout: 30000 });
  const st05 = await p.locator('#progress-table tr[data-station=st05]').innerText();
  assert.match(st05, /pola 2/);
  assert.match(st05, /4\.59\*\s+_\s+3\.09/);  // what the sign shows: field 2 never changed
  await shot(p, '04-zmiana-wynik');

  // The other group, all three confirmed.
  await p.check('#who-groups');
  await p.uncheck('input[data-group="Południe"]');
  await p.check('input[data-group="Północ"]');
  await p.click('#push-check-button');
  await p.click('#push-send');
  for (const s of ['st01', 'st02', 'st03'])
    await p.waitForSelector(`#progress-table tr[data-station=${s}][data-outcome=confirmed]`, { timeout: 30000 });

  // The stations page draws what each sign confirmed: st05's field 2 stayed dark.
  await p.click('a[data-page=stacje]');
  const sign = p.locator('article.station[data-station=st05] canvas.sign');
  await until('st05 drawn', async () => (await sign.getAttribute('data-prices')) === '4.59||3.09|6.00|12');
  assert.match(await sign.getAttribute('aria-label'), /Cena 1: 4\.59 \(mruga\), Cena 2: puste/);
  await until('st05 painted', async () => (await sign.getAttribute('data-drawn')) === '1');

  await p.click('a[data-page=alarmy]');
  await p.waitForSelector('#alarms tr[data-station=st05][data-kind=mismatch]');
  await shot(p, '05-alarmy');
  await p.goto(url + '/#/stacja/st05');
  await p.waitForSelector('#station-history');
  await shot(p, '06-stacja');
  await p.close();
});

test('a viewer cannot push', async () => {
  const p = await login('podglad', 'podglad-centrala');
  assert.equal(await p.locator('a[data-page=zmiana]').isVisible(), false);
  const status = await p.evaluate(async () => {
    const me = await (await fetch('/api/me')).json();
    const r = await fetch('/api/push', { method: 'POST', headers: { 'Content-Type': 'application/json', 'X-CSRF-Token': me.csrf },
      body: JSON.stringify({ all: true, prices: ['1', '2', '3', '4', '5'] }) });
    return r.status;
  });
  assert.equal(status, 403);
  await p.close();
});

test('a station detail holding markup shows as text', async () => {
  const conf = readFileSync(join(dir, 'broker', 'mosquitto.conf'), 'utf8');
  const port = conf.match(/^listener (\d+)/m)[1];
  const evil = '<img src=x onerror=alert(1)>';
  const publish = () => execFileSync(publisher, ['127.0.0.1', port, join(dir, 'broker', 'ca.crt'), 'st03',
    join(dir, 'broker', 'st03.pw'), 'kavorcen/st03/status',
    JSON.stringify({ station: 'st03', status: 'online', sign: 'answers', detail: evil })]);
  publish();
  const p = await login('demo', 'demo-centrala');
  const card = p.locator('article.station[data-station=st03]');
  // The running station may publish its own status over ours at any moment: say it again
  // until the page has shown it.
  let polls = 0;
  await until('the detail on st03', async () => {
    if ((await card.innerText()).includes(evil)) return true;
    if (++polls % 10 === 0) publish();
    return false;
  });
  assert.equal(await p.locator('article.station img').count(), 0);
  assert.deepEqual(p.dialogs, []);
  await shot(p, '02b-stacje-tekst-stacji');
  await p.click('a[data-page=uzytkownicy]');
  await p.waitForSelector('#users td');
  await shot(p, '07-uzytkownicy');
  await p.close();
});

test('the history CSV downloads in the journal form and parses', async () => {
  const p = await login('demo', 'demo-centrala');
  await p.click('a[data-page=historia]');
  await p.waitForSelector('#history tbody tr');
  await shot(p, '08-historia');
  const [download] = await Promise.all([p.waitForEvent('download'), p.click('#history-csv')]);
  const bytes = readFileSync(await download.path());
  const text = new TextDecoder('windows-1250').decode(bytes);
  const lines = text.split('\r\n').filter((l) => l);
  const head = lines[0].split(';');
  assert.equal(head.length, 18);
  assert.equal(head[3], 'Źródło');
  const rows = lines.slice(1).map((l) => l.split(';'));
  assert.ok(rows.every((r) => r.length === 18));
  assert.ok(rows.some((r) => r[0] === 'st04' && r[10] === 'potwierdzone'));
  assert.ok(rows.some((r) => r[0] === 'st05' && r[10] === 'niezgodne' && r[17] === '2' && r[12] === ''));
  await p.close();
});

test('a station offline when pushed shows held, then confirmed when it comes back', async () => {
  const pidFile = join(dir, 'st02.pid');
  process.kill(Number(readFileSync(pidFile, 'utf8')), 'SIGTERM');
  const p = await login('cennik', 'ceny-centrala');
  await until('st02 offline', async () => (await p.locator('article.station[data-station=st02] .tag.offline').count()) === 1);
  await p.click('a[data-page=zmiana]');
  await p.check('#who-stations');
  await p.check('input[data-station=st02]');
  const prices = ['4.19', '4.29', '4.39', '4.49', '4.59'];
  for (let i = 0; i < 5; i++) await p.fill(`#price-${i + 1}`, prices[i]);
  await p.click('#push-check-button');
  await p.click('#push-send');
  await p.waitForSelector('#progress-table tr[data-station=st02][data-outcome=sent]:has-text("offline")');
  // Back in test mode: the broker hands the change over and the station holds it.
  const conf = readFileSync(join(dir, 'broker', 'mosquitto.conf'), 'utf8');
  const port = conf.match(/^listener (\d+)/m)[1];
  const station = spawn(join(build, 'kavor-station'), ['--station', 'st02', '--broker', `127.0.0.1:${port}`,
    '--cafile', join(dir, 'broker', 'ca.crt'), '--password-file', join(dir, 'broker', 'st02.pw'),
    '--dir', join(dir, 'stations', 'st02'), '--test-mode'], { stdio: 'ignore' });
  try {
    await p.waitForSelector('#progress-table tr[data-station=st02][data-outcome=held]', { timeout: 15000 });
    await shot(p, '09-zmiana-wstrzymana');
    station.kill('SIGUSR1');
    await p.waitForSelector('#progress-table tr[data-station=st02][data-outcome=confirmed]', { timeout: 30000 });
  } finally {
    const ended = new Promise((r) => station.once('exit', r));
    station.kill('SIGTERM');
    await ended;
    await p.close();
  }
});
