// The HTML chart in a real browser: Debian's Chromium, headless, driven by
// playwright-core (which never downloads a browser of its own here). For
// each page: load it from file:// with every request elsewhere refused; move
// the pointer over three known bars and compare what the crosshair readout
// shows with the CSV rows of those bars; hide a panel and show it again;
// zoom to a range of bars by dragging and back; fail on any console error
// or page error. Pages of replays with intrabar updates (--ticks, a trade
// file): the hollow marks of signals that showed while a bar formed and
// vanished by its close, against the page's own data, their check box, and
// the readout listing what a bar showed while it formed. Screenshots stay in
// the output folder.
//   node chart_page.mjs ZARN_REPLAY OUT_DIR DATA_DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [tool, outDir, dataDir] = process.argv.slice(2);
const CHROMIUM = process.env.ZT_CHROMIUM || '/usr/bin/chromium';
fs.rmSync(outDir, { recursive: true, force: true });
fs.mkdirSync(outDir, { recursive: true });

const failures = [];
const fail = (what) => { failures.push(what); console.log('FAIL: ' + what); };

function readCsv(file) {
  const lines = fs.readFileSync(file, 'utf8').trim().split('\n');
  const header = lines[0].split(',');
  return { header, rows: lines.slice(1).map((l) => l.split(',')) };
}

const two = (v) => String(v).padStart(2, '0');
const dateText = (d) => `${Math.floor(d / 10000)}-${two(Math.floor(d / 100) % 100)}-${two(d % 100)}`;
const close = (shown, expected) => {
  const a = Number(shown), b = Number(expected);
  return Number.isFinite(a) && Math.abs(a - b) <= 1e-6 * Math.abs(b) + 1e-9;
};

async function readout(page) {
  return page.$$eval('#readout tr', (rows) =>
    Object.fromEntries(rows.map((r) => [r.dataset.key, r.querySelector('td').textContent])));
}

// Moves the pointer over bar i (of the bars drawn) and checks the readout
// against the CSV row.
async function checkBar(page, name, csv, firstRow, i) {
  const p = await page.evaluate((k) => window.zarnChart.pointOf(k), i);
  await page.mouse.move(p.x, p.y);
  const shown = await readout(page);
  // The readout is a narrow box beside the pointer, not over it.
  const box = await page.$eval('#readout', (r) => r.getBoundingClientRect().toJSON());
  if (box.width > 420 || (p.x >= box.left && p.x <= box.right)) fail(`${name}: the readout (${box.left}..${box.right}) covers the pointer at ${p.x}`);
  const row = csv.rows[firstRow + i];
  const field = (k) => row[csv.header.indexOf(k)];
  const where = `${name}: bar ${i}`;
  if (shown.date !== dateText(Number(field('date')))) fail(`${where}: date ${shown.date}, the CSV has ${field('date')}`);
  const time = Number(field('time'));
  if (shown.time !== (time ? `${two(Math.floor(time / 100))}:${two(time % 100)}` : '\u2013'))
    fail(`${where}: time ${shown.time}, the CSV has ${time}`);
  for (const k of ['open', 'high', 'low', 'close', 'volume'])
    if (!close(shown[k], field(k))) fail(`${where}: ${k} ${shown[k]}, the CSV has ${field(k)}`);
  const columns = await page.evaluate(() => JSON.parse(document.getElementById('chart-data').textContent).columns
    .map((c) => ({ name: c.name, from: c.from })));
  let values = 0;
  for (const c of columns) {
    const v = shown[c.name];
    if (v === undefined) { fail(`${where}: ${c.name} is not in the readout`); continue; }
    if (i < c.from) {
      if (v !== '\u2013') fail(`${where}: ${c.name} shows ${v} in its warm-up`);
      continue;
    }
    values += 1;
    if (!close(v, field(c.name))) fail(`${where}: ${c.name} ${v}, the CSV has ${field(c.name)}`);
  }
  return values;
}

async function checkPage(context, name, args) {
  const csvFile = path.join(outDir, `${name}.csv`), page_ = path.join(outDir, `${name}.html`);
  execFileSync(tool, [...args, '-o', csvFile, '--chart', page_], { stdio: ['ignore', 'ignore', 'inherit'] });
  const csv = readCsv(csvFile);
  const page = await context.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(pathToFileURL(page_).href);
  const bars = await page.evaluate(() => window.zarnChart.bars);
  const firstRow = csv.rows.length - bars;
  await page.screenshot({ path: path.join(outDir, `${name}.png`), fullPage: true });

  // Three known bars: early, middle, the newest.
  let values = 0;
  for (const i of [Math.min(40, bars - 1), Math.floor(bars / 2), bars - 1]) values += await checkBar(page, name, csv, firstRow, i);
  if (values === 0) fail(`${name}: no study value was compared`);
  await page.screenshot({ path: path.join(outDir, `${name}_crosshair.png`) });

  // Hide the second panel (or the only one) and show it again.
  const height = async () => page.evaluate(() => document.getElementById('chart').getBoundingClientRect().height);
  const panelCount = await page.$$eval('g.panel', (g) => g.length);
  const k = panelCount > 1 ? 1 : 0;
  const full = await height();
  await page.click(`input[data-panel="${k}"]`);
  const hiddenDisplay = await page.$eval(`#panel-${k}`, (g) => getComputedStyle(g).display);
  const less = await height();
  if (hiddenDisplay !== 'none' || !(less < full)) fail(`${name}: hiding panel ${k} left it (${hiddenDisplay}, height ${full} -> ${less})`);
  if (k + 1 < panelCount) {
    // The panel below moved up into its place.
    const moved = await page.$eval(`#panel-${k + 1}`, (g) => g.getAttribute('transform') || '');
    if (!moved.startsWith('translate(0,-')) fail(`${name}: the panel below the hidden one did not move up`);
  }
  await page.mouse.move(5, 5);
  await page.screenshot({ path: path.join(outDir, `${name}_hidden.png`) });
  await page.click(`input[data-panel="${k}"]`);
  if ((await height()) !== full) fail(`${name}: showing panel ${k} again did not restore the chart`);

  // Zoom by dragging across a range of bars, read a bar inside it, and back.
  const a = Math.floor(bars / 4), b = Math.floor(bars / 2);
  const pa = await page.evaluate((i) => window.zarnChart.pointOf(i), a);
  const pb = await page.evaluate((i) => window.zarnChart.pointOf(i), b);
  await page.mouse.move(pa.x, pa.y);
  await page.mouse.down();
  await page.mouse.move(pb.x, pb.y, { steps: 8 });
  await page.mouse.up();
  const view = await page.evaluate(() => window.zarnChart.view());
  if (view.a !== a || view.b !== b) fail(`${name}: dragging from bar ${a} to ${b} zoomed to ${view.a}..${view.b}`);
  const mid = Math.floor((a + b) / 2);
  await checkBar(page, `${name} zoomed`, csv, firstRow, mid);
  const labels = await page.$$eval('g.js-time-axis text', (t) => t.length);
  const marks = await page.$$eval('g.zoom path[data-y]', (m) => m.length);
  const redrawn = await page.$$eval('path.js-mark', (m) => m.length);
  if (redrawn !== marks) fail(`${name}: ${marks} mark paths, ${redrawn} drawn again for the zoom`);
  if (labels === 0) fail(`${name}: no time axis under the zoomed panels`);
  await page.screenshot({ path: path.join(outDir, `${name}_zoomed.png`) });
  await page.click('#zoom-out');
  const back = await page.evaluate(() => window.zarnChart.view());
  if (back.a !== 0 || back.b !== bars - 1) fail(`${name}: zooming out left ${back.a}..${back.b}`);
  await checkBar(page, `${name} zoomed out`, csv, firstRow, bars - 1);

  for (const e of errors) fail(`${name}: console: ${e}`);
  await page.close();
  console.log(`${name}: ${bars} bars, ${panelCount} panels, ${values} values compared`);
}

// The hollow marks and the "seen" readout rows of a page whose replay sent
// intrabar updates; none of either without them.
async function checkVanished(context, name, args, expectTrails) {
  const csvFile = path.join(outDir, `${name}.csv`), page_ = path.join(outDir, `${name}.html`);
  execFileSync(tool, [...args, '-o', csvFile, '--chart', page_], { stdio: ['ignore', 'ignore', 'inherit'] });
  const page = await context.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(pathToFileURL(page_).href);
  const D = await page.evaluate(() => JSON.parse(document.getElementById('chart-data').textContent));
  const trailed = D.columns.filter((c) => c.seen);
  const box = await page.$('#vanished');
  if (!expectTrails) {
    if (trailed.length || box) fail(`${name}: trails or their check box without intrabar updates`);
    await page.close();
    return;
  }
  if (!trailed.length || !box) { fail(`${name}: no trails or no check box`); await page.close(); return; }

  // Expected hollow marks per mark path: the bars in view whose trail showed
  // the sign before the final update and does not end on it.
  const expected = (a, b) => {
    const want = {};
    for (const c of trailed) {
      for (const up of [true, false]) {
        const sign = up ? '+' : '-';
        let count = 0;
        for (let i = Math.max(a, c.from); i <= b; i++)
          if (c.seen[i].slice(0, -1).includes(sign) && c.seen[i].slice(-1) !== sign) count++;
        want[`${c.name} ${up ? 'up' : 'down'}`] = count;
      }
    }
    return want;
  };
  const drawn = () => page.$$eval('path.js-vanished', (ps) => Object.fromEntries(ps.map((p) =>
    [`${p.dataset.column} ${p.classList.contains('up') ? 'up' : 'down'}`, (p.getAttribute('d').match(/M/g) || []).length])));
  const compare = async (what, a, b) => {
    const want = expected(a, b), got = await drawn();
    let total = 0;
    for (const [k, v] of Object.entries(want)) {
      // A column draws only the marks its signs use (FAST2.up has no down marks).
      if ((got[k] || 0) !== v && !(got[k] === undefined && v === 0)) fail(`${name} ${what}: ${k}: ${got[k]} hollow marks, the data gives ${v}`);
      total += got[k] || 0;
    }
    return total;
  };
  const n = D.bars.length;
  const all = await compare('all bars', 0, n - 1);
  if (all === 0) fail(`${name}: no signal vanished on ${n} bars`);
  await page.screenshot({ path: path.join(outDir, `${name}.png`), fullPage: true });

  // The check box hides them and brings them back.
  await page.click('#vanished');
  if ((await drawn()) && Object.values(await drawn()).some((v) => v > 0)) fail(`${name}: hollow marks left with the box unchecked`);
  await page.click('#vanished');
  if ((await compare('shown again', 0, n - 1)) !== all) fail(`${name}: the hollow marks did not come back`);

  // In a zoom, the bars in view.
  const a = Math.floor(n / 3), b = Math.floor(n / 3) + 30;
  await page.evaluate(([x, y]) => window.zarnChart.zoomTo(x, y), [a, b]);
  await compare('zoomed', a, b);
  await page.screenshot({ path: path.join(outDir, `${name}_zoomed.png`) });
  await page.evaluate(() => window.zarnChart.zoomTo(0, 1e9));

  // The readout of a bar whose signal changed while it formed.
  const signs = { '+': '+1', '0': '0', '-': '-1', '~': '\u2026' };
  let checked = 0;
  for (const c of trailed) {
    const i = c.seen.findIndex((t, k) => k >= c.from && t.length > 2);
    if (i < 0) continue;
    const p = await page.evaluate((k) => window.zarnChart.pointOf(k), i);
    await page.mouse.move(p.x, p.y);
    const shown = await readout(page);
    const want = Array.from(c.seen[i], (ch) => signs[ch]).join(' ');
    if (shown[`${c.name} seen`] !== want) fail(`${name}: bar ${i}: ${c.name} seen "${shown[`${c.name} seen`]}", the data gives "${want}"`);
    const steady = c.seen.findIndex((t, k) => k >= c.from && t.length === 1);
    if (steady >= 0) {
      const q = await page.evaluate((k) => window.zarnChart.pointOf(k), steady);
      await page.mouse.move(q.x, q.y);
      if ((await readout(page))[`${c.name} seen`] !== undefined) fail(`${name}: bar ${steady}: a "seen" row for a signal that never changed`);
    }
    if (++checked === 3) break;
  }
  if (checked === 0) fail(`${name}: no bar whose signal changed while it formed`);
  for (const e of errors) fail(`${name}: console: ${e}`);
  await page.close();
  console.log(`${name}: ${n} bars, ${all} hollow marks, ${checked} readouts of what a bar showed as it formed`);
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zt-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: CHROMIUM,
  headless: true,
  viewport: { width: 1500, height: 1000 },
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
// The page needs nothing but itself.
await context.route('**/*', (route) => {
  const url = route.request().url();
  if (url.startsWith('file:')) return route.continue();
  fail(`a request left the page: ${url}`);
  return route.abort();
});
try {
  await checkPage(context, 'builtin_all', ['--bars', '800']);
  await checkPage(context, 'builtin_four', ['--bars', '800', '--studies', 'upsell,stopline,tr4,mp']);
  await checkVanished(context, 'builtin_ticks', ['--bars', '800', '--ticks', '5'], true);
  const trades = new URL('../data/trades_sample.csv', import.meta.url);
  await checkVanished(context, 'trades_1m', ['--tick-file', trades.pathname, '--timeframe', '1m', '--chart-bars', '300'], true);
  await checkVanished(context, 'builtin_no_ticks', ['--bars', '300'], false);
  const spy = path.join(dataDir, 'spy_daily_2008_2014.csv');
  if (fs.existsSync(spy)) {
    await checkPage(context, 'spy_all', [spy]);
    await checkPage(context, 'spy_four', [spy, '--studies', 'upsell,stopline,tr4,mp']);
  }
} catch (e) {
  fail(String(e && e.stack || e));
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
if (failures.length) {
  console.log(`${failures.length} failures`);
  process.exit(1);
}
console.log('the chart page works in Chromium');
