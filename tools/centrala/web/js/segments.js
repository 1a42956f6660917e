// The sign's price fields as seven-segment digits. A place is one byte, as in the
// station's preview: bit 0 d, 1 e, 2 g, 3 f, 4 a, 5 b, 6 c, 7 the point.
const digits = { '0': 0x7B, '1': 0x60, '2': 0x37, '3': 0x75, '4': 0x6C, '5': 0x5D, '6': 0x5F, '7': 0x70,
  '8': 0x7F, '9': 0x7D, '-': 0x04, ' ': 0x00 };
const POINT = 0x80;

// The three places a price text sets, the way the sign reads it: a point joins the
// place before it; anything the digits cannot show is skipped.
export function places(text) {
  const out = [];
  for (const c of String(text || '')) {
    if (c in digits) { if (out.length < 3) out.push(digits[c]); }
    else if (c === '.') {
      if (out.length === 0) out.push(POINT);
      else if (out[out.length - 1] & POINT) { if (out.length < 3) out.push(POINT); }
      else out[out.length - 1] |= POINT;
    }
  }
  while (out.length < 3) out.push(0);
  return out;
}

const NS = 'http://www.w3.org/2000/svg';
// Segment polygons in a 60 x 100 cell, by bit: hexagons with a small gap at each joint.
const T = 10;
const across = (y, x1, x2) => [[x1, y], [x1 + T / 2, y - T / 2], [x2 - T / 2, y - T / 2], [x2, y], [x2 - T / 2, y + T / 2], [x1 + T / 2, y + T / 2]];
const down = (x, y1, y2) => [[x, y1], [x + T / 2, y1 + T / 2], [x + T / 2, y2 - T / 2], [x, y2], [x - T / 2, y2 - T / 2], [x - T / 2, y1 + T / 2]];
const seg = {
  4: across(8, 12, 46),   // a
  5: down(48, 10, 48),    // b
  6: down(48, 52, 90),    // c
  0: across(92, 12, 46),  // d
  1: down(10, 52, 90),    // e
  3: down(10, 10, 48),    // f
  2: across(50, 12, 46),  // g
};

function svg(tag, attrs) {
  const n = document.createElementNS(NS, tag);
  for (const [k, v] of Object.entries(attrs)) n.setAttribute(k, v);
  return n;
}

// One price field: three places, lit segments in the sign's amber, blinking ones marked.
// Most stations show the same prices: a field is built once and cloned after.
const built = new Map();
export function priceField(text, blink, label) {
  const key = JSON.stringify([text, blink, label]);
  let field = built.get(key);
  if (!field) {
    if (built.size > 500) built.clear();
    field = buildField(text, blink, label);
    built.set(key, field);
  }
  return field.cloneNode(true);
}

function buildField(text, blink, label) {
  const root = svg('svg', { viewBox: '0 0 200 104', role: 'img', class: blink ? 'field blink' : 'field' });
  root.append(svg('title', {}));
  root.firstChild.textContent = label + ': ' + (text === undefined || text === null || text === '' ? 'puste' : text) +
    (blink ? ' (mruga)' : '');
  // Lit and dark segments as one path each: thousands of stations stay a light page.
  let lit = '', dark = '';
  places(text).forEach((bits, p) => {
    const dx = p * 64 + 4, dy = 2;
    for (const [bit, pts] of Object.entries(seg)) {
      const d = 'M' + pts.map(([x, y]) => `${x + dx},${y + dy}`).join('L') + 'Z';
      if (bits & (1 << Number(bit))) lit += d; else dark += d;
    }
    const cx = 56 + dx, cy = 92 + dy, r = 4.5;
    const d = `M${cx - r},${cy}a${r},${r} 0 1,0 ${2 * r},0a${r},${r} 0 1,0 ${-2 * r},0Z`;
    if (bits & POINT) lit += d; else dark += d;
  });
  if (dark) root.append(svg('path', { d: dark, fill: '#2c2620' }));
  if (lit) root.append(svg('path', { d: lit, fill: '#ffb000', class: 'lit' }));
  return root;
}

// Five fields from a state {"prices", "blink"}; blank fields when nothing is known.
export function signPanel(state) {
  const div = document.createElement('div');
  div.className = 'sign';
  const prices = (state && Array.isArray(state.prices)) ? state.prices : [];
  const blink = (state && Array.isArray(state.blink)) ? state.blink : [];
  for (let i = 0; i < 5; i++) div.append(priceField(typeof prices[i] === 'string' ? prices[i] : '', blink[i] === true, `Cena ${i + 1}`));
  return div;
}
