// Historia: pushes' outcomes, the stations' own confirmed prices and their events.
import { el, api, when, outcomeText } from './dom.js';

export async function historyPage(root) {
  const from = el('input', { type: 'date', id: 'history-from', 'aria-label': 'Od' });
  const to = el('input', { type: 'date', id: 'history-to', 'aria-label': 'Do' });
  const station = el('input', { id: 'history-station', 'aria-label': 'Stacja', size: 12 });
  const outcome = el('select', { id: 'history-outcome', 'aria-label': 'Wynik' }, el('option', { value: '' }, 'każdy'),
    Object.entries(outcomeText).map(([k, v]) => el('option', { value: k }, v)));
  const message = el('p', { class: 'error', role: 'alert' });
  const csv = el('a', { id: 'history-csv', href: '/api/history.csv', download: 'historia.csv' }, 'Pobierz CSV');
  const body = el('tbody');
  const query = () => {
    const q = new URLSearchParams();
    for (const [k, v] of [['from', from.value], ['to', to.value], ['station', station.value.trim()], ['outcome', outcome.value]])
      if (v) q.set(k, v);
    return q.toString();
  };
  async function load(e) {
    if (e) e.preventDefault();
    message.textContent = '';
    let data;
    try { data = await api('/api/history?' + query()); } catch (err) { message.textContent = err.message; return; }
    csv.href = '/api/history.csv?' + query();
    body.replaceChildren(...data.rows.map((r) => {
      const b = r.body || {};
      const kind = r.kind === 'result' ? 'centrala' : r.kind === 'state' ? (b.source || 'stacja') : 'zdarzenie';
      const what = r.kind === 'result' ? (outcomeText[b.outcome] || b.outcome || '')
        : r.kind === 'state' ? (b.matches === false ? 'niezgodne' : 'potwierdzone') : (b.event || '');
      const shown = (list) => (list || []).map((x) => (x === '' ? '_' : x)).join(' ');
      const prices = r.kind === 'state' ? shown(b.prices) : b.sign ? shown(b.sign.prices) : '';
      return el('tr', {}, el('td', { class: 'num' }, when(r.time)), el('td', {}, r.station), el('td', {}, kind),
        el('td', {}, r.push || ''), el('td', { class: `outcome-${b.outcome || ''}` }, what), el('td', { class: 'num' }, prices),
        el('td', {}, b.detail || b.reason || (Array.isArray(b.fields) ? 'pola ' + b.fields.join(', ') : '')));
    }));
    if (!data.rows.length) body.append(el('tr', {}, el('td', { colspan: 7, class: 'muted' }, 'Brak wpisów.')));
  }
  root.replaceChildren(el('h2', {}, 'Historia'),
    el('form', { class: 'toolbar', onsubmit: load }, el('label', {}, 'Od', from), el('label', {}, 'Do', to),
      el('label', {}, 'Stacja', station), el('label', {}, 'Wynik', outcome), el('button', { type: 'submit' }, 'Pokaż'), csv),
    message,
    el('table', { id: 'history' }, el('thead', {}, el('tr', {}, ['Czas', 'Stacja', 'Źródło', 'Zmiana', 'Wynik', 'Ceny', 'Uwagi'].map((h) => el('th', {}, h)))), body));
  await load();
}
