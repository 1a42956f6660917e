// Alarmy: what needs a person, each acknowledged by name and kept.
import { el, api, listen, when } from './dom.js';

export const alarmText = { mismatch: 'wieża pokazuje inne ceny', restore: 'przywrócono ceny', restore_limit: 'limit przywróceń',
  no_answer: 'wieża nie odpowiada', offline: 'stacja długo offline' };

export async function alarmsPage(root) {
  const onlyOpen = el('input', { type: 'checkbox', id: 'alarms-open', checked: true });
  const body = el('tbody');
  const message = el('p', { class: 'error', role: 'alert' });
  async function load() {
    const data = await api('/api/alarms' + (onlyOpen.checked ? '?open=1' : ''));
    body.replaceChildren(...data.alarms.map((a) => el('tr', { 'data-alarm': a.id, 'data-kind': a.kind, 'data-station': a.station },
      el('td', { class: 'num' }, when(a.time)), el('td', {}, a.station), el('td', {}, alarmText[a.kind] || a.kind), el('td', {}, a.detail),
      el('td', {}, a.acked_time ? `${a.acked_by}, ${when(a.acked_time)}` : el('button', { type: 'button', onclick: async () => {
        try { await api(`/api/alarms/${a.id}/ack`, {}); load(); } catch (err) { message.textContent = err.message; }
      } }, 'Potwierdź')))));
    if (!data.alarms.length) body.append(el('tr', {}, el('td', { colspan: 5, class: 'muted' }, 'Brak alarmów.')));
  }
  onlyOpen.addEventListener('change', load);
  root.replaceChildren(el('h2', {}, 'Alarmy'), el('label', {}, onlyOpen, ' tylko niepotwierdzone'), message,
    el('table', { id: 'alarms' }, el('thead', {}, el('tr', {}, ['Czas', 'Stacja', 'Alarm', 'Szczegóły', 'Potwierdzenie'].map((h) => el('th', {}, h)))), body));
  await load();
  const a = listen('alarm', load), b = listen('alarm_ack', load);
  return () => { a(); b(); };
}
