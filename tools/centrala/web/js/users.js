// Użytkownicy (admin): accounts, roles and the audit trail.
import { el, api, session, when } from './dom.js';

const actionText = { login: 'logowanie', login_failed: 'nieudane logowanie', login_slowed: 'logowanie wstrzymane',
  logout: 'wylogowanie', push: 'zmiana cen', push_planned: 'zaplanowana zmiana', push_timed: 'wysłana zaplanowana zmiana',
  push_cancelled: 'odwołana zmiana', group: 'grupa stacji', user_add: 'nowy użytkownik', user_remove: 'usunięty użytkownik',
  alarm_ack: 'potwierdzony alarm' };

export async function usersPage(root) {
  const name = el('input', { id: 'user-name', 'aria-label': 'Nazwa', autocomplete: 'off' });
  const password = el('input', { id: 'user-password', type: 'password', 'aria-label': 'Hasło', autocomplete: 'new-password' });
  const role = el('select', { id: 'user-role', 'aria-label': 'Rola' }, ['podgląd', 'ceny', 'admin'].map((r) => el('option', { value: r }, r)));
  const message = el('p', { class: 'error', role: 'alert', id: 'user-error' });
  const list = el('tbody'), audit = el('tbody');
  async function load() {
    const data = await api('/api/users');
    list.replaceChildren(...data.users.map((u) => el('tr', {}, el('td', {}, u.name), el('td', {}, u.role), el('td', { class: 'num' }, when(u.created)),
      el('td', {}, u.name === session.user ? '' : el('button', { type: 'button', class: 'secondary', onclick: async () => {
        try { await api(`/api/users/${encodeURIComponent(u.name)}/remove`, {}); load(); } catch (err) { message.textContent = err.message; }
      } }, 'Usuń')))));
    audit.replaceChildren(...data.audit.map((a) => el('tr', {}, el('td', { class: 'num' }, when(a.time)), el('td', {}, a.user),
      el('td', {}, a.address), el('td', {}, actionText[a.action] || a.action), el('td', {}, a.detail))));
  }
  root.replaceChildren(el('h2', {}, 'Użytkownicy'),
    el('form', { class: 'toolbar card', onsubmit: async (e) => {
      e.preventDefault();
      message.textContent = '';
      try { await api('/api/users', { name: name.value, password: password.value, role: role.value }); name.value = ''; password.value = ''; load(); }
      catch (err) { message.textContent = err.message; }
    } }, el('label', {}, 'Nazwa', name), el('label', {}, 'Hasło (min. 10 znaków)', password), el('label', {}, 'Rola', role),
      el('button', { type: 'submit' }, 'Dodaj')),
    message,
    el('table', { id: 'users' }, el('thead', {}, el('tr', {}, ['Nazwa', 'Rola', 'Od', ''].map((h) => el('th', {}, h)))), list),
    el('h3', {}, 'Dziennik logowań i zmian'),
    el('table', { id: 'audit' }, el('thead', {}, el('tr', {}, ['Czas', 'Kto', 'Skąd', 'Co', 'Szczegóły'].map((h) => el('th', {}, h)))), audit));
  await load();
}
