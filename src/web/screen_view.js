// One screen opened: a display with its number and state, or a wall as it hangs, its grid of
// members (name, number, state) over the wall's live picture; either one switched on or off
// by itself.
import { tr } from './i18n.js';

// A member's state in a word, and the class its marker is drawn with.
export function screenState(decoder) {
  if (!decoder.online) return { word: tr('offline'), marker: 'offline' };
  if (decoder.drifted) return { word: tr('drifted'), marker: 'drifted' };
  return { word: tr('online'), marker: 'online' };
}

// A wall whose screens show different sources (a member routed alone, or one that kept
// another source).
export function wallMixed(members) {
  return new Set(members.map((member) => member.source ?? null)).size > 1;
}

export class ScreenView {
  // page: { api, access, state(), sourceAlias(name), thumbnails, toast(text, bad) }
  constructor(page) {
    this.page = page;
    this.name = null; // the decoder's or wall's name shown
    this.dialog = document.getElementById('screen-view');
    document.getElementById('screen-close').addEventListener('click', () => this.dialog.close());
    document.getElementById('screen-on').addEventListener('click', () => this.power(true));
    document.getElementById('screen-off').addEventListener('click', () => this.power(false));
    this.dialog.addEventListener('close', () => {
      this.name = null;
      this.page.thumbnails.forget(this.dialog.querySelector('.wall-picture'));
    });
  }

  open(name) {
    this.name = name;
    this.render();
    if (!this.dialog.open) this.dialog.showModal();
  }

  entry() {
    const { walls, decoders } = this.page.state();
    const wall = walls.find((w) => w.name === this.name);
    return wall ? { wall } : { decoder: decoders.find((d) => d.name === this.name) };
  }

  render() {
    if (!this.name) return;
    const { wall, decoder } = this.entry();
    const screen = wall || decoder;
    if (!screen) {
      this.dialog.close(); // gone from the installation
      return;
    }
    document.getElementById('screen-title').textContent = screen.alias;
    const members = wall ? this.members(wall) : [];
    const detail = [this.page.sourceAlias(screen.source)];
    if (wall) detail.push(`${wall.columns} × ${wall.rows}`);
    else detail.push(`#${decoder.number}`, screenState(decoder).word);
    document.getElementById('screen-detail').textContent = detail.join(' · ');
    document.querySelector('#screen-view .sheet-actions').hidden = !this.page.access.may('power');
    document.getElementById('screen-mixed').hidden = !(wall && wallMixed(members.filter(Boolean)));
    const grid = document.getElementById('wall-grid');
    grid.hidden = !wall;
    if (wall) this.renderGrid(wall, members);
  }

  members(wall) {
    const { decoders } = this.page.state();
    return wall.members.map((name) => (name ? decoders.find((d) => d.name === name) ?? null : null));
  }

  renderGrid(wall, members) {
    const grid = document.getElementById('wall-grid');
    const cells = document.getElementById('wall-cells');
    cells.style.gridTemplateColumns = `repeat(${wall.columns}, minmax(0, 1fr))`;
    cells.setAttribute('aria-label', tr('screensOf', wall.alias));
    cells.replaceChildren(...members.map((member, index) => {
      const cell = document.createElement('li');
      cell.className = 'cell';
      cell.dataset.index = String(index);
      if (!member) {
        cell.classList.add('empty');
        cell.textContent = tr('emptyCell');
        return cell;
      }
      const state = screenState(member);
      cell.dataset.name = member.name;
      cell.dataset.state = state.marker;
      cell.innerHTML = '<span class="name"></span><span class="number"></span><span class="marker"></span>';
      cell.querySelector('.name').textContent = member.alias;
      cell.querySelector('.number').textContent = `#${member.number}`;
      cell.querySelector('.marker').textContent = state.word;
      cell.querySelector('.marker').classList.add(state.marker);
      return cell;
    }));
    this.page.thumbnails.show(grid.querySelector('.wall-picture'), wall.source);
  }

  async power(on) {
    const { wall, decoder } = this.entry();
    const screen = wall || decoder;
    if (!screen) return;
    try {
      await this.page.api.call('power', { on, targets: [screen.name] });
      this.page.toast(tr(on ? 'switchedOn' : 'switchedOff', screen.alias));
    } catch (error) {
      this.page.toast(tr('failed', error.message), true);
    }
  }
}
