// The web interface as a person meets it: headless Chromium on a running trayhub with the
// Default skin. The test knows nothing of the player's content beyond what the pages show,
// so it runs on the demo player and on the in-memory one alike.
//
//   TOVARIN_URL         the manager's address, e.g. http://127.0.0.1:8047 (required)
//   TOVARIN_SCREENSHOT  where the screenshot goes (default build/browser/screenshot.png)
//   CHROMIUM            the browser (default /usr/bin/chromium)
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const base = (process.env.TOVARIN_URL ?? '').replace(/\/$/, '');
const screenshot = resolve(process.env.TOVARIN_SCREENSHOT ?? join(here, '../../build/browser/screenshot.png'));
const executablePath = process.env.CHROMIUM ?? '/usr/bin/chromium';

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
    viewport: { width: 1280, height: 900 },
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

  await openSection('Queue');
  const queued = await page.locator('table.queue tbody tr td:nth-child(2)').allInnerTexts();
  assert.ok(queued.map((t) => t.trim()).includes(track), `the queue holds ${track}`);
});

test('a search finds tracks', async () => {
  await openSection('Tracks');
  const artist = (await page.locator('table.tracks tbody td.c-artist').first().innerText()).trim();
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

test('every section renders, and a screenshot is saved', async () => {
  for (const name of ['Overview', 'Artists', 'Albums', 'Genres', 'Queue', 'Search', 'Skins']) await openSection(name);
  await openSection('Tracks');
  mkdirSync(dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot, fullPage: true });
});
