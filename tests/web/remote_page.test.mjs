// The web remote in the system's headless chromium against the real controller, started by
// web_remote_test.sh in demo mode on loopback inside the test's own network namespace.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { AxePuppeteer } from '@axe-core/puppeteer';
import puppeteer from 'puppeteer-core';

// With SCHEME https, SPKI pins the controller's own certificate in the browser (base64 of the
// SHA-256 of its public key); Node trusts it through NODE_EXTRA_CA_CERTS.
const { ZENTROVA, TOKEN, SETTINGS, PORT = '7741', CHROMIUM = '/usr/bin/chromium', SCHEME = 'http', SPKI } = process.env;
const base = `${SCHEME}://127.0.0.1:${PORT}`;
let controller, browser;

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
    if (await fetch(`${base}/`).then((reply) => reply.ok, () => false)) return;
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

// The demo installation's first displays and sources, as it names them.
const RX = (n) => `IPD9DEMO-7C2E0DFE000${n}`;
const TX = (n) => `IPE9DEMO-7C2E0DFF000${n}`;
const GONE = 'IPE9DEMO-7C2E0DFFDEAD';

// A scene whose second display is to show a source the installation no longer has: the
// controller refuses that one and confirms the others, as a decoder refusing would.
function seedSettings() {
  const settings = JSON.parse(readFileSync(SETTINGS, 'utf8'));
  settings.scenes = [{ name: 'Morning', sources: { [RX(1)]: TX(2), [RX(2)]: GONE, [RX(4)]: TX(3) } }];
  settings.schedules = [{ name: 'Weekdays', action: 'scene', scene: 'Morning', time: '08:00', weekdays: [1, 2, 3, 4, 5], enabled: true }];
  writeFileSync(SETTINGS, JSON.stringify(settings));
}

async function openPage(width, height, language = 'en-US') {
  const page = await browser.newPage();
  // Under the mutation tool the page's scripts carry every mutant, and the one to play is
  // named in this process's environment, which the browser cannot read.
  const mutant = process.env.__STRYKER_ACTIVE_MUTANT__;
  if (mutant) await page.evaluateOnNewDocument((id) => (globalThis.__stryker__ = { activeMutant: id }), mutant);
  // The browser's language, and the controller's events as a test needs them (a display going
  // offline, one drifting), handed to the page's socket as if they had come over it.
  await page.evaluateOnNewDocument((language) => {
    Object.defineProperty(navigator, 'languages', { get: () => [language] });
    const Native = window.WebSocket;
    window.WebSocket = class extends Native {
      constructor(...args) {
        super(...args);
        window.controllerSocket = this;
      }
    };
    window.pushEvent = (name, data) => window.controllerSocket.dispatchEvent(
      new MessageEvent('message', { data: JSON.stringify({ jsonrpc: '2.0', method: 'event', params: { name, data } }) }));
  }, language);
  page.problems = [];
  page.on('pageerror', (error) => page.problems.push(String(error)));
  page.on('console', (message) => message.type() === 'error' && page.problems.push(message.text()));
  await page.setViewport({ width, height, isMobile: width < 600, hasTouch: true, deviceScaleFactor: 2 });
  return page;
}

async function signIn(page, token, remember = false) {
  await page.goto(`${base}/`);
  await page.evaluate(() => localStorage.clear());
  await page.reload();
  await (await page.waitForSelector('#token', { visible: true })).type(token);
  if (remember) await page.click('#remember');
  await page.click('#sign-in-form button[type=submit]');
}

const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
const storedToken = (page) => page.evaluate(() => localStorage.getItem('zentrova.token'));
// Waits until the card of NAME shows DETAIL (the alias of the source it shows).
const showing = (page, name, detail) => page.waitForFunction((name, detail) =>
  document.querySelector(`:is(#decoders, #walls) li[data-name="${name}"] .detail`).textContent === detail, {}, name, detail);

before(async () => {
  seedSettings();
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

// A controller that does not hold the token (one that only pretends to be the site's) takes
// any proof and says "signed in"; the page must see through its signature and give it nothing.
function playForgedController() {
  window.WebSocket = class extends EventTarget {
    constructor() {
      super();
      setTimeout(() => this.answer({ method: 'hello', params: { salt: 'c2FsdA==', challenge: 'Y2hhbGxlbmdl' } }));
    }
    answer(message) {
      this.onmessage?.({ data: JSON.stringify({ jsonrpc: '2.0', ...message }) });
    }
    send(text) {
      const { id, method } = JSON.parse(text);
      const signedIn = { server: 'Zm9yZ2Vk', ticket: 'forged', user: { name: 'admin', role: 'admin' } };
      this.answer({ id, result: method === 'auth' ? signedIn : { decoders: [], encoders: [], walls: [] } });
    }
    close() {}
  };
}

test('a refused token, or a controller that does not hold it, says so and keeps nothing', async (t) => {
  for (const forged of [false, true]) {
    await t.test(forged ? 'forged controller' : 'wrong token', async () => {
      const page = await openPage(390, 844);
      if (forged) await page.evaluateOnNewDocument(playForgedController);
      await signIn(page, forged ? TOKEN : 'not-the-token', true);
      await page.waitForSelector('#sign-in-error:not([hidden])');
      assert.match(await text(page, '#sign-in-error'), /refused/);
      assert.equal(await storedToken(page), null);
      assert.deepEqual(page.problems.filter((p) => !p.includes('401')), []);
      await page.close();
    });
  }
});

test('over plain requests: thumbnails paced and only with a token, only the page\'s own files, typed, kept from other origins', async () => {
  const { encoders } = await api('state');
  const thumbnail = `${base}/thumbnail/${encodeURIComponent(encoders[0].name)}`;
  const bearer = { Authorization: `Bearer ${TOKEN}` };
  const good = await fetch(thumbnail, { headers: bearer });
  assert.deepEqual([good.status, good.headers.get('content-type'), good.headers.get('cache-control')],
    [200, 'image/jpeg', 'private, no-cache']);
  assert.deepEqual([...new Uint8Array(await good.arrayBuffer()).slice(0, 2)], [0xff, 0xd8]);
  const burst = await Promise.all([1, 2, 3].map(() => fetch(thumbnail, { headers: bearer })));
  assert.ok(burst.some((reply) => reply.status === 429), 'thumbnails are paced per client and encoder');
  for (const headers of [{}, { Authorization: 'Bearer wrong' }, { Authorization: 'Ticket made-up-0123456789abcdefghij' }])
    assert.deepEqual(await fetch(thumbnail, { headers }).then((r) => [r.status, r.headers.get('www-authenticate')]), [401, 'Bearer']);
  // Only the compiled-in files, however the path is spelt; a NUL in a path is refused, never cut at.
  for (const [path, status] of [['/thumbnail/nothing', 404], ['/..%2f..%2fetc%2fpasswd', 404], ['/../CMakeLists.txt', 404],
    ['/web/index.html', 404], ['/index.html/', 404], ['/%2e%2e/%2e%2e/etc/passwd', 404], ['//etc/passwd', 404],
    ['/icons/../../main.cpp', 404], ['/qml/main.qml', 404], ['/app.js%00.html', 400]])
    assert.equal((await fetch(`${base}${path}`, { headers: bearer })).status, status, path);
  const page = await fetch(`${base}/`);
  const policy = page.headers.get('content-security-policy');
  for (const rule of [/script-src 'self'/, /frame-ancestors 'none'/]) assert.match(policy, rule);
  assert.doesNotMatch(policy, /unsafe-inline|unsafe-eval|\*/);
  assert.equal(page.headers.get('x-frame-options'), 'DENY');
  assert.doesNotMatch(await page.text(), /<script>|<script [^>]*>[^<]/);
  assert.equal((await fetch(`${base}/`, { method: 'POST' })).status, 405);
  assert.equal((await fetch(`${base}/`, { headers: { Origin: 'http://evil.example' } })).status, 403);
  assert.equal((await fetch(thumbnail, { headers: { ...bearer, Origin: `http://localhost.evil:${PORT}` } })).status, 403);

  // Installable: the manifest and icons with their types.
  const manifest = await fetch(`${base}/manifest.webmanifest`);
  assert.equal(manifest.headers.get('content-type'), 'application/manifest+json');
  const { icons, start_url: start, display } = await manifest.json();
  assert.deepEqual([display, (await fetch(new URL(start, `${base}/`))).status], ['standalone', 200]);
  for (const { src, type } of [...icons, { src: 'sw.js', type: 'text/javascript; charset=utf-8' }])
    assert.deepEqual(await fetch(`${base}/${src}`).then((r) => [r.status, r.headers.get('content-type')]), [200, type], src);
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
  assert.deepEqual(await page.evaluate(() => ['#encoders .tile', '#decoders .card', '#walls .card']
    .map((cards) => document.querySelectorAll(cards).length)), [state.encoders.length, state.decoders.length, state.walls.length]);

  // Live thumbnails: the visible tiles get the encoder's JPEG.
  await page.waitForFunction(() => [...document.querySelectorAll('#encoders img')].some((img) => img.src.startsWith('blob:') && img.naturalWidth > 0));
  const pictures = sent.filter(({ url }) => url.includes('/thumbnail/'));
  assert.ok(pictures.length > 0 && pictures.every(({ headers }) => /^Ticket [\w-]{20,}$/.test(headers.authorization)), JSON.stringify(pictures));
  assert.ok(frames.some((frame) => frame.includes('"proof"')), 'the page signs in over the WebSocket');
  for (const carried of [...sent.map((request) => JSON.stringify(request)), ...frames])
    assert.ok(!carried.includes(TOKEN), `the token left the page: ${carried}`);

  // To a display, and to a wall, by two taps; then another client routes, and the page follows.
  const routed = [[state.encoders[3], state.decoders.find((d) => !d.wall).name], [state.encoders[5], state.walls[0].name]];
  for (const [source, target] of routed) {
    await page.tap(`#encoders li[data-name="${source.name}"] button`);
    assert.match(await text(page, '#picker-text'), new RegExp(source.alias));
    await page.tap(`li[data-name="${target}"] button`);
    await showing(page, target, source.alias);
    const now = await api('state');
    assert.equal([...now.decoders, ...now.walls].find((d) => d.name === target).source, source.name);
  }
  await api('route', { source: state.encoders[7].name, target: routed[0][1] });
  await showing(page, routed[0][1], state.encoders[7].alias);
  await api('numbers', { show: true });
  await page.waitForSelector('#numbers[aria-pressed="true"]');
  await page.tap('#numbers');
  await page.waitForSelector('#numbers[aria-pressed="false"]');
  assert.equal((await api('state')).numbers, false);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('scenes: the recall reports the refused display, and Retry sends again only to it', async () => {
  const page = await openPage(390, 844);
  await signIn(page, TOKEN);
  await (await page.waitForSelector('#scenes li[data-name="Morning"] button')).tap();
  await page.waitForSelector('#retry:not([hidden])');
  assert.match(await text(page, '#picker-text'), /Morning: 2 of 3 screens confirmed/);
  assert.deepEqual(await page.$$eval('#recall-failed li', (items) => items.map((li) => li.textContent)), ['RX - 2: refused']);
  const sourceOf = async (name) => (await api('state')).decoders.find((d) => d.name === name).source;
  assert.equal(await sourceOf(RX(1)), TX(2));

  // Someone routes a confirmed display elsewhere: Retry must leave it alone.
  await api('route', { source: TX(7), target: RX(1) });
  await page.tap('#retry');
  await page.waitForFunction(() => /Morning: 0 of 1 screens confirmed/.test(document.querySelector('#picker-text').textContent));
  assert.equal(await sourceOf(RX(1)), TX(7));
  assert.deepEqual((await api('scene.report')).failed.map((f) => f.decoder), [RX(2)]);
  await page.tap('#report-close');
  await page.waitForSelector('#retry', { hidden: true });

  // A scene saved elsewhere appears, lit as the live routing equals it.
  await api('scene.save', { name: 'Now' });
  await page.waitForSelector('#scenes li[data-name="Now"] button[aria-pressed="true"]');
  assert.equal(await page.$eval('#scenes li[data-name="Morning"] button', (b) => b.getAttribute('aria-pressed')), 'false');

  // The schedule with its next run, switched off by the admin.
  assert.match(await text(page, '#schedules li[data-name="Weekdays"] .detail'), /^Next: /);
  await page.tap('#schedules li[data-name="Weekdays"] button[role="switch"]');
  await page.waitForSelector('#schedules li[data-name="Weekdays"] button[aria-checked="false"]');
  assert.equal((await api('schedule.list'))[0].enabled, false);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('walls as they hang, power for a wall reaches only it, each user sees only their own', async () => {
  await api('wall.create', { name: 'Lectern wall', columns: 2, rows: 1, members: [RX(3), RX(4)] });
  const page = await openPage(1024, 768);
  await signIn(page, TOKEN);
  const { walls, decoders } = await api('state');
  const wall = walls.find((w) => w.alias === 'Lectern wall');
  await (await page.waitForSelector(`#walls li[data-name="${wall.name}"] button`)).click();
  await page.waitForSelector('#screen-view[open]');
  const member = (name) => decoders.find((d) => d.name === name);
  assert.deepEqual(await page.$$eval('#wall-cells li', (items) => items.map((li) =>
    [li.dataset.name, li.querySelector('.name').textContent, li.querySelector('.number').textContent, li.dataset.state])),
  wall.members.map((name) => [name, member(name).alias, `#${member(name).number}`, 'online']));
  assert.equal(await page.$eval('#screen-mixed', (p) => p.hidden), true);

  await page.evaluate((name) => window.pushEvent('device.offline', { kind: 'decoder', name, alias: 'RX - 4' }), RX(4));
  await page.waitForSelector(`#wall-cells li[data-name="${RX(4)}"][data-state="offline"]`);
  assert.match(await text(page, `#walls li[data-name="${wall.name}"] .marker`), /1 offline/);
  assert.match(await text(page, `#decoders li[data-name="${RX(4)}"] .marker`), /Offline/);
  await page.evaluate((name) => window.pushEvent('drift', { kind: 'decoder', name, alias: 'RX - 3', drifted: true }), RX(3));
  await page.waitForSelector(`#wall-cells li[data-name="${RX(3)}"][data-state="drifted"]`);
  await page.evaluate((name, source) => window.pushEvent('source', { kind: 'decoder', name, alias: 'RX - 3', source }), RX(3), TX(9));
  await page.waitForSelector('#screen-mixed:not([hidden])');
  await page.click('#screen-off');
  await page.waitForFunction(() => !document.querySelector('#toast').hidden);
  assert.deepEqual((await api('state')).power, { on: false, targets: [wall.name] });
  await page.close();

  // Each user is offered only what the controller would take from them: a viewer no routing,
  // power or scenes; an operator limited to the wall and one display only those, their
  // sources, the scenes that stay inside them, and "all displays" as their own.
  const viewer = (await api('users.add', { name: 'Lobby screen', role: 'viewer' })).credential;
  const operator = (await api('users.add', { name: 'Lectern', role: 'operator', screens: [wall.name, RX(1)], sources: [TX(1), TX(2)] })).credential;
  const seen = await openPage(1024, 768);
  await signIn(seen, viewer);
  await seen.waitForSelector('#encoders .tile');
  assert.deepEqual(await seen.$$eval('#actions, #picker, section.scenes', (all) => all.map((e) => e.hidden)), [true, true, true]);
  assert.equal(await seen.$$eval('#decoders .card', (cards) => cards.length), decoders.length);
  // Two scenes of the operator's sources, one on their display and one on another's.
  for (const [source, target, scene] of [[TX(1), RX(1), 'Lectern'], [TX(2), RX(2), 'Hall']]) {
    await api('route', { source, target });
    await api('scene.save', { name: scene, targets: [target] });
  }
  const limited = await openPage(1024, 768);
  await signIn(limited, operator);
  await limited.waitForSelector('#schedules li[data-name="Weekdays"]');
  const names = (selector) => limited.$$eval(selector, (items) => items.map((li) => li.dataset.name || li.className));
  assert.deepEqual([await names('#walls li'), await names('#decoders li'), await names('#encoders li'), await names('#scenes li')],
    [[wall.name], [RX(1), RX(3), RX(4)], [TX(1), TX(2)], ['Lectern']]);
  assert.equal(await limited.$eval('#numbers', (button) => button.hidden), true);
  const before = JSON.stringify((await api('state')).power);
  await limited.click('#power-off');
  let power;
  for (let i = 0; i < 100 && JSON.stringify(power = (await api('state')).power) === before; ++i) await new Promise((go) => setTimeout(go, 50));
  assert.deepEqual(power, { on: false, targets: [wall.name, RX(1)] });
  for (const name of ['Lobby screen', 'Lectern']) await api('users.revoke', { name });
  for (const name of ['Lectern', 'Hall']) await api('scene.delete', { name });
  await api('wall.delete', { name: wall.name });
  // Two pages of one address share the thumbnails' pace: a 429 is the pace, not a fault.
  assert.deepEqual([...seen.problems, ...limited.problems].filter((p) => !/\b(401|429)\b/.test(p)), []);
  await seen.close();
  await limited.close();
});

// No serious or critical accessibility violation on the page as it stands.
async function checkAccessibility(page, where) {
  const { violations } = await new AxePuppeteer(page).withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']).analyze();
  const bad = violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(bad.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`), [], where);
}

test('no serious accessibility problem on any screen, in English and Chinese', async () => {
  const wall = await api('wall.create', { name: 'Check wall', columns: 2, rows: 1, members: [RX(3), RX(4)] });
  for (const [language, words] of [['en-US', /Sign in/], ['zh-CN', /登录/]]) {
    const page = await openPage(390, 844, language);
    await page.goto(`${base}/`);
    await page.waitForSelector('#token', { visible: true });
    assert.match(await text(page, '#sign-in-form h1'), words);
    await checkAccessibility(page, `${language} sign-in`);
    await signIn(page, TOKEN);
    // Each screen as taps open it: the remote, a recall's report, a wall.
    for (const [where, taps, shown] of [['remote', [], '#scenes li[data-name="Morning"] button'],
      ['recall report', ['#scenes li[data-name="Morning"] button'], '#retry:not([hidden])'],
      ['wall', ['#report-close', `#walls li[data-name="${wall.name}"] button`], '#screen-view[open]']]) {
      for (const tap of taps) await page.tap(tap);
      await page.waitForSelector(shown);
      await checkAccessibility(page, `${language} ${where}`);
    }
    await page.close();
  }
  await api('wall.delete', { name: wall.name });
});

test('pairing: the code from the window signs a phone in with the chosen role, once; revoked, it is out', async () => {
  const opened = await api('users.pair', { role: 'operator', screens: [RX(1)] });
  assert.equal(new URL(opened.link).hash, `#pair=${opened.code}`);
  const page = await openPage(390, 844);
  // As the QR code opens it: straight into the remote, the code gone from the address.
  await page.goto(`${base}/#pair=${opened.code}`);
  await page.waitForSelector('#link[data-state=ready]');
  assert.equal(page.url(), `${base}/`);
  assert.notEqual(await storedToken(page), null);
  const paired = (await api('users.list')).find((user) => user.last_sign_in && user.name.startsWith('device-'));
  assert.deepEqual([paired?.role, paired?.screens], ['operator', [RX(1)]]);

  // Revoked at the window: the open WebSocket is closed, and the page is back at the sign-in.
  await api('users.revoke', { name: paired.name });
  await page.waitForSelector('#sign-in', { visible: true });
  assert.equal(await storedToken(page), null);

  // The same link again: the code is spent.
  await page.goto(`${base}/#pair=${opened.code}`);
  await page.waitForFunction(() => /wrong, used or expired/.test(document.querySelector('#sign-in-error:not([hidden])')?.textContent));
  assert.equal(await storedToken(page), null);

  // A code typed where a token goes, grouped as the window shows it; a token with ten digits
  // among its letters is still a token.
  assert.deepEqual(await page.evaluate(async () => ['012 345-6789', 'a0123456789', '0123456789b', '012 345 678']
    .map((await import('/pairing.js')).isPairingCode)), [true, false, false, false]);
  const typed = await api('users.pair', { role: 'viewer', name: 'Reception tablet' });
  await signIn(page, `${typed.code.slice(0, 3)} ${typed.code.slice(3, 6)} ${typed.code.slice(6)}`);
  await page.waitForSelector('#link[data-state=ready]');
  const tablet = (await api('users.list')).find((user) => user.name === 'Reception tablet');
  assert.deepEqual([tablet.role, Boolean(tablet.last_sign_in)], ['viewer', true]);
  assert.deepEqual(page.problems.filter((p) => !/40[13]/.test(p)), []);
  await api('users.revoke', { name: 'Reception tablet' });
  await page.close();
});

test('the controller goes away and comes back: the page says so and reconnects', async () => {
  const page = await openPage(1024, 768);
  await signIn(page, TOKEN, true);
  await page.evaluate(() => navigator.serviceWorker.ready);
  // A thumbnail shown first: the kept files must not take it in.
  await page.waitForFunction(() => [...document.querySelectorAll('#encoders img')].some((img) => img.naturalWidth > 0));
  await stopController();
  await page.waitForSelector('#banner:not([hidden])');
  assert.match(await text(page, '#banner'), /cannot be reached/);
  // Opened again without the controller: the kept page starts and says it is waiting.
  await page.reload();
  await page.waitForFunction(() => /cannot be reached/.test(document.querySelector('#banner').textContent));
  const pairing = await page.evaluate(() => import('/pairing.js').then((m) => m.tradeCode('0123456789')).catch((e) => e.text));
  assert.equal(pairing, 'unreachable');
  const kept = await page.evaluate(async () => {
    const cache = await caches.open('zentrova-page');
    return Promise.all((await cache.keys()).map(async (r) => [r.url, await (await cache.match(r)).text()]));
  });
  assert.ok(kept.some(([url]) => url.endsWith('/app.js')));
  assert.ok(kept.every(([url]) => !/\/(thumbnail|api|ws)(\/|$)/.test(url)), kept.map(([url]) => url).join(' '));
  assert.ok(kept.flat().every((carried) => !carried.includes(TOKEN)));
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
