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
export function priceField(text, blink, label) {
  const root = svg('svg', { viewBox: '0 0 200 104', role: 'img', class: blink ? 'field blink' : 'field' });
  root.append(svg('title', {}));
  root.firstChild.textContent = label + ': ' + (text === undefined || text === null || text === '' ? 'puste' : text) +
    (blink ? ' (mruga)' : '');
  places(text).forEach((bits, p) => {
    const g = svg('g', { transform: `translate(${p * 64 + 4},2)` });
    for (const [bit, pts] of Object.entries(seg)) {
      const lit = bits & (1 << Number(bit));
      const poly = svg('polygon', { points: pts.map((q) => q.join(',')).join(' '), fill: lit ? '#ffb000' : '#2c2620' });
      if (lit) poly.setAttribute('class', 'lit');
      g.append(poly);
    }
    const point = svg('circle', { cx: 56, cy: 92, r: 4.5, fill: bits & POINT ? '#ffb000' : '#2c2620' });
    if (bits & POINT) point.setAttribute('class', 'lit');
    g.append(point);
    root.append(g);
  });
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
