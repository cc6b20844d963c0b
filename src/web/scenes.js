// Scenes on the page: the saved scenes as large buttons (the one the live routing equals is
// lit), a recall's progress and then its report in the bottom bar, with Retry for the screens
// that did not confirm, and the schedules with their next run.
import { currentLanguage, tr } from './i18n.js';

const DAY_MS = 24 * 60 * 60 * 1000;

export class Scenes {
  // page: { api, access, toast(text, bad), changed() }
  constructor(page) {
    this.page = page;
    this.scenes = [];
    this.schedules = [];
    this.active = null;
    // The recall shown in the bottom bar: { name, done, total } while it runs, then the
    // report ({ name, confirmed, total, failed }) until the user closes it.
    this.recall = null;
    this.recallEvents = 0;
  }

  // The scenes and schedules as the controller has them; the caller shows them.
  async load() {
    try {
      [this.scenes, this.schedules] = await Promise.all([this.page.api.call('scene.list'), this.page.api.call('schedule.list')]);
    } catch {
      return; // a lost connection loads them again when it comes back
    }
    this.active = this.scenes.find((scene) => scene.active)?.name ?? null;
  }

  clear() {
    this.scenes = [];
    this.schedules = [];
    this.recall = null;
  }

  // The controller's scene events; true when the event was one of them.
  onEvent(name, data) {
    if (name === 'scene.active') this.active = data.name;
    else if (name === 'scene.recall.progress') this.recall = { name: data.name, done: data.done, total: data.total };
    else if (name === 'scene.recall.finished') this.recall = { ...data, finished: true };
    else if (name === 'scenes.changed' || name === 'schedule.missed') this.load().then(() => this.page.changed());
    else return false;
    if (name.startsWith('scene.recall.')) ++this.recallEvents;
    this.page.changed();
    return true;
  }

  // The controller refuses a limited user a scene that sets any screen or source not theirs.
  mayRecall(scene) {
    const { access } = this.page;
    return access.may('scene.recall') && Object.entries(scene.sources)
      .every(([screen, source]) => access.mine(screen) && (!source || access.source(source)));
  }

  start(scene) {
    return this.send('scene.recall', { name: scene.name });
  }

  retry() {
    return this.send('scene.retry', {});
  }

  async send(method, params) {
    const eventsBefore = this.recallEvents;
    try {
      const { name, total } = await this.page.api.call(method, params);
      // A recall that finishes at once has told its progress before this answer.
      if (this.recallEvents === eventsBefore) this.recall = { name, done: 0, total };
    } catch (error) {
      this.page.toast(tr('failed', error.message), true);
    }
    this.page.changed();
  }

  closeReport() {
    this.recall = null;
    this.page.changed();
  }

  async switchSchedule(schedule) {
    try {
      const changed = await this.page.api.call('schedule.enable', { name: schedule.name, enabled: !schedule.enabled });
      schedule.enabled = changed.enabled;
    } catch (error) {
      this.page.toast(tr('failed', error.message), true);
    }
    this.page.changed();
  }

  render(sync) {
    const scenes = this.scenes.filter((scene) => this.mayRecall(scene));
    document.getElementById('scenes').closest('section').hidden = !this.page.access.may('scene.recall');
    sync(document.getElementById('scenes'), scenes, () => {
      const button = document.createElement('button');
      button.className = 'scene';
      button.addEventListener('click', () => this.start(this.scenes.find((s) => s.name === button.parentElement.dataset.name)));
      return button;
    }, (button, scene) => {
      button.textContent = scene.name;
      button.setAttribute('aria-pressed', String(scene.name === this.active));
      button.disabled = Boolean(this.recall && !this.recall.finished);
    }, tr('noScenes'));
    sync(document.getElementById('schedules'), this.schedules, () => {
      const row = document.createElement('div');
      row.className = 'schedule';
      row.innerHTML = '<span><span class="name"></span><span class="detail"></span></span><span class="state"></span>'
        + '<button class="switch" role="switch"></button>';
      row.querySelector('.switch').addEventListener('click', () =>
        this.switchSchedule(this.schedules.find((s) => s.name === row.parentElement.dataset.name)));
      return row;
    }, (row, schedule) => {
      const what = schedule.action === 'scene' ? schedule.scene : tr(schedule.action === 'power_on' ? 'displaysOn' : 'displaysOff');
      const next = schedule.enabled ? nextRun(schedule, new Date()) : null;
      row.querySelector('.name').textContent = `${schedule.name} · ${what}`;
      row.querySelector('.detail').textContent = next ? tr('nextRun', formatWhen(next)) : schedule.enabled ? tr('notDue') : '';
      const onOff = tr(schedule.enabled ? 'scheduleOn' : 'scheduleOff');
      const button = row.querySelector('.switch');
      const maySwitch = this.page.access.may('schedule.enable');
      button.hidden = !maySwitch;
      button.textContent = onOff;
      button.setAttribute('aria-checked', String(schedule.enabled));
      button.setAttribute('aria-label', schedule.name);
      const state = row.querySelector('.state');
      state.hidden = maySwitch;
      state.textContent = onOff;
    }, tr('noSchedules'));
  }

  // The bottom bar's part while no source is picked: null when there is no recall to show.
  footer() {
    const recall = this.recall;
    if (!recall) return null;
    if (!recall.finished) return { text: tr('recalling', recall.name, recall.done, recall.total), done: recall.done, total: recall.total };
    const text = recall.failed.length === 0 ? tr('recallDone', recall.name, recall.total)
      : tr('recallPartial', recall.name, recall.confirmed, recall.total);
    return { text, failed: recall.failed.map((f) => `${f.alias}: ${tr(`${f.outcome}Outcome`)}`) };
  }
}

// A schedule's next due time on this device's clock: a weekly one on the first of its days
// whose time is still ahead, a one-off at its moment unless that has passed.
export function nextRun(schedule, now) {
  if (schedule.at) {
    const at = new Date(schedule.at);
    return at > now ? at : null;
  }
  const [hours, minutes] = schedule.time.split(':').map(Number);
  for (let days = 0; days <= 7; ++days) {
    const candidate = new Date(now.getTime() + days * DAY_MS);
    candidate.setHours(hours, minutes, 0, 0);
    const weekday = candidate.getDay() || 7; // 1 Monday to 7 Sunday, as the controller counts
    if (candidate > now && schedule.weekdays.includes(weekday)) return candidate;
  }
  return null;
}

function formatWhen(date) {
  return new Intl.DateTimeFormat(currentLanguage().replace('_', '-'), {
    weekday: 'short', month: 'numeric', day: 'numeric', hour: '2-digit', minute: '2-digit',
  }).format(date);
}
