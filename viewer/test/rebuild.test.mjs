// Frame rebuilding of the viewer's frame store: whatever order frames are
// asked in (forward, backward, jumps between key frames), the canvas holds
// for every block the cell the decoding rule names: the latest difference
// entry since the key frame that has a sprite for it, else the key frame.
// The canvas here is a stand-in that records which cell each block shows.
import { test, describe, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { viewer, tempDir, makeClip, publish, run } from './support.mjs';

// A canvas stand-in: per 8x8 block the label of what was drawn there.
function fakeCanvas(width, height) {
  const cols = Math.ceil(width / 8);
  const grid = new Array(cols * Math.ceil(height / 8)).fill(null);
  const canvas = { width, height, grid, draws: 0 };
  canvas.getContext = () => ({
    clearRect() { grid.fill(null); },
    drawImage(src, ...a) {
      canvas.draws++;
      if (a.length === 2) {
        for (let b = 0; b < grid.length; b++) grid[b] = src.grid ? src.grid[b] : `${src.id}@${b}`;
        return;
      }
      // A strip of blocks along one row of the frame and of the sheet.
      const [sx, sy, sw, sh, dx, dy, dw, dh] = a;
      assert.ok(sw === dw && sh === 8 && dh === 8 && sw % 8 === 0 && dx + dw <= cols * 8, `a strip of whole blocks: ${a}`);
      const c = Math.ceil(src.width / 8);
      assert.ok(sx + sw <= c * 8, 'the strip stays in its sheet row');
      for (let k = 0; k < sw / 8; k++) {
        const at = (sy / 8) * c + sx / 8 + k;
        // From a rebuilt key frame its block there, from a plain key frame
        // its picture there, else a sheet's cell.
        grid[(dy / 8) * cols + dx / 8 + k] = src.grid ? src.grid[at] : src.plain ? `${src.id}@${at}` : `${src.id}#${at}`;
      }
    },
  });
  return canvas;
}

// The decoding rule, written out directly.
function expectedFrame(index, j) {
  const blocks = Math.ceil(index.width / 8) * Math.ceil(index.height / 8);
  const base = index.entries[j].base;
  const out = new Array(blocks);
  if (index.entries[base].kind === 'N') for (let b = 0; b < blocks; b++) out[b] = `e${base}@${b}`;
  else for (const s of index.entries[base].sprites) out[s.block] = `e${base}#${s.cell}`;
  for (let i = base + 1; i <= j; i++) for (const s of index.entries[i].sprites) out[s.block] = `e${s.sheet}#${s.cell}`;
  return out;
}

function storeOf(index) {
  const images = index.entries.map((e, i) => (e.kind === 'd' ? null : { id: `e${i}`, width: e.kind === 'D' ? 320 : Math.ceil(index.width / 8) * 8, plain: e.kind === 'N' }));
  const store = new viewer.FrameStore(index, images, fakeCanvas);
  index.entries.forEach((e, i) => { if (images[i]) store.loaded(i, images[i]); });
  return store;
}

function checkOrder(index, order) {
  const store = storeOf(index);
  for (const j of order) assert.deepEqual(store.frame(j).grid, expectedFrame(index, j), `entry ${j}`);
  return store;
}

let indexes;
before(() => {
  const dir = tempDir('rebuild');
  const clip = makeClip(dir, 80);
  const page = publish(clip, path.join(dir, 'album'), '20,120 300,140');
  const mixed = path.join(dir, 'mixed', 'm.txt');
  fs.mkdirSync(path.dirname(mixed));
  // Key frames, sorted key frames and runs of difference frames.
  run(['encode', clip, mixed, '--size', '100x60', '--flags', '1333303333' + '2333333333' + '3333333333' + '1303033333' + '3333333333' + '0000000000' + '1333333333' + '2330333333']);
  indexes = {
    published: viewer.parseFrameStoreIndex(fs.readFileSync(path.join(page, 'v0.txt'))),
    mixed: viewer.parseFrameStoreIndex(fs.readFileSync(mixed)),
  };
});

describe('frame rebuild', () => {
  test('the stores under test have the entry kinds that matter', () => {
    const kinds = new Set(indexes.mixed.entries.map((e) => e.kind));
    for (const k of ['N', 'S', 'D', 'd']) assert.ok(kinds.has(k), `kind ${k}`);
    assert.ok(indexes.published.entries.length > 30);
  });
  for (const name of ['published', 'mixed']) {
    test(`${name}: forward, backward and random access agree with the rule`, () => {
      const index = indexes[name];
      const n = index.entries.length;
      const forward = [...Array(n).keys()];
      checkOrder(index, forward);
      checkOrder(index, forward.slice().reverse());
      let seed = 12345;
      const random = [];
      for (let k = 0; k < 300; k++) {
        seed = (seed * 1103515245 + 12345) % 2147483648;
        random.push(seed % n);
      }
      checkOrder(index, random);
    });
  }
  test('moving forward or back by one entry draws only that entry\'s sprites, neighbours as one strip', () => {
    const index = indexes.published;
    const store = storeOf(index);
    // The last entry with sprites that shares its key frame with the one before.
    let last = index.entries.length - 1;
    while (last > 1 && !(index.entries[last].sprites.length > 0 && index.entries[last].base === index.entries[last - 1].base)) last--;
    store.frame(last - 1);
    const before = store.canvas.draws;
    store.frame(last);
    const draws = store.canvas.draws - before;
    assert.ok(draws >= 1 && draws <= index.entries[last].sprites.length, `${draws} draws for ${index.entries[last].sprites.length} sprites`);
    assert.deepEqual(store.canvas.grid, expectedFrame(index, last));
    // Back by one entry puts back only the blocks that entry covered.
    const back = store.canvas.draws;
    store.frame(last - 1);
    const undone = store.canvas.draws - back;
    assert.ok(undone >= 1 && undone <= index.entries[last].sprites.length, `${undone} draws back for ${index.entries[last].sprites.length} sprites`);
    assert.deepEqual(store.canvas.grid, expectedFrame(index, last - 1));
    // A sorted key frame groups like blocks, many of them neighbours: they
    // go as strips.
    const key = index.entries.findIndex((e) => e.kind === 'S');
    const keyStore = storeOf(index);
    const keyCanvas = keyStore.keyFrame(key);
    assert.deepEqual(keyCanvas.grid, expectedFrame(index, key));
    assert.ok(keyCanvas.draws < index.entries[key].sprites.length, `${keyCanvas.draws} draws for ${index.entries[key].sprites.length} blocks`);
  });
  test('a frame stays unavailable until its images have loaded', () => {
    const index = indexes.mixed;
    const store = new viewer.FrameStore(index, index.entries.map(() => null), fakeCanvas);
    const d = index.entries.findIndex((e) => e.kind === 'd');
    assert.equal(store.frame(d), null);
  });
});
