// Stacje: every station from its retained status and state, and a station's own page.
import { el, api, can, listen, when, ago, outcomeText } from './dom.js';
import { signPanel } from './segments.js';

const signText = { answers: 'wieża odpowiada', no_answer: 'wieża nie odpowiada', disconnected: 'wieża nie połączona',
  test_mode: 'tryb testowy' };
const stateFilters = [['', 'wszystkie'], ['online', 'online'], ['offline', 'offline'], ['no_answer', 'wieża nie odpowiada'],
  ['test_mode', 'tryb testowy'], ['held', 'wstrzymana zmiana'], ['mismatch', 'niezgodne ceny']];

function facts(s) {
  const status = s.status || {};
  const online = status.status === 'online';
  // The station's own "since" when it says it; else when head office saw the change.
  const since = typeof status.since === 'string' && status.since ? status.since.replace('T', ' ')
    : s.since ? `${when(s.since)} (${ago(s.since)})` : '';
  const items = [el('li', {}, online ? 'online' : 'offline', since ? ` od ${since}` : '')];
  if (status.sign) items.push(el('li', { class: status.sign === 'answers' ? '' : 'bad' }, signText[status.sign] || status.sign));
  if (typeof status.detail === 'string' && status.detail) items.push(el('li', {}, status.detail));
  if (status.test_mode === true) items.push(el('li', { class: 'warn' }, 'tryb testowy'));
  const watch = status.watch || status.last_watch;
  if (typeof watch === 'string' && watch) items.push(el('li', {}, 'ostatnia kontrola wieży: ', watch));
  if (s.state && typeof s.state.time === 'string' && s.state.time)
    items.push(el('li', {}, 'potwierdzone: ', s.state.time.replace('T', ' '), s.state.source ? ` (${s.state.source})` : ''));
  if (s.state && s.state.matches === false) items.push(el('li', { class: 'bad' }, 'wieża pokazuje inne ceny niż wysłane'));
  if (s.held && s.held.id) items.push(el('li', { class: 'warn' }, 'czeka zmiana ', s.held.id, ' od ', when(s.held.time)));
  return el('ul', { class: 'facts' }, items);
}

function card(s) {
  const online = (s.status || {}).status === 'online';
  return el('article', { class: 'station', 'data-station': s.id },
    el('h3', {}, el('a', { href: `#/stacja/${encodeURIComponent(s.id)}` }, s.id),
      el('span', { class: `tag ${online ? 'online' : 'offline'}` }, online ? 'online' : 'offline')),
    s.group ? el('div', { class: 'muted' }, 'grupa: ', s.group) : null,
    signPanel(s.state),
    facts(s));
}

export async function stationsPage(root, params) {
  const group = el('select', { id: 'filter-group', 'aria-label': 'Grupa' }, el('option', { value: '' }, 'wszystkie'));
  const state = el('select', { id: 'filter-state', 'aria-label': 'Stan' },
    stateFilters.map(([v, t]) => el('option', { value: v }, t)));
  const grid = el('div', { class: 'grid', id: 'stations' });
  const count = el('span', { class: 'muted' });
  root.replaceChildren(el('h2', {}, 'Stacje'),
    el('div', { class: 'toolbar' }, el('label', {}, 'Grupa', group), el('label', {}, 'Stan', state), count), grid);
  let groupsKnown = new Set();
  let loads = 0;  // a newer load stops an older one's slices

  async function load() {
    const q = new URLSearchParams();
    if (group.value) q.set('group', group.value);
    if (state.value) q.set('state', state.value);
    const data = await api('/api/stations?' + q);
    for (const g of data.groups) if (!groupsKnown.has(g)) { groupsKnown.add(g); group.append(el('option', { value: g }, g)); }
    // The first screen at once, the rest in slices after it has been painted.
    const token = ++loads;
    grid.replaceChildren(...data.stations.slice(0, 60).map(card));
    for (let at = 60; at < data.stations.length; at += 400) {
      await new Promise((r) => setTimeout(r, 0));
      if (token !== loads) return;
      grid.append(...data.stations.slice(at, at + 400).map(card));
    }
    count.textContent = `${data.stations.length} stacji`;
    if (!data.stations.length) grid.append(el('p', { class: 'muted' }, 'Żadna stacja nie pasuje albo żadna jeszcze się nie zgłosiła.'));
  }
  group.addEventListener('change', load);
  state.addEventListener('change', load);
  await load();
  // Redraw only the station that changed; filters are re-run when it no longer fits.
  return listen('station', (s) => {
    const old = grid.querySelector(`[data-station="${CSS.escape(s.id)}"]`);
    if (old) old.replaceWith(card(s));
    else load();
  });
}

export async function stationPage(root, id) {
  const data = await api(`/api/stations/${encodeURIComponent(id)}`);
  const s = data.station;
  const groupInput = el('input', { id: 'station-group', value: s.group || '', maxlength: 40, 'aria-label': 'Grupa' });
  const groupMsg = el('span', { class: 'error', role: 'status' });
  const groupForm = can('ceny') ? el('form', { class: 'toolbar', onsubmit: async (e) => {
    e.preventDefault();
    try { await api(`/api/stations/${encodeURIComponent(id)}/group`, { group: groupInput.value }); groupMsg.textContent = 'Zapisano.'; }
    catch (err) { groupMsg.textContent = err.message; }
  } }, el('label', {}, 'Grupa', groupInput), el('button', { type: 'submit' }, 'Zapisz grupę'), groupMsg) : null;

  const rows = data.history.map((r) => {
    const b = r.body || {};
    let what = '', detail = '';
    const shown = (list) => (Array.isArray(list) ? list : []).map((x) => (x === '' ? '_' : x)).join(' ');
    if (r.kind === 'result') {
      what = `zmiana ${r.push}: ${outcomeText[b.outcome] || b.outcome || ''}`;
      detail = Array.isArray(b.fields) && b.fields.length ? `pola ${b.fields.join(', ')}; wieża: ${shown(b.sign && b.sign.prices)}`
        : (b.detail || b.reason || '');
    }
    else if (r.kind === 'state') { what = `ceny ${shown(b.prices)} (${b.source || ''})`; detail = b.matches === false ? 'niezgodne' : ''; }
    else { what = `zdarzenie ${b.event || ''}`; detail = b.detail || ''; }
    return el('tr', {}, el('td', { class: 'num' }, when(r.time)), el('td', { class: `outcome-${b.outcome || ''}` }, what), el('td', {}, detail));
  });
  root.replaceChildren(
    el('p', {}, el('a', { href: '#/stacje' }, '← Stacje')),
    el('div', { class: 'split' },
      el('div', { class: 'station-page' }, el('h2', {}, 'Stacja ', s.id), card(s)),
      el('div', { class: 'card' }, el('h3', {}, 'Ustawienia'), groupForm || el('p', {}, 'Grupa: ', s.group || '—'),
        el('p', { class: 'muted' }, 'Ostatnia wiadomość: ', when(s.seen)))),
    el('h3', {}, 'Historia stacji'),
    el('table', { id: 'station-history' }, el('thead', {}, el('tr', {}, el('th', {}, 'Czas'), el('th', {}, 'Co'), el('th', {}, 'Szczegóły'))),
      el('tbody', {}, rows.length ? rows : el('tr', {}, el('td', { colspan: 3, class: 'muted' }, 'Brak wpisów.')))));
  return listen('station', (n) => { if (n.id === id) root.querySelector('.station').replaceWith(card(n)); });
}
