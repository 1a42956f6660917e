// Building the page from data: every text from the server goes in as a text node,
// never as markup.
export function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (v === false || v === null || v === undefined) continue;
    if (k === 'class') node.className = v;
    else if (k === 'text') node.textContent = v;
    else if (k.startsWith('on')) node.addEventListener(k.slice(2), v);
    else node.setAttribute(k, v === true ? '' : String(v));
  }
  for (const c of children.flat()) {
    if (c === null || c === undefined || c === false) continue;
    node.append(c instanceof Node ? c : document.createTextNode(String(c)));
  }
  return node;
}

export const session = { user: '', role: '', csrf: '' };
const ranks = { 'podgląd': 1, 'ceny': 2, 'admin': 3 };
export const can = (role) => (ranks[session.role] || 0) >= ranks[role];

export class ApiError extends Error {
  constructor(status, message) { super(message); this.status = status; }
}

export async function api(path, body, method) {
  const opts = { method: method || (body === undefined ? 'GET' : 'POST'), headers: {}, credentials: 'same-origin' };
  if (opts.method !== 'GET') opts.headers['X-CSRF-Token'] = session.csrf;
  if (body !== undefined) {
    opts.headers['Content-Type'] = 'application/json';
    opts.body = JSON.stringify(body);
  }
  const res = await fetch(path, opts);
  let data = {};
  try { data = await res.json(); } catch { /* an empty answer */ }
  if (!res.ok) {
    if (res.status === 401) window.dispatchEvent(new CustomEvent('kc-logged-out'));
    throw new ApiError(res.status, data.error || `Błąd serwera (${res.status}).`);
  }
  return data;
}

const pad = (n) => String(n).padStart(2, '0');
export function when(seconds) {
  if (!seconds) return '—';
  const d = new Date(seconds * 1000);
  return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())} ${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
}
export function ago(seconds) {
  if (!seconds) return '';
  const s = Math.max(0, Math.round(Date.now() / 1000 - seconds));
  if (s < 60) return `${s} s`;
  if (s < 3600) return `${Math.floor(s / 60)} min`;
  if (s < 86400) return `${Math.floor(s / 3600)} h ${Math.floor((s % 3600) / 60)} min`;
  return `${Math.floor(s / 86400)} d`;
}

export const outcomeText = {
  sent: 'wysłano, czeka', confirmed: 'potwierdzone', mismatch: 'niezgodne z wieżą', acknowledged: 'przyjęte',
  not_confirmed: 'niepotwierdzone', given_up: 'porzucone', refused: 'odrzucone', scheduled: 'zaplanowane',
  duplicate: 'powtórzone', held: 'wstrzymane na stacji', superseded: 'zastąpione nowszą', no_answer: 'brak odpowiedzi',
  not_sent: 'niewysłane',
};

// Live updates: one stream for the page, listeners by event kind.
const listeners = new Map();
let stream = null;
export function listen(kind, fn) {
  if (!listeners.has(kind)) listeners.set(kind, new Set());
  listeners.get(kind).add(fn);
  return () => listeners.get(kind).delete(fn);
}
export function openStream() {
  if (stream) return;
  stream = new EventSource('/api/stream');
  for (const kind of ['station', 'result', 'event', 'alarm', 'alarm_ack', 'push', 'broker']) {
    stream.addEventListener(kind, (e) => {
      let data;
      try { data = JSON.parse(e.data); } catch { return; }
      for (const fn of listeners.get(kind) || []) fn(data);
    });
  }
}
export function closeStream() {
  if (stream) stream.close();
  stream = null;
}
