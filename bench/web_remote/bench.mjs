// Figures for the web remote, never pass or fail: the page's files, its first load over TLS on
// a phone and a tablet profile, each signed in with a credential of its own paired by a code
// (bytes on the wire and time until the scenes and the installation show, in headless
// chromium) and the controller's added CPU while ten clients fetch 30 encoders' thumbnails
// twice a second as the page does.
// Run by run.sh, inside a network namespace of its own, against the demo installation.
import { readFileSync } from 'node:fs';
import { spawn } from 'node:child_process';
import https from 'node:https';
import puppeteer from '../../tests/web/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js';

const { ZENTROVA, TOKEN, CHROMIUM = '/usr/bin/chromium' } = process.env;
const base = 'https://127.0.0.1:7741';
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const ticks = (pid) => {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return Number(fields[11]) + Number(fields[12]); // utime + stime, in clock ticks (1/100 s)
};

const controller = spawn(ZENTROVA, ['--headless', '--demo', '--api'], { stdio: 'ignore' });
for (let i = 0; i < 100; ++i) {
  try { if ((await fetch(`${base}/`)).ok) break; } catch {}
  await sleep(100);
}
// Every file the page is made of, as compiled in.
const qrc = readFileSync(new URL('../../src/web/web.qrc', import.meta.url), 'utf8');
const files = [...qrc.matchAll(/<file(?: alias="([^"]+)")?>([^<]+)<\/file>/g)].map(([, alias, path]) => alias || path);
const sizes = [];
for (const file of files) sizes.push((await (await fetch(`${base}/${file}`)).arrayBuffer()).byteLength);
console.log(`page files: ${files.length}, ${(sizes.reduce((a, b) => a + b, 0) / 1024).toFixed(1)} KiB uncompressed`);

// Each profile is a device paired as a phone is: a one-time code traded for a credential.
const pairedCredential = async (name) => {
  const call = await fetch(`${base}/api/command`, {
    method: 'POST', headers: { Authorization: `Bearer ${TOKEN}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ jsonrpc: '2.0', id: 1, method: 'users.pair', params: { role: 'operator', name } }),
  });
  const { code } = (await call.json()).result;
  const traded = await fetch(`${base}/api/pair`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ code }) });
  return (await traded.json()).credential;
};

const browser = await puppeteer.launch({ executablePath: CHROMIUM, args: ['--no-sandbox', '--disable-gpu', '--ignore-certificate-errors'] });
try {
  // A phone is slower than this machine: its profile runs the page at a quarter of the CPU.
  for (const [width, height, profile, slowdown] of [[390, 844, 'phone', 4], [1024, 768, 'tablet', 1]]) {
    const page = await browser.newPage();
    await page.setViewport({ width, height, isMobile: profile === 'phone', hasTouch: true, deviceScaleFactor: profile === 'phone' ? 3 : 2 });
    await page.goto(`${base}/`);
    await page.evaluate((credential) => localStorage.setItem('zentrova.token', credential), await pairedCredential(profile));
    const client = await page.createCDPSession();
    await client.send('Network.enable');
    await client.send('Network.setCacheDisabled', { cacheDisabled: true });
    await client.send('Emulation.setCPUThrottlingRate', { rate: slowdown });
    let bytes = 0;
    client.on('Network.loadingFinished', (event) => { bytes += event.encodedDataLength; });
    client.on('Network.webSocketFrameReceived', (event) => { bytes += event.response.payloadData.length; });
    const started = performance.now();
    await page.reload();
    await page.waitForSelector('#encoders .tile');
    await page.waitForSelector('#scenes li');
    const shown = performance.now() - started;
    await sleep(1500); // the first thumbnails of the visible tiles
    console.log(`first load, ${profile} ${width}x${height} (CPU / ${slowdown}): scenes and installation shown after ${shown.toFixed(0)} ms; `
      + `${(bytes / 1024).toFixed(1)} KiB on the wire in the first 1.5 s, thumbnails and WebSocket included`);
    await page.close();
  }
} finally {
  await browser.close();
}

const { encoders } = await (await fetch(`${base}/api/state`, { headers: { Authorization: `Bearer ${TOKEN}` } })).json();
const seconds = 20;
const idleStart = ticks(controller.pid);
await sleep(seconds * 1000);
const idle = ticks(controller.pid) - idleStart;
let served = 0;
let unchanged = 0;
let failed = 0;
let paced = 0;
const until = performance.now() + seconds * 1000;
// Like a browser: at most six connections to the controller per client, kept alive.
const get = (agent, name, etag) => new Promise((resolve, reject) => {
  const headers = { Authorization: `Bearer ${TOKEN}` };
  if (etag) headers['If-None-Match'] = etag;
  https.get(`${base}/thumbnail/${encodeURIComponent(name)}`, { agent, headers }, (reply) => {
    reply.resume();
    reply.on('end', () => resolve(reply));
  }).on('error', reject);
});
const watch = async (agent, name) => {
  let etag = null;
  while (performance.now() < until) {
    const begun = performance.now();
    // A kept-alive connection the server has just closed fails once; browsers retry those.
    const reply = await get(agent, name, etag).catch(() => ({ statusCode: 0 }));
    if (reply.statusCode === 0) ++failed;
    else if (reply.statusCode === 429) ++paced;
    else if (reply.statusCode === 304) ++unchanged;
    else if (reply.statusCode === 200) { ++served; etag = reply.headers.etag; }
    await sleep(Math.max(0, 500 - (performance.now() - begun)));
  }
};
const busyStart = ticks(controller.pid);
// Ten devices: each from an address of its own (all of 127/8 is loopback).
const clients = Array.from({ length: 10 }, (_, i) => new https.Agent({ keepAlive: true, maxSockets: 6, localAddress: `127.0.0.${i + 2}` }));
await Promise.all(clients.map((agent) => encoders.slice(0, 30).map((e) => watch(agent, e.name))).flat());
const busy = ticks(controller.pid) - busyStart;
console.log(`10 clients x ${Math.min(30, encoders.length)} thumbnails at 2/s for ${seconds} s: ${served} pictures + ${unchanged} unchanged (304), ${paced} paced (429), ${failed} connection resets; `
  + `controller CPU ${(busy / seconds).toFixed(1)}% of a core, idle ${(idle / seconds).toFixed(1)}%, added ${((busy - idle) / seconds).toFixed(1)}%`);
controller.kill();
