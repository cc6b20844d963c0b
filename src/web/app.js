// The web remote: sign in, then the installation's screens and sources; tap a source, then
// a screen, to route. Everything shown comes from the controller's state and its events.
import { ControllerApi, RATE_LIMITED } from './api.js';
import { LANGUAGES, chooseLanguage, languageName, tr } from './i18n.js';
import { Thumbnails } from './thumbnails.js';

const TOKEN_KEY = 'zentrova.token';
const TOAST_MS = 3000;
const $ = (id) => document.getElementById(id);

const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
const api = new ControllerApi(`${scheme}//${location.host}/ws`);
const thumbnails = new Thumbnails();
let state = { decoders: [], encoders: [], walls: [], power: null, numbers: null };
let picked = null; // the encoder name tapped last
let refreshTimer = 0;
let toastTimer = 0;

function storedToken() {
  return sessionStorage.getItem(TOKEN_KEY) || localStorage.getItem(TOKEN_KEY);
}

function forgetToken() {
  sessionStorage.removeItem(TOKEN_KEY);
  localStorage.removeItem(TOKEN_KEY);
}

function applyTexts() {
  for (const element of document.querySelectorAll('[data-text]')) element.textContent = tr(element.dataset.text);
  document.title = `zentrova · ${tr('title')}`;
  showLink();
  render();
}

function setUpLanguages() {
  const select = $('language');
  const current = chooseLanguage();
  for (const code of LANGUAGES) select.add(new Option(languageName(code), code, false, code === current));
  select.addEventListener('change', () => {
    chooseLanguage(select.value);
    applyTexts();
  });
}

function showLink() {
  const link = $('link');
  link.dataset.state = api.status;
  link.textContent = api.status === 'connecting' ? tr('connecting') : api.status === 'unreachable' ? tr('unreachable') : '';
  const signedIn = api.status !== 'idle' && api.status !== 'refused';
  $('sign-in').hidden = signedIn;
  $('control').hidden = !signedIn;
  $('sign-out').hidden = !signedIn;
  $('banner').hidden = api.status !== 'unreachable' && api.status !== 'connecting';
  $('banner').textContent = api.status === 'connecting' ? tr('connecting') : tr('unreachable');
  $('banner').classList.toggle('waiting', api.status === 'connecting');
  const error = $('sign-in-error');
  error.hidden = api.status !== 'refused';
  error.textContent = api.refusal === RATE_LIMITED ? tr('rateLimited') : tr('refused');
}

function byName(list, name) {
  return list.find((entry) => entry.name === name);
}

function sourceAlias(name) {
  if (!name) return tr('noSource');
  const encoder = byName(state.encoders, name);
  return encoder ? encoder.alias : name;
}

// Keeps one element per entry, keyed by name, so that pictures and focus survive updates.
function sync(list, entries, make, fill, emptyText) {
  const existing = new Map([...list.children].filter((li) => li.dataset.name).map((li) => [li.dataset.name, li]));
  const wanted = new Set(entries.map((entry) => entry.name));
  for (const [name, li] of existing) {
    if (!wanted.has(name)) {
      li.querySelectorAll('img[data-encoder]').forEach((img) => thumbnails.forget(img));
      li.remove();
    }
  }
  list.querySelector('.empty')?.remove();
  entries.forEach((entry, index) => {
    let li = existing.get(entry.name);
    if (!li) {
      li = document.createElement('li');
      li.dataset.name = entry.name;
      li.append(make(entry));
    }
    if (list.children[index] !== li) list.insertBefore(li, list.children[index] || null);
    fill(li.firstElementChild, entry);
  });
  if (entries.length === 0) {
    const li = document.createElement('li');
    li.className = 'empty';
    li.textContent = emptyText;
    list.append(li);
  }
}

function makeCard(kind) {
  return (entry) => {
    const button = document.createElement('button');
    button.className = 'card';
    button.dataset.kind = kind;
    button.innerHTML = '<img class="preview" alt=""><span><span class="name"></span><span class="detail"></span><span class="meta"></span></span>';
    button.addEventListener('click', () => routeTo(button.dataset.name, button.querySelector('.name').textContent));
    button.dataset.name = entry.name;
    return button;
  };
}

function fillScreen(button, entry, meta, blocked) {
  button.querySelector('.name').textContent = entry.alias;
  button.querySelector('.detail').textContent = sourceAlias(entry.source);
  const metaSpan = button.querySelector('.meta');
  metaSpan.textContent = entry.online ? meta : tr('offline');
  metaSpan.className = entry.online ? 'meta' : 'offline';
  button.disabled = blocked;
  button.classList.toggle('target', picked !== null && !blocked);
  thumbnails.show(button.querySelector('img'), entry.source);
}

function makeTile(entry) {
  const button = document.createElement('button');
  button.className = 'tile';
  button.innerHTML = '<img alt=""><span class="label"></span>';
  button.addEventListener('click', () => pick(entry.name));
  return button;
}

function fillTile(button, entry) {
  button.querySelector('.label').textContent = entry.alias;
  button.setAttribute('aria-pressed', String(picked === entry.name));
  button.classList.toggle('offline', !entry.online);
  button.title = entry.online ? entry.alias : `${entry.alias} · ${tr('offline')}`;
  thumbnails.show(button.querySelector('img'), entry.name);
}

function render() {
  sync($('walls'), state.walls, makeCard('wall'),
    (button, wall) => fillScreen(button, wall, `${wall.columns} × ${wall.rows}`, false), tr('noWalls'));
  sync($('decoders'), state.decoders, makeCard('decoder'), (button, decoder) => {
    const wall = decoder.wall ? byName(state.walls, decoder.wall) : null;
    const meta = wall ? tr('inWall', wall.alias) : `#${decoder.number}`;
    fillScreen(button, decoder, meta, Boolean(wall));
  }, tr('noDecoders'));
  sync($('encoders'), state.encoders, makeTile, fillTile, tr('noEncoders'));
  $('numbers').setAttribute('aria-pressed', String(state.numbers === true));
  const picking = picked !== null && byName(state.encoders, picked);
  $('picker').dataset.picking = String(Boolean(picking));
  $('picker-text').textContent = picking ? tr('pickTarget', picking.alias) : tr('pickSource');
  $('to-all').hidden = !picking;
  $('cancel').hidden = !picking;
}

function pick(name) {
  picked = picked === name ? null : name;
  render();
}

function toast(text, bad = false) {
  const element = $('toast');
  element.textContent = text;
  element.classList.toggle('bad', bad);
  element.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { element.hidden = true; }, TOAST_MS);
}

async function routeTo(target, targetText) {
  if (picked === null) return;
  const source = picked;
  try {
    await api.call('route', { source, target });
    toast(tr('routed', targetText, sourceAlias(source)));
    picked = null;
    render();
  } catch (error) {
    toast(tr('failed', error.message), true);
  }
}

async function command(method, params) {
  try {
    await api.call(method, params);
  } catch (error) {
    toast(tr('failed', error.message), true);
  }
}

// Structural changes come seldom: the whole state is fetched again, once for a burst.
function refreshSoon() {
  clearTimeout(refreshTimer);
  refreshTimer = setTimeout(async () => {
    try {
      state = await api.call('state');
      render();
    } catch {
      // A lost connection brings a fresh state when it comes back.
    }
  }, 100);
}

function onEvent({ name, data }) {
  const list = data.kind === 'wall' ? state.walls : data.kind === 'encoder' ? state.encoders : state.decoders;
  const entry = data.name ? byName(list, data.name) : null;
  if (name === 'source' && entry) entry.source = data.source;
  else if ((name === 'device.online' || name === 'device.offline') && entry) entry.online = name === 'device.online';
  else if (name === 'name' && entry) entry.alias = data.alias;
  else if (name === 'power') state.power = data;
  else if (name === 'numbers') state.numbers = data.show;
  else {
    refreshSoon();
    return;
  }
  render();
}

function signIn(token, remember) {
  forgetToken();
  (remember ? localStorage : sessionStorage).setItem(TOKEN_KEY, token);
  api.signIn(token);
}

function start() {
  setUpLanguages();
  api.addEventListener('status', () => {
    if (api.status === 'refused') forgetToken();
    thumbnails.setTicket(api.status === 'ready' ? api.ticket : null);
    showLink();
  });
  api.addEventListener('state', (event) => {
    state = event.detail;
    render();
    showLink();
  });
  api.addEventListener('event', (event) => onEvent(event.detail));
  $('sign-in-form').addEventListener('submit', (event) => {
    event.preventDefault();
    signIn($('token').value.trim(), $('remember').checked);
    $('token').value = '';
  });
  $('sign-out').addEventListener('click', () => {
    forgetToken();
    api.signOut();
    state = { decoders: [], encoders: [], walls: [], power: null, numbers: null };
    picked = null;
    render();
    showLink();
  });
  $('power-on').addEventListener('click', () => command('power', { on: true }));
  $('power-off').addEventListener('click', () => command('power', { on: false }));
  $('numbers').addEventListener('click', () => command('numbers', { show: state.numbers !== true }));
  $('to-all').addEventListener('click', () => routeTo('all', tr('allScreens')));
  $('cancel').addEventListener('click', () => pick(picked));
  applyTexts();
  const token = storedToken();
  if (token) api.signIn(token);
}

start();
