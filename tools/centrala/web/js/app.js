// The page: login, the menu by role, one live stream, pages by the address's hash.
import { el, api, session, can, listen, openStream, closeStream } from './dom.js';
import { stationsPage, stationPage } from './stations.js';
import { pushPage } from './push.js';
import { historyPage } from './history.js';
import { alarmsPage } from './alarms.js';
import { usersPage } from './users.js';

const $ = (id) => document.getElementById(id);
let leave = null;

function showLogin() {
  closeStream();
  session.user = session.role = session.csrf = '';
  $('nav').hidden = true;
  $('who').hidden = true;
  $('page').replaceChildren();
  $('login').hidden = false;
  $('login-user').focus();
}

async function enter(me) {
  Object.assign(session, { user: me.user, role: me.role, csrf: me.csrf });
  $('login').hidden = true;
  $('nav').hidden = false;
  $('who').hidden = false;
  $('who-name').textContent = `${me.user} (${me.role})`;
  for (const a of document.querySelectorAll('#nav a[data-role]')) a.hidden = !can(a.dataset.role);
  setBroker(me.broker);
  openStream();
  refreshAlarmCount();
  await route();
}

function setBroker(b) {
  if (!b) return;
  $('broker').className = b.connected ? 'dot on' : 'dot';
  $('broker').title = b.detail || (b.connected ? 'broker połączony' : 'brak brokera');
}

async function refreshAlarmCount() {
  try {
    const a = await api('/api/alarms?open=1');
    $('alarm-count').hidden = !a.alarms.length;
    $('alarm-count').textContent = String(a.alarms.length);
  } catch { /* logged out */ }
}

async function route() {
  if (!session.user) return;
  if (leave) { leave(); leave = null; }
  const [, page = 'stacje', arg = ''] = location.hash.split('/');
  for (const a of document.querySelectorAll('#nav a')) a.classList.toggle('active', a.dataset.page === page);
  const root = $('page');
  root.replaceChildren(el('p', { class: 'muted' }, 'Wczytywanie…'));
  try {
    if (page === 'stacja') leave = await stationPage(root, decodeURIComponent(arg));
    else if (page === 'zmiana' && can('ceny')) leave = await pushPage(root);
    else if (page === 'historia') leave = await historyPage(root);
    else if (page === 'alarmy') leave = await alarmsPage(root);
    else if (page === 'uzytkownicy' && can('admin')) leave = await usersPage(root);
    else leave = await stationsPage(root);
  } catch (err) {
    root.replaceChildren(el('p', { class: 'error', role: 'alert' }, err.message));
  }
  document.body.dataset.page = page;
}

$('login').addEventListener('submit', async (e) => {
  e.preventDefault();
  $('login-error').textContent = '';
  try {
    await api('/api/login', { user: $('login-user').value, password: $('login-password').value });
    $('login-password').value = '';
    await enter(await api('/api/me'));
  } catch (err) {
    $('login-error').textContent = err.message;
  }
});
$('logout').addEventListener('click', async () => {
  try { await api('/api/logout', {}); } catch { /* gone already */ }
  showLogin();
});
window.addEventListener('hashchange', route);
window.addEventListener('kc-logged-out', showLogin);
listen('broker', setBroker);
listen('alarm', refreshAlarmCount);
listen('alarm_ack', refreshAlarmCount);

api('/api/me').then(enter).catch(showLogin);
