// The web remote: sign in, then the installation's scenes, screens and sources; tap a source,
// then a screen, to route; tap a screen alone to open it. Everything shown comes from the
// controller's state and its events.
import { ControllerApi, RATE_LIMITED } from './api.js';
import { LANGUAGES, chooseLanguage, languageName, tr } from './i18n.js';
import { codeFromLink, isPairingCode, tradeCode } from './pairing.js';
import { Scenes } from './scenes.js';
import { ScreenView, screenState, wallMixed } from './screen_view.js';
import { Thumbnails } from './thumbnails.js';

const TOKEN_KEY = 'zentrova.token';
const TOAST_MS = 3000;
const $ = (id) => document.getElementById(id);

const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
const api = new ControllerApi(`${scheme}//${location.host}/ws`);
const thumbnails = new Thumbnails();
const EMPTY_STATE = { decoders: [], encoders: [], walls: [], power: null, numbers: null, scene: null };
let state = EMPTY_STATE;
let picked = null; // the encoder name tapped last
let refreshTimer = 0;
let toastTimer = 0;
let pairingRefusal = null; // the text for a pairing code that did not work
// What the signed-in user may do, as the sign-in told: the methods of their role, and the
// screens and sources they are limited to (null: all). The controller refuses the rest; the
// page offers only what it would take.
const access = {
  methods: [],
  screens: null,
  sources: null,
  may: (method) => access.methods.includes(method),
  // A screen granted, or a display of a wall granted.
  mine: (name) => access.screens === null || access.screens.includes(name)
    || access.screens.includes(byName(state.decoders, name)?.wall),
  source: (name) => access.sources === null || access.sources.includes(name),
};
const page = {
  api, access, thumbnails, toast, sourceAlias,
  state: () => state,
  changed: () => render(),
};
const scenes = new Scenes(page);
const screenView = new ScreenView(page);

function storedToken() {
  return sessionStorage.getItem(TOKEN_KEY) || localStorage.getItem(TOKEN_KEY);
}

function forgetToken() {
  sessionStorage.removeItem(TOKEN_KEY);
  localStorage.removeItem(TOKEN_KEY);
}

function applyTexts() {
  for (const element of document.querySelectorAll('[data-text]')) element.textContent = tr(element.dataset.text);
  for (const element of document.querySelectorAll('[data-label]')) element.setAttribute('aria-label', tr(element.dataset.label));
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
  error.hidden = api.status !== 'refused' && !pairingRefusal;
  error.textContent = pairingRefusal ? tr(pairingRefusal) : api.refusal === RATE_LIMITED ? tr('rateLimited') : tr('refused');
}

function setAccess(user) {
  access.methods = user?.methods ?? [];
  access.screens = user?.screens?.length ? user.screens : null;
  access.sources = user?.sources?.length ? user.sources : null;
}

// A limited user's "all": the API refuses it, so the page names their screens one by one.
function ownScreens() {
  return [...state.walls, ...state.decoders].filter((screen) => access.screens.includes(screen.name)).map((screen) => screen.name);
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
    button.innerHTML = '<img class="preview" alt=""><span><span class="name"></span><span class="detail"></span>'
      + '<span class="meta"></span><span class="marker"></span></span>';
    button.addEventListener('click', () => {
      if (picked === null) screenView.open(button.dataset.name);
      else routeTo(button.dataset.name, button.querySelector('.name').textContent);
    });
    button.dataset.name = entry.name;
    return button;
  };
}

// A screen's card: what it shows, its number or size, and a marker when it is offline,
// shows another source, or (a wall) has screens that are.
function fillScreen(button, entry, meta, marker, blocked) {
  button.querySelector('.name').textContent = entry.alias;
  button.querySelector('.detail').textContent = sourceAlias(entry.source);
  button.querySelector('.meta').textContent = meta;
  const markerSpan = button.querySelector('.marker');
  markerSpan.textContent = marker ? marker.word : '';
  markerSpan.className = `marker ${marker ? marker.marker : ''}`;
  button.dataset.state = marker ? marker.marker : 'online';
  button.disabled = picked !== null && blocked;
  button.classList.toggle('target', picked !== null && !blocked);
  if (picked === null) button.setAttribute('aria-haspopup', 'dialog');
  else button.removeAttribute('aria-haspopup');
  thumbnails.show(button.querySelector('img'), entry.source);
}

function wallMarker(wall) {
  if (!wall.online) return screenState(wall);
  const members = state.decoders.filter((decoder) => decoder.wall === wall.name);
  const offline = members.filter((member) => !member.online).length;
  if (offline > 0) return { word: tr('someOffline', offline), marker: 'offline' };
  if (members.some((member) => member.drifted) || wallMixed(members)) return { word: tr('mixed'), marker: 'drifted' };
  return null;
}

function makeTile(entry) {
  const button = document.createElement('button');
  button.className = 'tile';
  button.innerHTML = '<img alt=""><span class="label"></span>';
  button.addEventListener('click', () => access.may('route') && pick(entry.name));
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
  const mine = (entry) => access.mine(entry.name);
  sync($('walls'), state.walls.filter(mine), makeCard('wall'),
    (button, wall) => fillScreen(button, wall, `${wall.columns} × ${wall.rows}`, wallMarker(wall), false), tr('noWalls'));
  sync($('decoders'), state.decoders.filter(mine), makeCard('decoder'), (button, decoder) => {
    const wall = decoder.wall ? byName(state.walls, decoder.wall) : null;
    const meta = wall ? `#${decoder.number} · ${tr('inWall', wall.alias)}` : `#${decoder.number}`;
    const marker = screenState(decoder);
    fillScreen(button, decoder, meta, marker.marker === 'online' ? null : marker, Boolean(wall));
  }, tr('noDecoders'));
  sync($('encoders'), state.encoders.filter((entry) => access.source(entry.name)), makeTile, fillTile, tr('noEncoders'));
  scenes.render(sync);
  screenView.render();
  $('power-on').hidden = $('power-off').hidden = !access.may('power');
  // The numbers show on every screen at once: not for a user limited to some.
  $('numbers').hidden = !access.may('numbers') || access.screens !== null;
  $('actions').hidden = $('power-on').hidden && $('numbers').hidden;
  $('numbers').setAttribute('aria-pressed', String(state.numbers === true));
  renderFooter();
}

// The bottom bar: the routing prompt while a source is picked, else a recall's progress or
// report, else the hint.
function renderFooter() {
  const picking = picked !== null && byName(state.encoders, picked);
  const recall = picking ? null : scenes.footer();
  $('picker').hidden = !access.may('route') && !recall;
  $('picker').dataset.picking = String(Boolean(picking || recall));
  $('picker-text').textContent = picking ? tr('pickTarget', picking.alias) : recall ? recall.text : tr('pickSource');
  $('to-all').hidden = !picking;
  $('cancel').hidden = !picking;
  const progress = $('recall-progress');
  progress.hidden = !recall || recall.total === undefined;
  if (!progress.hidden) {
    progress.max = Math.max(1, recall.total);
    progress.value = recall.done;
    progress.setAttribute('aria-label', recall.text);
  }
  const failed = recall?.failed ?? [];
  $('recall-failed').hidden = failed.length === 0;
  $('recall-failed').replaceChildren(...failed.map((line) => Object.assign(document.createElement('li'), { textContent: line })));
  // A retry reaches every screen of the last recall, whoever started it: not for a user limited to some.
  $('retry').hidden = failed.length === 0 || access.screens !== null;
  $('report-close').hidden = !recall?.failed;
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
  const targets = target === 'all' && access.screens !== null ? ownScreens() : [target];
  try {
    for (const each of targets) await api.call('route', { source, target: each });
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
  if (scenes.onEvent(name, data)) return;
  const list = data.kind === 'wall' ? state.walls : data.kind === 'encoder' ? state.encoders : state.decoders;
  const entry = data.name ? byName(list, data.name) : null;
  if (name === 'source' && entry) entry.source = data.source;
  else if ((name === 'device.online' || name === 'device.offline') && entry) entry.online = name === 'device.online';
  else if (name === 'name' && entry) entry.alias = data.alias;
  else if (name === 'drift' && entry) entry.drifted = data.drifted;
  else if (name === 'power') state.power = data;
  else if (name === 'numbers') state.numbers = data.show;
  else {
    refreshSoon();
    return;
  }
  render();
}

function signIn(token, remember) {
  pairingRefusal = null;
  forgetToken();
  (remember ? localStorage : sessionStorage).setItem(TOKEN_KEY, token);
  api.signIn(token);
}

// A paired device keeps its credential: it is that device's own, and revoked on its own. A
// device paired before that opens the link again goes on with the credential it has.
async function pair(code, kept = null) {
  try {
    signIn(await tradeCode(code), true);
  } catch (error) {
    if (kept) {
      if (api.status === 'idle') api.signIn(kept);
      return;
    }
    pairingRefusal = error.text;
    showLink();
  }
}

function start() {
  setUpLanguages();
  api.addEventListener('status', () => {
    if (api.status === 'refused') forgetToken();
    thumbnails.setTicket(api.status === 'ready' ? api.ticket : null);
    showLink();
  });
  api.addEventListener('state', async (event) => {
    setAccess(api.user);
    state = event.detail;
    // The scenes are asked for before the first picture is drawn: drawing the installation
    // first would keep a slow phone busy while their answers wait.
    await scenes.load();
    render();
    showLink();
  });
  api.addEventListener('event', (event) => onEvent(event.detail));
  $('sign-in-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const typed = $('token').value.trim();
    $('token').value = '';
    if (isPairingCode(typed)) pair(typed);
    else signIn(typed, $('remember').checked);
  });
  $('sign-out').addEventListener('click', () => {
    forgetToken();
    api.signOut();
    state = EMPTY_STATE;
    scenes.clear();
    picked = null;
    render();
    showLink();
  });
  const power = (on) => command('power', access.screens === null ? { on } : { on, targets: ownScreens() });
  $('power-on').addEventListener('click', () => power(true));
  $('power-off').addEventListener('click', () => power(false));
  $('numbers').addEventListener('click', () => command('numbers', { show: state.numbers !== true }));
  $('to-all').addEventListener('click', () => routeTo('all', tr('allScreens')));
  $('cancel').addEventListener('click', () => pick(picked));
  $('retry').addEventListener('click', () => scenes.retry());
  $('report-close').addEventListener('click', () => scenes.closeReport());
  // The page's files are kept for a start without the controller where browsers allow it:
  // under HTTPS (and on the controller's own machine).
  if (window.isSecureContext && 'serviceWorker' in navigator) navigator.serviceWorker.register('sw.js');
  // A second code's link opened while the page is open reaches it as a new address only.
  window.addEventListener('hashchange', () => {
    const code = codeFromLink();
    if (code !== null) pair(code, storedToken());
  });
  applyTexts();
  const code = codeFromLink();
  const token = storedToken();
  if (code !== null) pair(code, token);
  else if (token) api.signIn(token);
}

start();
