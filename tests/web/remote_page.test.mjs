// The web remote in the system's headless chromium against the real controller, started by
// web_remote_test.sh in demo mode on loopback inside the test's own network namespace.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import http from 'node:http';
import https from 'node:https';
import puppeteer from 'puppeteer-core';

// With SCHEME https, SPKI pins the controller's own certificate in the browser (base64 of the
// SHA-256 of its public key); Node trusts it through NODE_EXTRA_CA_CERTS.
const { ZENTROVA, TOKEN, PORT = '7741', CHROMIUM = '/usr/bin/chromium', SHOTS, SCHEME = 'http', SPKI } = process.env;
const base = `${SCHEME}://127.0.0.1:${PORT}`;
let controller;
let browser;

function startController() {
  controller = spawn(ZENTROVA, ['--headless', '--demo', '--api'], { stdio: 'ignore' });
}

async function stopController() {
  const exited = new Promise((resolve) => controller.once('exit', resolve));
  controller.kill('SIGTERM');
  await exited;
}

async function waitForServer() {
  for (let i = 0; i < 100; ++i) {
    try {
      if ((await fetch(`${base}/`)).ok) return;
    } catch {}
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error('the controller does not answer');
}

async function api(method, params = {}) {
  const reply = await fetch(`${base}/api/command`, {
    method: 'POST',
    headers: { Authorization: `Bearer ${TOKEN}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ jsonrpc: '2.0', id: 1, method, params }),
  });
  const answer = await reply.json();
  assert.equal(answer.error, undefined, JSON.stringify(answer.error));
  return answer.result;
}

async function openPage(width, height, language = 'en-US') {
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(String(error)));
  page.on('console', (message) => message.type() === 'error' && problems.push(message.text()));
  await page.setViewport({ width, height, isMobile: width < 600, hasTouch: true, deviceScaleFactor: 2 });
  await page.setExtraHTTPHeaders({ 'Accept-Language': language });
  await page.evaluateOnNewDocument((lang) => {
    Object.defineProperty(navigator, 'languages', { get: () => [lang] });
  }, language);
  page.problems = problems;
  return page;
}

async function signIn(page, token, remember = false) {
  await page.goto(`${base}/`);
  await page.evaluate(() => localStorage.clear());
  await page.reload();
  await page.waitForSelector('#token', { visible: true });
  await page.type('#token', token);
  if (remember) await page.click('#remember');
  await page.click('#sign-in-form button[type=submit]');
}

const text = (page, selector) => page.$eval(selector, (element) => element.textContent);

before(async () => {
  startController();
  await waitForServer();
  browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-dev-shm-usage',
      ...(SPKI ? [`--ignore-certificate-errors-spki-list=${SPKI}`] : [])],
  });
});

after(async () => {
  await browser?.close();
  if (controller.exitCode === null) await stopController();
});

test('a refused token says so and keeps nothing', async () => {
  const page = await openPage(390, 844);
  await signIn(page, 'not-the-token', true);
  await page.waitForSelector('#sign-in-error:not([hidden])');
  assert.match(await text(page, '#sign-in-error'), /refused/);
  assert.equal(await page.evaluate(() => localStorage.getItem('zentrova.token')), null);
  assert.deepEqual(page.problems.filter((p) => !p.includes('401')), []);
  await page.close();
});

test('hostile requests: paths outside the page, wrong tokens, other origins', async () => {
  const { encoders } = await api('state');
  const thumbnail = `${base}/thumbnail/${encodeURIComponent(encoders[0].name)}`;
  const good = await fetch(thumbnail, { headers: { Authorization: `Bearer ${TOKEN}` } });
  assert.equal(good.status, 200);
  assert.equal(good.headers.get('content-type'), 'image/jpeg');
  const jpeg = new Uint8Array(await good.arrayBuffer());
  assert.deepEqual([jpeg[0], jpeg[1]], [0xff, 0xd8]);
  assert.match(good.headers.get('cache-control'), /no-cache/);
  const etag = good.headers.get('etag');
  await new Promise((resolve) => setTimeout(resolve, 250));
  const same = await fetch(thumbnail, { headers: { Authorization: `Bearer ${TOKEN}`, 'If-None-Match': etag } });
  assert.ok([200, 304].includes(same.status));
  const burst = await Promise.all([1, 2, 3].map(() => fetch(thumbnail, { headers: { Authorization: `Bearer ${TOKEN}` } })));
  assert.ok(burst.some((reply) => reply.status === 429), 'thumbnails are paced per client and encoder');
  for (const [headers, status] of [[{}, 401], [{ Authorization: 'Bearer wrong' }, 401], [{ Authorization: 'Ticket made-up-0123456789abcdefghij' }, 401]])
    assert.equal((await fetch(thumbnail, { headers })).status, status);
  assert.equal((await fetch(`${base}/thumbnail/nothing`, { headers: { Authorization: `Bearer ${TOKEN}` } })).status, 404);

  // Only the compiled-in files, however the path is spelt.
  for (const path of ['/..%2f..%2fetc%2fpasswd', '/../CMakeLists.txt', '/web/index.html', '/index.html/',
    '/%2e%2e/%2e%2e/etc/passwd', '//etc/passwd', '/icons/../../main.cpp', '/qml/main.qml']) {
    const reply = await fetch(`${base}${path}`);
    assert.equal(reply.status, 404, path);
  }
  // A NUL in a path is refused, never cut at and served as a shorter name.
  assert.equal((await fetch(`${base}/app.js%00.html`)).status, 400);
  const page = await fetch(`${base}/`);
  const policy = page.headers.get('content-security-policy');
  assert.match(policy, /script-src 'self'/);
  assert.match(policy, /frame-ancestors 'none'/);
  assert.doesNotMatch(policy, /unsafe-inline|unsafe-eval|\*/);
  assert.equal(page.headers.get('x-frame-options'), 'DENY');
  assert.doesNotMatch(await page.text(), /<script>|<script [^>]*>[^<]/);
  assert.equal((await fetch(`${base}/`, { method: 'POST' })).status, 405);
  assert.equal((await fetch(`${base}/`, { headers: { Origin: 'http://evil.example' } })).status, 403);
  assert.equal((await fetch(thumbnail, { headers: { Authorization: `Bearer ${TOKEN}`, Origin: `http://localhost.evil:${PORT}` } })).status, 403);
  const upgrade = await new Promise((resolve, reject) => {
    const request = (SCHEME === 'https' ? https : http).get(`${base}/ws`, {
      headers: { Origin: 'http://evil.example', Upgrade: 'websocket', Connection: 'Upgrade',
        'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ==', 'Sec-WebSocket-Version': '13' },
    });
    request.on('response', (reply) => { reply.resume(); resolve(reply.statusCode); });
    request.on('upgrade', (reply, socket) => { socket.destroy(); resolve(reply.statusCode); });
    request.on('error', reject);
  });
  assert.equal(upgrade, 403, 'a page of another origin gets no WebSocket');
});

test('sign in, see the installation, route by two taps, follow another client', async () => {
  const page = await openPage(390, 844);
  // Everything the page sends, to show that the token itself never leaves it.
  const sent = [];
  page.on('request', (request) => sent.push({ url: request.url(), headers: request.headers() }));
  const cdp = await page.target().createCDPSession();
  await cdp.send('Network.enable');
  const frames = [];
  cdp.on('Network.webSocketFrameSent', ({ response }) => frames.push(response.payloadData));
  await signIn(page, TOKEN);
  await page.waitForSelector('#encoders .tile');
  const state = await api('state');
  assert.equal(await page.$$eval('#encoders .tile', (t) => t.length), state.encoders.length);
  assert.equal(await page.$$eval('#decoders .card', (t) => t.length), state.decoders.length);
  assert.equal(await page.$$eval('#walls .card', (t) => t.length), state.walls.length);

  // Live thumbnails: the visible tiles get the encoder's JPEG.
  await page.waitForFunction(() => [...document.querySelectorAll('#encoders img')].some((img) => img.src.startsWith('blob:') && img.naturalWidth > 0));
  const pictures = sent.filter(({ url }) => url.includes('/thumbnail/'));
  assert.ok(pictures.length > 0);
  for (const { headers } of pictures) assert.match(headers.authorization, /^Ticket [A-Za-z0-9_-]{20,}$/);
  assert.ok(frames.some((frame) => frame.includes('"proof"')), 'the page signs in over the WebSocket');
  for (const carried of [...sent.map((request) => JSON.stringify(request)), ...frames])
    assert.ok(!carried.includes(TOKEN), `the token left the page: ${carried}`);

  const source = state.encoders[3];
  const decoder = state.decoders.find((d) => !d.wall);
  await page.tap(`#encoders li[data-name="${source.name}"] button`);
  assert.match(await text(page, '#picker-text'), new RegExp(source.alias));
  await page.tap(`#decoders li[data-name="${decoder.name}"] button`);
  await page.waitForFunction((name, alias) =>
    document.querySelector(`#decoders li[data-name="${name}"] .detail`).textContent === alias, {}, decoder.name, source.alias);
  assert.equal((await api('state')).decoders.find((d) => d.name === decoder.name).source, source.name);

  // To a wall, and to all screens.
  const wall = state.walls[0];
  await page.tap(`#encoders li[data-name="${state.encoders[5].name}"] button`);
  await page.tap(`#walls li[data-name="${wall.name}"] button`);
  await page.waitForFunction((name) => document.querySelector(`#walls li[data-name="${name}"] .detail`).textContent !== '', {}, wall.name);
  assert.equal((await api('state')).walls.find((w) => w.name === wall.name).source, state.encoders[5].name);

  // Another client routes: the page follows from the event.
  const other = state.encoders[7];
  await api('route', { source: other.name, target: decoder.name });
  await page.waitForFunction((name, alias) =>
    document.querySelector(`#decoders li[data-name="${name}"] .detail`).textContent === alias, {}, decoder.name, other.alias);
  await api('numbers', { show: true });
  await page.waitForSelector('#numbers[aria-pressed="true"]');
  await page.tap('#numbers');
  assert.equal((await page.waitForFunction(() => document.querySelector('#numbers').getAttribute('aria-pressed') === 'false')) !== null, true);
  assert.equal((await api('state')).numbers, false);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('the controller goes away and comes back: the page says so and reconnects', async () => {
  const page = await openPage(1024, 768);
  await signIn(page, TOKEN, true);
  await page.waitForSelector('#encoders .tile');
  await stopController();
  await page.waitForSelector('#banner:not([hidden])');
  assert.match(await text(page, '#banner'), /cannot be reached/);
  startController();
  await page.waitForSelector('#banner', { hidden: true, timeout: 20000 });
  await page.waitForSelector('#encoders .tile');
  // Remembered on the device: a new visit signs in by itself.
  const again = await browser.newPage();
  await again.goto(`${base}/`);
  await again.waitForSelector('#encoders .tile');
  await again.close();
  await page.close();
});

test('pictures for the note: phone and tablet, English and Chinese', { skip: !SHOTS }, async () => {
  for (const [language, tag] of [['en-US', 'en'], ['zh-CN', 'zh_CN'], ['zh-TW', 'zh_TW']]) {
    for (const [width, height, size] of [[390, 844, 'phone'], [1024, 768, 'tablet']]) {
      const page = await openPage(width, height, language);
      await signIn(page, TOKEN);
      await page.waitForSelector('#encoders .tile');
      // Pictures below the fold are not fetched until they are scrolled to.
      await page.tap('#encoders li:nth-child(2) button');
      await page.waitForFunction(() => [...document.querySelectorAll('#encoders img')].filter((img) => img.naturalWidth > 0).length >= 2);
      await new Promise((resolve) => setTimeout(resolve, 1000));
      await page.screenshot({ path: `${SHOTS}/remote-${size}-${tag}.png` });
      await page.close();
    }
  }
  const page = await openPage(390, 844, 'zh-CN');
  await page.goto(`${base}/`);
  await page.waitForSelector('#token', { visible: true });
  await page.screenshot({ path: `${SHOTS}/remote-phone-zh_CN-sign-in.png` });
  await page.close();
});
