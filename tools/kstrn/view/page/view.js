// The page of kstrn view. Every text of the file reaches the page through
// textContent or a text node, never as markup.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

function el(tag, props, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props || {})) {
    if (key === 'text') node.textContent = value;
    else if (key === 'class') node.className = value;
    else if (key.startsWith('data-')) node.setAttribute(key, value);
    else if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else node[key] = value;
  }
  for (const child of children) node.append(child);
  return node;
}

function status(text) { $('status').textContent = text || ''; }

async function api(name, params) {
  const query = new URLSearchParams(params || {});
  const reply = await fetch('api/' + name + '?' + query, { headers: { 'X-Kstrn-Token': token } });
  const body = await reply.json().catch(() => ({ error: 'HTTP ' + reply.status }));
  if (!reply.ok) throw new Error(body.error || 'HTTP ' + reply.status);
  return body;
}

function guard(action) {
  return (...args) => action(...args).then(() => status(''), (e) => status(e.message));
}

function tidText(entry) {
  return entry.name ? entry.tid + ' ' + entry.name : String(entry.tid);
}

// ---- tree ----

function blockNode(path, text, counts) {
  const li = el('li', { class: 'block', 'data-path': path });
  const toggle = el('span', { class: 'toggle', text: '\u25b8' });
  const label = el('span', { class: 'label', text });
  li.append(toggle, label);
  if (counts) li.append(' ', el('span', { class: 'count', text: counts }));
  toggle.addEventListener('click', guard(() => toggleBlock(li)));
  label.addEventListener('click', guard(() => showBlock(path)));
  return li;
}

async function expandBlock(li) {
  if (li.querySelector(':scope > ul')) return;
  const block = await api('block', { path: li.dataset.path });
  const ul = el('ul');
  for (const item of block.items) {
    const node = el('li', { class: 'item', 'data-tid': item.tid, 'data-parent': block.path });
    const toggle = el('span', { class: 'toggle', text: '\u25b8' });
    node.append(toggle, el('span', { class: 'label', text: 'item ' + tidText(item) }), ' ',
                el('span', { class: 'count', text: '\u00d7' + item.count }));
    toggle.addEventListener('click', guard(() => toggleItem(node)));
    node.querySelector('.label').addEventListener('click', guard(() => toggleItem(node)));
    ul.append(node);
  }
  li.append(ul);
  li.querySelector('.toggle').textContent = '\u25be';
}

async function toggleBlock(li) {
  const ul = li.querySelector(':scope > ul');
  if (ul) {
    ul.remove();
    li.querySelector('.toggle').textContent = '\u25b8';
  } else {
    await expandBlock(li);
  }
}

async function loadChildren(node, from) {
  let ul = node.querySelector(':scope > ul');
  if (!ul) {
    ul = el('ul');
    node.append(ul);
  }
  const more = ul.querySelector(':scope > li.more');
  if (more) more.remove();
  const page = await api('children', { path: node.dataset.parent, tid: node.dataset.tid, from });
  for (const b of page.blocks) {
    const text = node.dataset.tid + ':' + b.index + (b.label !== undefined ? ' \u201c' + b.label + '\u201d' : '');
    ul.append(blockNode(b.path, text, b.values + ' values, ' + b.items + ' items'));
  }
  const next = page.from + page.blocks.length;
  if (next < page.count) {
    const li = el('li', { class: 'more' });
    li.append(el('button', { class: 'more', text: 'more (' + (page.count - next) + ' left)',
                             onclick: guard(() => loadChildren(node, next)) }));
    ul.append(li);
  }
  node.querySelector('.toggle').textContent = '\u25be';
}

async function toggleItem(node) {
  const ul = node.querySelector(':scope > ul');
  if (ul) {
    ul.remove();
    node.querySelector('.toggle').textContent = '\u25b8';
  } else {
    await loadChildren(node, 0);
  }
}

// Opens the tree down to the block at path (steps: the paths from the root).
async function reveal(steps) {
  let li = $('tree').querySelector('li.block');
  for (let i = 1; i < steps.length && li; ++i) {
    await expandBlock(li);
    const last = steps[i].split('/').pop().split(':');
    const item = li.querySelector(':scope > ul > li.item[data-tid="' + Number(last[0]) + '"]');
    if (!item) return;
    if (!item.querySelector(':scope > ul')) await loadChildren(item, Math.max(0, Number(last[1]) - 10));
    li = item.querySelector(':scope > ul > li.block[data-path="' + CSS.escape(steps[i]) + '"]');
  }
  if (li) {
    for (const s of $('tree').querySelectorAll('.selected')) s.classList.remove('selected');
    li.classList.add('selected');
    li.scrollIntoView({ block: 'nearest' });
  }
}

// ---- block detail ----

function pathLink(path) {
  return el('a', { href: '#', class: 'path', text: path, 'data-path': path,
                   onclick: (e) => { e.preventDefault(); guard(() => goTo(path))(); } });
}

async function goTo(path) {
  const resolved = await api('resolve', { path });
  await showBlock(resolved.path);
  await reveal(resolved.steps);
}

async function showBlock(path) {
  const block = await api('block', { path });
  $('detail').hidden = false;
  $('path').value = block.path;
  $('block-path').textContent = block.path;
  $('block-item').textContent = block.item ? '(item ' + tidText(block.item) + ', block ' + block.index + ')' : '(root)';
  const follow = $('block-follow');
  follow.replaceChildren();
  if (block.follow) {
    follow.append('reference ' + (block.follow.number ?? '?') + ' \u2192 ');
    follow.append(block.follow.target ? pathLink(block.follow.target) : block.follow.error);
  }
  const body = $('values').querySelector('tbody');
  body.replaceChildren();
  for (const v of block.values) {
    const shown = el('td', { class: 'shown' });
    if (v.large) {
      shown.append(el('button', { class: 'open-bytes', text: 'bytes (' + v.bytes + ')',
                                  onclick: guard(() => showBytes(block.path, v.tid, 0)) }));
    } else {
      shown.textContent = v.shown;
    }
    body.append(el('tr', { 'data-tid': v.tid },
                   el('td', { text: v.tid }), el('td', { text: v.name || '' }),
                   el('td', { text: v.form + (v.encoding ? ' (' + v.encoding + ')' : '') }),
                   el('td', { text: v.bytes }), shown));
  }
  const items = $('block-items');
  items.replaceChildren();
  for (const item of block.items) {
    const li = el('li', { text: 'item ' + tidText(item) + ': ' + item.count + ' block(s) ' });
    if (item.count > 0) li.append(pathLink(block.path.replace(/\/$/, '') + '/' + item.tid + ':0'));
    items.append(li);
  }
  const refs = $('block-refs');
  refs.replaceChildren();
  for (const r of block.references || []) {
    const li = el('li', { class: 'reference', text: 'reference 112:' + r.index + ' (number ' + (r.number ?? '?') + ') \u2192 ' });
    li.append(r.target ? pathLink(r.target) : r.error);
    refs.append(li);
  }
}

// ---- bytes ----

const kPage = 256;
let bytesAt = null;

async function showBytes(path, tid, offset) {
  const page = await api('bytes', { path, tid, offset, count: kPage });
  bytesAt = { path, tid, offset: page.offset, total: page.total };
  $('bytes').hidden = false;
  $('bytes-tid').textContent = tid;
  $('bytes-path').textContent = path;
  $('bytes-range').textContent = 'bytes ' + page.offset + '..' + (page.offset + page.hex.length / 2) + ' of ' + page.total;
  const lines = [];
  for (let i = 0; i < page.hex.length; i += 32) {
    const hex = page.hex.slice(i, i + 32);
    let text = '';
    for (let j = 0; j < hex.length; j += 2) {
      const c = parseInt(hex.slice(j, j + 2), 16);
      text += c >= 32 && c < 127 ? String.fromCharCode(c) : '.';
    }
    const offset = (page.offset + i / 2).toString(16).padStart(8, '0');
    lines.push(offset + '  ' + hex.replace(/(..)/g, '$1 ').padEnd(48) + ' ' + text);
  }
  $('bytes-lines').textContent = lines.join('\n');
}

// ---- find and check ----

function showResults(title, entries) {
  $('results').hidden = false;
  $('results-title').textContent = title;
  const list = $('results-list');
  list.replaceChildren();
  for (const entry of entries) {
    const li = el('li');
    if (entry.path) li.append(pathLink(entry.path));
    if (entry.what) li.append((entry.path ? ': ' : '') + entry.what);
    list.append(li);
  }
}

async function find() {
  const found = await api('find', { item: $('find-item').value, keytid: $('find-keytid').value, key: $('find-key').value });
  showResults(found.paths.length + (found.more ? '+' : '') + ' block(s) found', found.paths.map((path) => ({ path })));
}

async function check() {
  const result = await api('check');
  showResults(result.references + ' reference(s), ' + result.total + ' problem(s)', result.problems);
}

// ---- recording ----

let channels = [];
let plot = null;
let view = null;  // {from, to} in milliseconds
const colours = ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#8c564b', '#e377c2', '#17becf'];

function chosen() {
  return [...$('channels').querySelectorAll('input:checked')].map((box) => channels[Number(box.value)]);
}

function fullWindow(list) {
  let to = 0;
  for (const c of list) to = Math.max(to, c.samples * c.periodMs);
  return { from: 0, to: Math.max(to - 1, 1) };
}

async function loadChannels() {
  channels = (await api('channels')).channels;
  if (channels.length === 0) return;
  $('recording').hidden = false;
  const body = $('channels').querySelector('tbody');
  for (const [i, c] of channels.entries()) {
    const box = el('input', { type: 'checkbox', value: String(i), disabled: c.periodMs === 0 });
    const scaling = c.physical ? 'table "' + c.scalingName + '" (' + c.tablePoints + ' points): physical'
                  : c.scaling ? c.scaling + ' "' + c.scalingName + '": raw samples' : 'raw samples';
    body.append(el('tr', { 'data-module': c.module }, el('td', {}, box), el('td', { text: c.name }),
                   el('td', { text: c.source }), el('td', { text: c.periodMs ? c.periodMs + ' ms' : 'unknown' }),
                   el('td', { text: c.samples }), el('td', { text: scaling })));
  }
}

async function draw() {
  const list = chosen();
  if (list.length === 0) throw new Error('choose one or more channels to plot');
  if (!view) view = fullWindow(list);
  const box = $('plot');
  const width = Math.max(box.clientWidth - 20, 200);
  const n = Math.min(Math.floor(width), 4000);
  const replies = await Promise.all(list.map((c) => api('buckets', { ch: c.module, from: view.from, to: view.to, n })));
  const tables = replies.map((r) => [r.t, r.max, r.min]);
  const data = uPlot.join(tables);
  const series = [{ label: 'time (s)' }];
  const bands = [];
  const axes = [{ label: 'time (s)' }];
  const readout = $('readout').querySelector('tbody');
  readout.replaceChildren();
  list.forEach((c, i) => {
    const colour = colours[i % colours.length];
    const units = replies[i].physical ? 'physical' : 'raw';
    const scale = 'y' + i;
    series.push({ label: c.name + ' max (' + units + ')', stroke: colour, scale, spanGaps: true },
                { label: c.name + ' min (' + units + ')', stroke: colour, scale, spanGaps: true });
    bands.push({ series: [1 + 2 * i, 2 + 2 * i], fill: colour + '33' });
    if (i < 2) axes.push({ scale, label: c.name + ' (' + units + ')', stroke: colour, side: i === 0 ? 3 : 1, grid: { show: i === 0 } });
    const r = replies[i];
    const lo = r.min.length ? Math.min(...r.min) : null;
    const hi = r.max.length ? Math.max(...r.max) : null;
    readout.append(el('tr', { 'data-module': c.module }, el('td', { text: c.name }), el('td', { text: units }),
                      el('td', { class: 'first', text: r.begin }), el('td', { class: 'end', text: r.end }),
                      el('td', { class: 'min', text: lo === null ? '' : String(lo) }),
                      el('td', { class: 'max', text: hi === null ? '' : String(hi) })));
  });
  const options = {
    width, height: 320, series, bands, axes,
    scales: { x: { time: false, min: view.from / 1000, max: view.to / 1000 } },
    cursor: { drag: { x: true, y: false, setScale: false } },
    hooks: { setSelect: [(u) => {
      if (u.select.width < 3) return;
      const from = u.posToVal(u.select.left, 'x') * 1000;
      const to = u.posToVal(u.select.left + u.select.width, 'x') * 1000;
      u.setSelect({ left: 0, width: 0 }, false);
      view = { from: Math.max(0, from), to };
      guard(draw)();
    }] },
  };
  if (plot) plot.destroy();
  plot = new uPlot(options, data, box);
  $('plot-window').textContent = 'window ' + (view.from / 1000).toFixed(3) + ' s .. ' + (view.to / 1000).toFixed(3) + ' s';
}

function zoom(factor, shift) {
  return guard(async () => {
    if (!view) view = fullWindow(chosen());
    const span = view.to - view.from;
    const centre = (view.from + view.to) / 2 + shift * span;
    const half = Math.max(span * factor / 2, 1);
    view = { from: Math.max(0, centre - half), to: centre + half };
    await draw();
  });
}

// ---- start ----

async function start() {
  $('pathbar').addEventListener('submit', (e) => { e.preventDefault(); guard(() => goTo($('path').value))(); });
  $('find').addEventListener('submit', (e) => { e.preventDefault(); guard(find)(); });
  $('check-run').addEventListener('click', guard(check));
  $('bytes-prev').addEventListener('click', guard(() => showBytes(bytesAt.path, bytesAt.tid, Math.max(0, bytesAt.offset - kPage))));
  $('bytes-next').addEventListener('click', guard(() => showBytes(bytesAt.path, bytesAt.tid,
    bytesAt.offset + kPage < bytesAt.total ? bytesAt.offset + kPage : bytesAt.offset)));
  $('plot-draw').addEventListener('click', guard(async () => { view = null; await draw(); }));
  $('zoom-in').addEventListener('click', zoom(0.25, 0));
  $('zoom-out').addEventListener('click', zoom(4, 0));
  $('pan-left').addEventListener('click', zoom(1, -0.5));
  $('pan-right').addEventListener('click', zoom(1, 0.5));
  $('zoom-reset').addEventListener('click', guard(async () => { view = null; await draw(); }));
  const info = await api('info');
  $('file').textContent = info.file;
  const root = el('ul');
  root.append(blockNode('/', '/', info.rootValues + ' values, ' + info.rootItems + ' items'));
  $('tree').append(root);
  await expandBlock(root.firstChild);
  document.body.dataset.ready = 'tree';
  document.body.dataset.treeMs = String(Math.round(performance.now()));  // since navigation began
  await loadChannels();
  document.body.dataset.ready = 'all';
}

guard(start)();
