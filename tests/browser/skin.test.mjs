// The web interface as a person meets it: headless Chromium on a running trayhub with the
// Default skin, at a desk and on a phone, in the light and the dark scheme. The test
// knows nothing of the player's content beyond what the pages show, so it runs on the
// demo player and on the in-memory one alike.
//
//   TOVARIN_URL    the manager's address, e.g. http://127.0.0.1:8047 (required)
//   TOVARIN_SHOTS  the folder of the screenshots (default build/browser)
//   CHROMIUM       the browser (default /usr/bin/chromium)
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const base = (process.env.TOVARIN_URL ?? '').replace(/\/$/, '');
const shots = resolve(process.env.TOVARIN_SHOTS ?? join(here, '../../build/browser'));
const executablePath = process.env.CHROMIUM ?? '/usr/bin/chromium';
const desk = { width: 1280, height: 900 };
const phone = { width: 390, height: 844 };

// Texts the page-template language writes when a page is faulty.
const templateErrors = [/Unknown loop type/, /Unrecognized command/, /Cannot include/, /wrong number of arguments/,
  /Could not process tags/, /could not load the main/];

let context;
let page;
let profile;

before(async () => {
  assert.ok(base, 'TOVARIN_URL must name the running trayhub');
  profile = mkdtempSync(join(tmpdir(), 'tovarin-chromium-'));
  context = await chromium.launchPersistentContext(profile, {
    executablePath,
    headless: true,
    acceptDownloads: true,
    viewport: desk,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  page = context.pages()[0] ?? await context.newPage();
  page.setDefaultTimeout(15000);
});

after(async () => {
  await context?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

// Opens a section from the navigation bar and checks that the page came out whole.
async function openSection(name) {
  await page.getByRole('navigation', { name: 'Sections' }).getByRole('link', { name, exact: true }).click();
  await page.waitForLoadState('load');
  await expectWholePage();
}

async function expectWholePage() {
  const text = await page.locator('body').innerText();
  for (const error of templateErrors) assert.doesNotMatch(text, error, `${page.url()} shows a template error`);
  // The footer is the last thing a page writes: a page cut short by an error has none.
  assert.equal(await page.locator('footer.bottom').count(), 1, `${page.url()} ended early`);
}

// Waits for the page that follows a queue command and answers its notice.
async function noticeAfterCommand() {
  await page.waitForURL(/[?&]msg=/);
  return (await page.locator('p.notice').innerText()).trim();
}

test('the overview opens', async () => {
  const response = await page.goto(`${base}/`);
  assert.equal(response.status(), 200);
  await expectWholePage();
  assert.match(await page.title(), /^Overview/);
  assert.ok(await page.locator('.card').count() >= 3);
});

test('the tracks are listed, sorted and paged', async () => {
  await openSection('Tracks');
  const rows = page.locator('table.tracks tbody tr');
  assert.ok(await rows.count() > 0, 'the player has tracks');
  assert.ok(await rows.count() <= 50, 'a page holds at most 50 tracks');

  await page.locator('th.c-title a').click();
  await page.waitForURL(/larg1=title/);
  await expectWholePage();
  const titles = await page.locator('table.tracks tbody td.c-title').allInnerTexts();
  const sorted = [...titles].sort((a, b) => a.toLowerCase().localeCompare(b.toLowerCase(), 'en'));
  assert.deepEqual(titles.map((t) => t.toLowerCase()), sorted.map((t) => t.toLowerCase()));
  assert.match(await page.locator('.pager').innerText(), /Tracks 1\D+\d+ of \d+/);
});

test('a playlist opens and a track of it is enqueued', async () => {
  await openSection('Playlists');
  const first = page.locator('a.playlist').first();
  const name = (await first.innerText()).trim();
  await first.click();
  await page.waitForLoadState('load');
  await expectWholePage();
  assert.equal((await page.locator('h1').innerText()).trim(), name);
  const rows = page.locator('table.list tbody tr');
  assert.ok(await rows.count() > 0, `the playlist ${name} has entries`);
  const track = (await rows.first().locator('td').nth(1).innerText()).trim();

  await rows.first().locator('a.enqueue').click();
  assert.equal(await noticeAfterCommand(), '1 track(s) enqueued.');
  await expectWholePage();
  assert.equal((await page.locator('h1').innerText()).trim(), name, 'the page came back to the playlist');

  // The queue shows the page of its current entry; the new entry is on the last page.
  await openSection('Queue');
  const last = page.locator('.pager a', { hasText: 'Last' });
  if (await last.count() > 0) await last.click();
  const queued = await page.locator('table.queue tbody tr td:nth-child(2)').allInnerTexts();
  assert.ok(queued.map((t) => t.trim()).includes(track), `the queue holds ${track}`);
});

test('a search finds tracks', async () => {
  await openSection('Tracks');
  const artist = (await page.locator('table.tracks tbody td.c-artist').filter({ hasText: /\w/ }).first().innerText()).trim();
  const word = artist.split(/\s+/)[0];
  const box = page.getByRole('searchbox', { name: 'Quick search' });
  await box.fill(word);
  await box.press('Enter');
  await page.waitForURL(/search\.html/);
  await expectWholePage();
  assert.equal(await page.locator('p.error').count(), 0);
  const found = await page.locator('table.results tbody tr').allInnerTexts();
  assert.ok(found.length > 0, `a search for ${word} finds tracks`);
  assert.ok(found.some((row) => row.toLowerCase().includes(word.toLowerCase())));

  // A simple search that can find nothing says so.
  await page.goto(`${base}/search.html?larg1=simple&larg2=${encodeURIComponent('no such artist here')}`);
  await expectWholePage();
  assert.equal((await page.locator('p.error').innerText()).trim(), 'No search results found.');
});

test('a data file downloads', async () => {
  await openSection('Files');
  // Walk down the folders until one holds a file.
  for (let depth = 0; depth < 5 && await page.locator('a.download').count() === 0; ++depth) {
    const folder = page.locator('a.folder').first();
    assert.ok(await folder.count() > 0, 'the player holds a data file');
    await folder.click();
    await page.waitForLoadState('load');
    await expectWholePage();
  }
  const link = page.locator('a.download').first();
  const name = (await link.locator('xpath=ancestor::tr/td[1]').innerText()).trim();
  const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
  assert.equal(download.suggestedFilename(), name);
  const saved = join(profile, 'download');
  await download.saveAs(saved);
  assert.ok(readFileSync(saved).length > 0, `${name} has content`);
});

test('every section renders', async () => {
  for (const name of ['Overview', 'Artists', 'Albums', 'Genres', 'Queue', 'Search', 'Skins', 'Tracks']) {
    await openSection(name);
    const current = page.locator('nav.sections a[aria-current="page"]');
    assert.equal(await current.count(), 1, `${name}: one section is the current one`);
    assert.equal((await current.innerText()).trim(), name);
  }
});

// ---- sorting, playing, volume, search ----

// The titles of the track table as shown, and the heading's aria-sort.
async function titlesAndSortState() {
  const titles = (await page.locator('table.tracks tbody td.c-title').allInnerTexts()).map((t) => t.trim().toLowerCase());
  return { titles, state: await page.locator('th.c-title').getAttribute('aria-sort') };
}

test('a heading sorts one way, then the other', async () => {
  await page.goto(`${base}/tracks.html`);
  assert.equal(await page.locator('th.c-title').getAttribute('aria-sort'), 'none');
  await page.locator('th.c-title a').click();
  await page.waitForURL(/larg1=title/);
  const up = await titlesAndSortState();
  assert.equal(up.state, 'ascending');
  assert.deepEqual(up.titles, [...up.titles].sort((a, b) => a.localeCompare(b, 'en')));

  await page.locator('th.c-title a').click();
  await page.waitForURL(/larg1=-title/);
  await expectWholePage();
  const down = await titlesAndSortState();
  assert.equal(down.state, 'descending');
  assert.deepEqual(down.titles, [...down.titles].sort((a, b) => b.localeCompare(a, 'en')));
  if (up.titles.length > 1) assert.notDeepEqual(down.titles, up.titles);
  // Every "Play" and "Queue" link names its track for a screen reader.
  const rows = await page.locator('table.tracks tbody tr').count();
  const table = page.locator('table.tracks');
  assert.equal(await table.getByRole('link', { name: /^\W*Play \S/ }).count(), rows);
  assert.equal(await table.getByRole('link', { name: /^\+ Queue \S/ }).count(), rows);
});

test('"Play" plays the track in the page, nothing is downloaded', async () => {
  await page.goto(`${base}/tracks.html`);
  let downloaded = false;
  page.once('download', () => { downloaded = true; });
  const row = page.locator('table.tracks tbody tr').first();
  const title = (await row.locator('td.c-title').innerText()).trim();
  await row.locator('a.play').click();
  await page.waitForURL(/track\.html\?.*play=1/);
  await expectWholePage();
  assert.match(await page.title(), new RegExp(`^${title.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')} `), 'titled by the track');
  await page.waitForFunction(() => {
    const audio = document.querySelector('audio');
    return audio && (audio.currentTime > 0 || audio.ended) && audio.error === null;
  }, null, { timeout: 10000 });
  assert.equal(downloaded, false);
});

test('Enter in the volume field sets the volume', async () => {
  await page.goto(`${base}/queue.html`);
  const field = page.getByRole('spinbutton', { name: /Volume/ });
  const level = Number(await field.inputValue()) === 35 ? 65 : 35;
  await field.fill(String(level));
  await field.press('Enter');
  assert.equal(await noticeAfterCommand(), `Volume set to ${level}%.`);
  assert.equal(Number(await page.getByRole('spinbutton', { name: /Volume/ }).inputValue()), level);
  assert.match(await page.locator('main h1').innerText(), /Queue/, 'the page came back to the queue');
});

test('search results start at the top, at a desk and on a phone', async () => {
  for (const viewport of [desk, phone]) {
    await page.setViewportSize(viewport);
    await page.goto(`${base}/tracks.html`);
    const word = (await page.locator('table.tracks tbody td.c-title').first().innerText()).trim().split(/\s+/)[0];
    await page.goto(`${base}/search.html?larg1=quick&larg2=${encodeURIComponent(word)}`);
    await expectWholePage();
    const heading = page.locator('#results-heading');
    assert.match(await heading.innerText(), /^Tracks found: [1-9]\d*$/);
    const first = await page.locator('table.results tbody tr').first().boundingBox();
    assert.ok(first.y + first.height <= viewport.height, `the first result lies within the first screen (${first.y})`);
  }
  // An empty search lists nothing and asks for a text.
  await page.goto(`${base}/search.html?larg1=simple`);
  assert.equal(await page.locator('table.results').count(), 0);
  assert.match(await page.locator('p.error').innerText(), /Type a text to search for/);
  await page.setViewportSize(desk);
});

// ---- the queue's states, played rows and the player's state ----

// A command page sends the browser on to the page that tells its result; the next page is
// opened only once it is there, or that move cuts the next one short.
async function fillTheQueue() {
  await page.goto(`${base}/queue.html?qcmd=clear`);
  await noticeAfterCommand();
  await page.goto(`${base}/tracks.html?qcmd=enqueue&qarg1=AUDIOALL`);
  await noticeAfterCommand();
  await page.goto(`${base}/queue.html?qcmd=play`);
  assert.equal(await noticeAfterCommand(), 'Playback started.');
  await page.goto(`${base}/queue.html?qcmd=next`);
  assert.equal(await noticeAfterCommand(), 'Skipped to next track.');
}

test('the queue shows its states, and Stop and an empty queue are told plainly', async () => {
  await fillTheQueue();
  await page.goto(`${base}/queue.html`);
  assert.equal(await page.locator('tr.q_alreadyplayed').count(), 1);
  assert.equal(await page.locator('tr.q_current').count(), 1);
  await page.goto(`${base}/queue.html?qcmd=stop`);
  await noticeAfterCommand();
  assert.equal((await page.locator('.player .state').innerText()).replace('The player is', '').trim(), 'Stopped');
  await page.goto(`${base}/queue.html?qcmd=clear`);
  await noticeAfterCommand();
  await page.goto(`${base}/queue.html?qcmd=play`);
  assert.equal(await noticeAfterCommand(), 'Nothing to play: the queue is empty.');
});

// ---- contrast ----

// The contrast ratio of an element's text against what lies behind it.
function contrastOf(element) {
  const parse = (text) => {
    const m = text.match(/rgba?\(([\d.]+)[ ,]+([\d.]+)[ ,]+([\d.]+)(?:[ ,/]+([\d.]+)(%)?)?\)/);
    if (!m) return null;
    let a = m[4] === undefined ? 1 : Number(m[4]);
    if (m[5]) a /= 100;
    return [Number(m[1]), Number(m[2]), Number(m[3]), a];
  };
  const over = (top, below) => top.slice(0, 3).map((c, i) => c * top[3] + below[i] * (1 - top[3])).concat(1);
  const layers = [];
  for (let node = element; node; node = node.parentElement) {
    const c = parse(getComputedStyle(node).backgroundColor);
    if (c && c[3] > 0) layers.push(c);
    if (c && c[3] === 1) break;
  }
  let back = [255, 255, 255, 1];
  for (const layer of layers.reverse()) back = over(layer, back);
  const text = over(parse(getComputedStyle(element).color), back);
  const lum = (c) => {
    const [r, g, b] = c.slice(0, 3).map((v) => { const s = v / 255; return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4; });
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
  };
  const [hi, lo] = [lum(text), lum(back)].sort((x, y) => y - x);
  return (hi + 0.05) / (lo + 0.05);
}

test('the named elements reach a contrast of 4.5:1 in both schemes', async () => {
  await fillTheQueue();
  // An album page whose lead links to its artist: a link on the page's own background.
  await page.goto(`${base}/tracks.html`);
  await page.locator('table.tracks tbody td.c-album a').filter({ hasText: /\S/ }).first().click();
  await page.waitForURL(/album\.html/);
  const albumUrl = page.url();
  const checks = [
    [`${base}/queue.html`, 'nav.sections a[aria-current="page"]', 'the current section'],
    [`${base}/queue.html`, 'tr.q_alreadyplayed .status', '"Already Played"'],
    [`${base}/queue.html`, 'tr.q_alreadyplayed td.num', 'a played row\'s number'],
    [`${base}/queue.html`, 'tr.q_current td a', 'the current row\'s link'],
    [albumUrl, 'p.lead a', 'a link on the page background'],
    [`${base}/tracks.html`, 'table.tracks tbody td.c-title a', 'a link in a table'],
  ];
  for (const scheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme: scheme });
    for (const [url, selector, what] of checks) {
      await page.goto(url);
      const ratio = await page.locator(selector).first().evaluate(contrastOf);
      assert.ok(ratio >= 4.5, `${what} (${scheme}): ${ratio.toFixed(2)}:1`);
    }
  }
  await page.emulateMedia({ colorScheme: 'light' });
});

// ---- phones ----

test('on a phone every action is reachable and the current section shows', async () => {
  await fillTheQueue();
  await page.setViewportSize(phone);
  try {
    for (const [url, actions] of [['/tracks.html', 'td.ops a'], ['/queue.html', 'td.ops a'], ['/artists.html', '.names a.button']]) {
      await page.goto(base + url);
      await expectWholePage();
      const width = await page.evaluate(() => document.documentElement.scrollWidth);
      assert.ok(width <= phone.width, `${url}: no sideways scrolling (${width} px wide)`);
      const targets = await page.locator(`${actions}, .player button, nav.sections a, th a`).evaluateAll((all) =>
        all.filter((e) => e.offsetParent !== null).map((e) => {
          const r = e.getBoundingClientRect();
          return { text: e.innerText.trim(), left: r.left, right: r.right, height: r.height, width: r.width };
        }));
      assert.ok(targets.length > 0);
      for (const t of targets) {
        assert.ok(t.left >= 0 && t.right <= phone.width, `${url}: "${t.text}" within the screen (${t.left}..${t.right})`);
        assert.ok(t.height >= 44 && t.width >= 44, `${url}: "${t.text}" is a target of 44 px (${t.width}x${t.height})`);
      }
      const current = await page.locator('nav.sections a[aria-current="page"]').boundingBox();
      assert.ok(current.x >= 0 && current.x + current.width <= phone.width && current.y + current.height <= phone.height,
        `${url}: the current section is on the screen`);
      const bars = await page.locator('main').boundingBox();
      assert.ok(bars.y < phone.height / 3, `${url}: the header and bars take ${bars.y} px of ${phone.height}`);
    }
  } finally {
    await page.setViewportSize(desk);
  }
});

// ---- screenshots ----

test('screenshots at desk and phone width', async () => {
  mkdirSync(shots, { recursive: true });
  const views = [
    ['desk', desk, 'light'], ['desk-dark', desk, 'dark'], ['phone', phone, 'light'], ['phone-dark', phone, 'dark'],
  ];
  for (const [tag, viewport, scheme] of views) {
    await page.setViewportSize(viewport);
    await page.emulateMedia({ colorScheme: scheme });
    for (const [name, url] of [['overview', '/'], ['tracks', '/tracks.html?larg1=title'], ['queue', '/queue.html'],
      ['search', '/search.html?larg1=quick&larg2=a']]) {
      await page.goto(base + url);
      await expectWholePage();
      await page.screenshot({ path: join(shots, `${tag}-${name}.png`), fullPage: false });
    }
  }
  await page.setViewportSize(desk);
  await page.emulateMedia({ colorScheme: 'light' });
});
