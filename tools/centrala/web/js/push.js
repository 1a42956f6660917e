// Zmiana cen: choose stations and prices, check, send (now or at a time), then follow
// each station to its final outcome; timed changes listed and cancellable.
import { el, api, listen, when, outcomeText } from './dom.js';

const finalOutcomes = new Set(['confirmed', 'mismatch', 'acknowledged', 'not_confirmed', 'given_up', 'refused',
  'superseded', 'no_answer', 'not_sent']);

function pricesOf(state) {
  if (!state || !Array.isArray(state.prices)) return '—';
  return state.prices.map((p, i) => (p === '' ? '_' : p) + (state.blink && state.blink[i] ? '*' : '')).join('  ');
}

export async function pushPage(root) {
  const data = await api('/api/stations');
  const priceInputs = [], blinkInputs = [];
  const pricesBox = el('div', { class: 'prices-input' });
  for (let i = 0; i < 5; i++) {
    const p = el('input', { id: `price-${i + 1}`, 'aria-label': `Cena ${i + 1}`, maxlength: 6, inputmode: 'decimal' });
    const b = el('input', { type: 'checkbox', id: `blink-${i + 1}`, 'aria-label': `Mrugaj ${i + 1}` });
    priceInputs.push(p); blinkInputs.push(b);
    pricesBox.append(el('div', {}, el('label', { for: p.id }, `${i + 1}.`), p, el('label', {}, b, ' Mrugaj')));
  }
  const all = el('input', { type: 'radio', name: 'who', value: 'all', id: 'who-all', checked: true });
  const byGroup = el('input', { type: 'radio', name: 'who', value: 'groups', id: 'who-groups' });
  const bySel = el('input', { type: 'radio', name: 'who', value: 'stations', id: 'who-stations' });
  const groupBoxes = data.groups.map((g) => el('label', {}, el('input', { type: 'checkbox', value: g, 'data-group': g }), g));
  const stationBoxes = data.stations.map((s) => el('label', {}, el('input', { type: 'checkbox', value: s.id, 'data-station': s.id }), s.id));
  const at = el('input', { type: 'datetime-local', id: 'push-at', 'aria-label': 'Czas zmiany' });
  const message = el('p', { class: 'error', role: 'alert', id: 'push-error' });
  const check = el('div', { id: 'push-check' });
  const progress = el('div', { id: 'push-progress' });
  const timed = el('div', { id: 'timed' });

  function request() {
    const who = root.querySelector('input[name=who]:checked').value;
    return {
      all: who === 'all',
      groups: who === 'groups' ? groupBoxes.map((l) => l.firstChild).filter((c) => c.checked).map((c) => c.value) : [],
      stations: who === 'stations' ? stationBoxes.map((l) => l.firstChild).filter((c) => c.checked).map((c) => c.value) : [],
      prices: priceInputs.map((p) => p.value.trim()),
      blink: blinkInputs.map((b) => b.checked),
      at: at.value,
    };
  }

  async function showCheck(e) {
    e.preventDefault();
    message.textContent = '';
    progress.replaceChildren();
    let plan;
    const body = request();
    try { plan = await api('/api/push/check', body); } catch (err) { message.textContent = err.message; check.replaceChildren(); return; }
    const newPrices = plan.prices.map((p, i) => (p === '' ? '_' : p) + (plan.blink[i] ? '*' : '')).join('  ');
    const send = el('button', { type: 'button', id: 'push-send' }, plan.at ? `Zaplanuj na ${plan.at.replace('T', ' ')}` : `Wyślij do ${plan.rows.length} stacji`);
    send.addEventListener('click', async () => {
      send.disabled = true;
      try {
        const r = await api('/api/push', body);
        check.replaceChildren();
        if (r.due) { message.textContent = ''; loadTimed(); check.append(el('p', {}, `Zaplanowano zmianę ${r.id}.`)); }
        else follow(r.id, r.stations);
      } catch (err) { message.textContent = err.message; send.disabled = false; }
    });
    check.replaceChildren(el('h3', {}, 'Sprawdź przed wysłaniem'),
      el('table', {}, el('thead', {}, el('tr', {}, el('th', {}, 'Stacja'), el('th', {}, 'Grupa'), el('th', {}, 'Stan'),
        el('th', {}, 'Ceny teraz'), el('th', {}, 'Nowe ceny'))),
      el('tbody', {}, plan.rows.map((r) => el('tr', {}, el('td', {}, r.id), el('td', {}, r.group || ''),
        el('td', {}, (r.status && r.status.status) || '?'), el('td', { class: 'num' }, pricesOf(r.state)),
        el('td', { class: 'num' }, newPrices))))),
      el('p', {}, send, ' ', el('button', { type: 'button', class: 'secondary', onclick: () => check.replaceChildren() }, 'Anuluj')));
  }

  // Live progress of one push, row by row, from the result stream.
  const rowsByStation = new Map();
  let following = '';
  function follow(id, stations) {
    following = id;
    rowsByStation.clear();
    const body = el('tbody', {}, stations.map((s) => {
      const outcome = el('td', { class: 'outcome-sent' }, outcomeText.sent);
      const sign = el('td', { class: 'num' }, '');
      const t = el('td', { class: 'num' }, '');
      const tr = el('tr', { 'data-station': s, 'data-outcome': 'sent' }, el('td', {}, s), outcome, sign, t);
      rowsByStation.set(s, { tr, outcome, sign, t });
      return tr;
    }));
    const summary = el('p', { id: 'push-summary', class: 'muted' });
    progress.replaceChildren(el('h3', {}, 'Zmiana ', id), summary,
      el('table', { id: 'progress-table' }, el('thead', {}, el('tr', {}, el('th', {}, 'Stacja'), el('th', {}, 'Wynik'),
        el('th', {}, 'Wieża pokazuje'), el('th', {}, 'Kiedy'))), body));
    const tally = () => {
      let done = 0, ok = 0;
      for (const r of rowsByStation.values()) {
        const o = r.tr.dataset.outcome;
        if (finalOutcomes.has(o)) done++;
        if (o === 'confirmed') ok++;
      }
      summary.textContent = `${done} z ${rowsByStation.size} stacji zakończyło, potwierdzone: ${ok}.`;
    };
    tally();
    const update = (u) => {
      const r = rowsByStation.get(u.station);
      if (!r) return;
      if (u.outcome === 'duplicate' && finalOutcomes.has(r.tr.dataset.outcome)) return;
      r.tr.dataset.outcome = u.outcome;
      r.outcome.className = `outcome-${u.outcome}`;
      const res = u.result || {};
      let text = outcomeText[u.outcome] || u.outcome;
      if (Array.isArray(res.fields) && res.fields.length) text += ` (pola ${res.fields.join(', ')})`;
      if (res.detail) text += ` — ${res.detail}`;
      r.outcome.textContent = text;
      r.sign.textContent = res.sign ? pricesOf(res.sign) : '';
      r.t.textContent = when(u.time);
      tally();
    };
    // What came before the stream saw it.
    api(`/api/push/${encodeURIComponent(id)}`).then((p) => {
      for (const t of p.targets) if ((t.outcome !== 'sent' || t.detail) && following === id)
        update({ station: t.station, outcome: t.outcome, time: t.time, result: { detail: t.detail, sign: t.sign } });
    }).catch(() => {});
    followUpdate = (u) => { if (u.push === following) update(u); };
  }
  let followUpdate = () => {};

  async function loadTimed() {
    const t = await api('/api/timed');
    if (!t.timed.length) { timed.replaceChildren(el('p', { class: 'muted' }, 'Brak zaplanowanych zmian.')); return; }
    timed.replaceChildren(el('table', {}, el('thead', {}, el('tr', {}, el('th', {}, 'Kiedy'), el('th', {}, 'Ceny'),
      el('th', {}, 'Stacje'), el('th', {}, 'Kto'), el('th', {}, ''))),
      el('tbody', {}, t.timed.map((p) => el('tr', { 'data-timed': p.id }, el('td', { class: 'num' }, when(p.due)),
        el('td', { class: 'num' }, pricesOf(p.body)), el('td', {}, (p.body.stations || []).join(', ')), el('td', {}, p.user),
        el('td', {}, el('button', { type: 'button', class: 'secondary', onclick: async () => {
          try { await api(`/api/timed/${encodeURIComponent(p.id)}/cancel`, {}); loadTimed(); }
          catch (err) { message.textContent = err.message; }
        } }, 'Odwołaj')))))));
  }

  root.replaceChildren(el('h2', {}, 'Zmiana cen'),
    el('form', { class: 'card', id: 'push-form', onsubmit: showCheck },
      el('div', { class: 'split' },
        el('fieldset', {}, el('legend', {}, 'Stacje'),
          el('label', {}, all, ' wszystkie'), el('label', {}, byGroup, ' grupy'),
          el('div', { class: 'choice', id: 'choice-groups' }, groupBoxes.length ? groupBoxes : el('span', { class: 'muted' }, 'brak grup')),
          el('label', {}, bySel, ' wybrane stacje'), el('div', { class: 'choice', id: 'choice-stations' }, stationBoxes)),
        el('fieldset', {}, el('legend', {}, 'Ceny'), pricesBox,
          el('label', {}, 'Kiedy (puste: teraz)', at),
          el('p', {}, el('button', { type: 'submit', id: 'push-check-button' }, 'Sprawdź')), message))),
    check, progress, el('h3', {}, 'Zaplanowane zmiany'), timed);
  await loadTimed();
  const offResult = listen('result', (u) => followUpdate(u));
  const offPush = listen('push', () => loadTimed());
  return () => { offResult(); offPush(); };
}
