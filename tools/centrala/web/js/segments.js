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

// Five fields from a state {"prices", "blink"} on one canvas: a page of two thousand
// stations stays quick to draw. Drawn when it first scrolls into view; blinking fields
// go dark a third of a second at a time, as on the sign.
const lit = '#ffb000', dark = '#2c2620';
const blinking = new Set();
let blinkOff = false;
setInterval(() => {
  blinkOff = !blinkOff;
  for (const c of blinking) { if (c.isConnected) draw(c); else blinking.delete(c); }
}, 330);

function draw(canvas) {
  const { prices, blink } = canvas.sign;
  const ratio = window.devicePixelRatio || 1;
  const cell = 0.5, w = 100, h = 56;
  if (canvas.width !== Math.round(w * ratio)) {
    canvas.width = Math.round(w * ratio);
    canvas.height = Math.round(h * 5 * ratio);
  }
  canvas.dataset.drawn = '1';
  const g = canvas.getContext('2d');
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.fillStyle = '#111';
  g.fillRect(0, 0, w, h * 5);
  for (let f = 0; f < 5; f++) {
    const off = blink[f] && blinkOff;
    places(prices[f]).forEach((bits, p) => {
      g.setTransform(ratio * cell, 0, 0, ratio * cell, ratio * (4 + p * 32), ratio * (f * h + 3));
      for (const [bit, pts] of Object.entries(seg)) {
        g.fillStyle = bits & (1 << Number(bit)) && !off ? lit : dark;
        g.beginPath();
        pts.forEach(([x, y], i) => (i ? g.lineTo(x, y) : g.moveTo(x, y)));
        g.closePath();
        g.fill();
      }
      g.fillStyle = bits & POINT && !off ? lit : dark;
      g.beginPath();
      g.arc(56, 92, 4.5, 0, 2 * Math.PI);
      g.fill();
    });
  }
}

const seen = new IntersectionObserver((entries) => {
  for (const e of entries) if (e.isIntersecting) { seen.unobserve(e.target); draw(e.target); }
});

export function signPanel(state) {
  const prices = (state && Array.isArray(state.prices)) ? state.prices : [];
  const blink = (state && Array.isArray(state.blink)) ? state.blink : [];
  const sign = { prices: [], blink: [] };
  for (let i = 0; i < 5; i++) {
    sign.prices.push(typeof prices[i] === 'string' ? prices[i] : '');
    sign.blink.push(blink[i] === true);
  }
  const canvas = document.createElement('canvas');
  canvas.className = 'sign';
  canvas.sign = sign;
  canvas.setAttribute('role', 'img');
  canvas.setAttribute('aria-label', sign.prices.map((p, i) => `Cena ${i + 1}: ${p || 'puste'}${sign.blink[i] ? ' (mruga)' : ''}`).join(', '));
  canvas.dataset.prices = sign.prices.join('|');
  if (sign.blink.some(Boolean)) blinking.add(canvas);
  seen.observe(canvas);
  return canvas;
}
