// VELTRO viewer for today's browsers. Publishing copies this script into every
// page beside "veltro.txt" and the frame stores. It finds the page's applet
// element (its size and PARAMs), puts a canvas in its place and plays the page
// the way the program's play tool does: dragging along a path moves the clip
// through the path's frames, snapped to the frames the frame stores hold.
//
// Data comes from "veltro-data.js" when present (a page opened from file://
// cannot fetch), otherwise by fetching. Images load as image elements and
// frames are rebuilt by drawing 8x8 cells of the sheets onto canvases, never
// by reading pixels, so file:// images that taint a canvas still work.
//
// In Node the decoders are exported for tests and nothing runs.
(function (root) {
  'use strict';

  // ---------------------------------------------------------------- limits
  // Largest viewer data file or index accepted (real ones are kilobytes).
  const MAX_FILE_BYTES = 64 << 20;
  // Header bounds of a frame store index (width, height, entries).
  const MAX_INDEX_VALUE = 10000;
  const MAX_DOCUMENT_LENGTH = 100000;
  const MAX_PATH_POINTS = 10000;
  // Most block numbers one index may code (16 Mi values, 128 MiB at worst;
  // real stores hold a few hundred thousand). With codes of at least one bit
  // each the count is also bounded by the bits left in the file.
  const MAX_BLOCK_NUMBERS = 1 << 24;
  const FAR_AWAY = 10000000;
  // Time between two thumbnail pictures of a path that has several.
  const THUMBNAIL_TICK_MS = 300;
  const TINY = 1e-10;

  class FormatError extends Error {}

  // ------------------------------------------------------------- escaping
  // Undoes the NCRF escaping: without the "NCRF" prefix the bytes stand as
  // they are; with it, 0x01 x becomes CR (x = 2), LF (x = 3) or x, and raw CR
  // and LF bytes are dropped.
  function ncrfUnescape(bytes) {
    if (!(bytes.length >= 4 && bytes[0] === 0x4e && bytes[1] === 0x43 && bytes[2] === 0x52 && bytes[3] === 0x46)) {
      return { escaped: false, bytes };
    }
    const out = new Uint8Array(bytes.length - 4);
    let n = 0;
    for (let i = 4; i < bytes.length; i++) {
      const b = bytes[i];
      if (b === 0x0d || b === 0x0a) continue;
      if (b === 0x01 && i + 1 < bytes.length) {
        const x = bytes[++i];
        out[n++] = x === 0x02 ? 0x0d : x === 0x03 ? 0x0a : x;
      } else {
        out[n++] = b;
      }
    }
    return { escaped: true, bytes: out.subarray(0, n) };
  }

  // ------------------------------------------------------------------ DES
  // DES (FIPS 46) on bit arrays: small and plain; the viewer data file is a
  // few kilobytes, deciphered once.
  const IP = [58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4, 62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8, 57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7];
  const FP = [40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31, 38, 6, 46, 14, 54, 22, 62, 30,
    37, 5, 45, 13, 53, 21, 61, 29, 36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9, 49, 17, 57, 25];
  const E = [32, 1, 2, 3, 4, 5, 4, 5, 6, 7, 8, 9, 8, 9, 10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1];
  const P = [16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10, 2, 8, 24, 14, 32, 27, 3, 9,
    19, 13, 30, 6, 22, 11, 4, 25];
  const PC1 = [57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18, 10, 2, 59, 51, 43, 35, 27,
    19, 11, 3, 60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22,
    14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4];
  const PC2 = [14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10, 23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32];
  const SHIFTS = [1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1];
  const SBOX = [
    [14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
      4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13],
    [15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
      0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9],
    [10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
      13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12],
    [7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
      10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14],
    [2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
      4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3],
    [12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
      9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13],
    [4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
      1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12],
    [13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
      7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11],
  ];

  function toBits(bytes, offset) {
    const bits = new Uint8Array(64);
    for (let i = 0; i < 64; i++) bits[i] = (bytes[offset + (i >> 3)] >> (7 - (i & 7))) & 1;
    return bits;
  }

  function permute(bits, table) {
    const out = new Uint8Array(table.length);
    for (let i = 0; i < table.length; i++) out[i] = bits[table[i] - 1];
    return out;
  }

  // The sixteen 48-bit round keys of an 8-byte key.
  function desKeySchedule(key) {
    const cd = permute(toBits(key, 0), PC1);
    let c = Array.from(cd.subarray(0, 28));
    let d = Array.from(cd.subarray(28));
    const keys = [];
    for (const s of SHIFTS) {
      c = c.slice(s).concat(c.slice(0, s));
      d = d.slice(s).concat(d.slice(0, s));
      keys.push(permute(c.concat(d), PC2));
    }
    return keys;
  }

  function feistel(r, k) {
    const x = permute(r, E);
    for (let i = 0; i < 48; i++) x[i] ^= k[i];
    const out = new Uint8Array(32);
    for (let s = 0; s < 8; s++) {
      const b = x.subarray(s * 6, s * 6 + 6);
      const row = (b[0] << 1) | b[5];
      const col = (b[1] << 3) | (b[2] << 2) | (b[3] << 1) | b[4];
      const v = SBOX[s][row * 16 + col];
      for (let j = 0; j < 4; j++) out[s * 4 + j] = (v >> (3 - j)) & 1;
    }
    return permute(out, P);
  }

  // Enciphers (decipher = false) or deciphers one 8-byte block into out.
  function desBlock(keys, input, offset, decipher, out, outOffset) {
    const bits = permute(toBits(input, offset), IP);
    let l = bits.slice(0, 32);
    let r = bits.slice(32);
    for (let round = 0; round < 16; round++) {
      const f = feistel(r, keys[decipher ? 15 - round : round]);
      const next = new Uint8Array(32);
      for (let i = 0; i < 32; i++) next[i] = l[i] ^ f[i];
      l = r;
      r = next;
    }
    const joined = new Uint8Array(64);
    joined.set(r, 0);
    joined.set(l, 32);
    const res = permute(joined, FP);
    for (let i = 0; i < 8; i++) {
      let v = 0;
      for (let j = 0; j < 8; j++) v = (v << 1) | res[i * 8 + j];
      out[outOffset + i] = v;
    }
  }

  // DES-CBC with an all-zero vector over whole blocks.
  function desCbc(key, data, decipher) {
    if (data.length % 8 !== 0) throw new FormatError('enciphered data is not a whole number of blocks');
    const keys = desKeySchedule(key);
    const out = new Uint8Array(data.length);
    const chain = new Uint8Array(8);
    const block = new Uint8Array(8);
    for (let o = 0; o < data.length; o += 8) {
      if (decipher) {
        desBlock(keys, data, o, true, out, o);
        for (let i = 0; i < 8; i++) {
          out[o + i] ^= chain[i];
          chain[i] = data[o + i];
        }
      } else {
        for (let i = 0; i < 8; i++) block[i] = data[o + i] ^ chain[i];
        desBlock(keys, block, 0, false, out, o);
        chain.set(out.subarray(o, o + 8));
      }
    }
    return out;
  }

  // The viewer data key: "12071998" with each byte's top bit set when its
  // low seven bits hold an even number of 1 bits.
  function viewerKey() {
    const text = String(1207 * 10000 + 1998).padStart(8, '0');
    const key = new Uint8Array(8);
    for (let i = 0; i < 8; i++) {
      const low = text.charCodeAt(i) & 0x7f;
      let ones = 0;
      for (let v = low; v; v >>= 1) ones += v & 1;
      key[i] = low | (ones % 2 === 0 ? 0x80 : 0);
    }
    return key;
  }

  // ---------------------------------------------------------- body reader
  class ByteReader {
    constructor(bytes) {
      this.bytes = bytes;
      this.pos = 0;
    }
    need(n) {
      if (this.pos + n > this.bytes.length) throw new FormatError('the data ends too early');
    }
    u8() {
      this.need(1);
      return this.bytes[this.pos++];
    }
    u16() {
      this.need(2);
      const v = (this.bytes[this.pos] << 8) | this.bytes[this.pos + 1];
      this.pos += 2;
      return v;
    }
    i16() {
      const v = this.u16();
      return v >= 0x8000 ? v - 0x10000 : v;
    }
    u32() {
      this.need(4);
      const b = this.bytes;
      const v = ((b[this.pos] << 24) >>> 0) + (b[this.pos + 1] << 16) + (b[this.pos + 2] << 8) + b[this.pos + 3];
      this.pos += 4;
      return v;
    }
    text(n) {
      this.need(n);
      const s = this.bytes.subarray(this.pos, this.pos + n);
      this.pos += n;
      return latin1(s);
    }
    str8() {
      return this.text(this.u8());
    }
    str16() {
      return this.text(this.u16());
    }
  }

  function latin1(bytes) {
    let s = '';
    for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
    return s;
  }

  // A file name the page may load: no directories, nothing leaving the page.
  function safeName(name) {
    return name.length > 0 && !/[\\/]/.test(name) && name !== '..' && name !== '.';
  }

  const clampFrame = (v) => Math.min(v, 0x7fffffff);

  // Parses the stored bytes of a viewer data file (escaped or not,
  // enciphered or the older form). Throws FormatError for anything
  // malformed. Lists are bounded by the input length.
  function parseViewerData(stored) {
    if (stored.length > MAX_FILE_BYTES) throw new FormatError('the file is too large');
    let body = ncrfUnescape(stored).bytes;
    const data = { hasHeader: true, headerValue: 0 };
    if (body.length >= 2 && body[0] === 0x00 && body[1] === 0x03) {
      data.hasHeader = false;
    } else {
      body = desCbc(viewerKey(), body, true);
    }
    const r = new ByteReader(body);
    if (data.hasHeader) {
      r.u32();
      data.headerValue = r.u32();
      r.u32();
      r.u8();
    }
    data.version = r.u16();
    if (data.version !== 3) throw new FormatError('unknown version ' + data.version);
    data.movieCount = r.u16();
    const names = (what) => {
      const list = [];
      for (let n = r.u16(), i = 0; i < n; i++) {
        const name = r.str8();
        if (!safeName(name)) throw new FormatError('a ' + what + ' name leaves the page');
        list.push(name);
      }
      return list;
    };
    data.imageNames = names('image');
    data.soundNames = names('sound');
    data.width = r.u16();
    data.height = r.u16();
    data.length = r.u16();
    data.objects = [];
    for (let n = r.u16(), i = 0; i < n; i++) data.objects.push(readObject(r));
    data.events = [];
    for (let n = r.u16(), i = 0; i < n; i++) data.events.push(readEvent(r));
    // Only the cipher's padding (0x0A, less than a block) may follow.
    const rest = body.length - r.pos;
    if (rest >= 8 || !body.subarray(r.pos).every((b) => b === 0x0a)) throw new FormatError('bytes are left over');
    return data;
  }

  function readObject(r) {
    const o = { type: r.u8() };
    if (o.type > 2) throw new FormatError('unknown object type ' + o.type);
    o.x = r.i16();
    o.y = r.i16();
    o.w = r.u16();
    o.h = r.u16();
    o.ranges = [];
    for (let n = r.u16(), i = 0; i < n; i++) o.ranges.push([clampFrame(r.u32()), clampFrame(r.u32())]);
    o.exported = 1;
    if (o.type !== 2) {
      o.mediaIndex = r.i16();
      return o;
    }
    o.pathImage = [];
    o.pathWidth = [];
    o.pathColor = [];
    for (let s = 0; s < 3; s++) {
      o.pathImage.push(r.i16());
      o.pathWidth.push(r.u8());
      o.pathColor.push((r.u8() << 16) | (r.u8() << 8) | r.u8());
    }
    o.arrow = r.u8();
    o.bezier = r.u8();
    o.distance = r.u8();
    o.fromThumbnails = 0;
    o.thumbnailImages = [];
    for (let n = r.u8(), i = 0; i < n; i++) o.thumbnailImages.push(r.i16());
    o.keep = r.u8();
    o.thumbnailDir = r.u8();
    const count = r.u16();
    if (count > MAX_PATH_POINTS) throw new FormatError('a path has too many points');
    o.points = [];
    for (let i = 0; i < count; i++) {
      const x = r.u16();
      const y = r.u16();
      const frame = clampFrame(r.u32());
      const normal = r.u8();
      o.points.push({ x, y, frame, handOver: normal === 0, nx: 0, ny: 0, zone: false });
    }
    computeNormals(o.points);
    return o;
  }

  function readEvent(r) {
    const e = { type: r.u8(), start: r.u32(), end: r.u32(), extra: r.u32() };
    switch (e.type) {
      case 0: e.value = r.u8(); break;
      case 1: e.frames = []; for (let n = r.u16(), i = 0; i < n; i++) e.frames.push(r.u32()); break;
      case 2: e.value = r.u8(); e.soundIndex = r.i16(); break;
      case 3: e.text1 = r.str8(); e.text2 = r.str16(); break;
      case 4: e.text1 = r.str16(); break;
      default: throw new FormatError('unknown event type ' + e.type);
    }
    return e;
  }

  // --------------------------------------------------- block-number list
  class BitReader {
    constructor(bytes, offset) {
      this.bytes = bytes;
      this.bit = offset * 8;
    }
    read(n) {
      let v = 0;
      for (let i = 0; i < n; i++) {
        const byte = this.bit >> 3;
        if (byte >= this.bytes.length) throw new FormatError('the block-number list ends too early');
        v = v * 2 + ((this.bytes[byte] >> (7 - (this.bit & 7))) & 1);
        this.bit++;
      }
      return v;
    }
  }

  // Decodes the Huffman-coded block-number list at offset; more than
  // maxCount values is malformed. The tree is read without recursion, so a
  // hostile one of 131071 nodes cannot exhaust the stack.
  function decodeBlockNumbers(bytes, offset, maxCount) {
    const r = new BitReader(bytes, offset);
    const count = r.read(31);
    const max = r.read(16);
    if (count > maxCount) throw new FormatError('the block-number list is longer than its frame store can use');
    let width = 0;
    while (width < 17 && 2 ** width <= max) width++;
    // Children of the internal nodes (at most max of them), typed so that
    // the out-of-order filling stays fast.
    const left = new Int32Array(max + 1);
    const right = new Int32Array(max + 1);
    let next = max + 1;
    let root = -1;
    const stack = []; // internal nodes whose right child is still to come
    const pending = []; // per stack entry: 0 = left child next, 1 = right
    for (;;) {
      let node;
      if (r.read(1) === 0) {
        node = r.read(width);
      } else {
        node = next++;
        if (node >= 2 * max + 1) throw new FormatError('the block-number tree is malformed');
        stack.push(node);
        pending.push(0);
        continue;
      }
      // Attach the finished node, closing every parent it completes.
      for (;;) {
        if (stack.length === 0) {
          root = node;
          break;
        }
        const top = stack.length - 1;
        if (pending[top] === 0) {
          left[stack[top] - max - 1] = node;
          pending[top] = 1;
          break;
        }
        right[stack[top] - max - 1] = node;
        node = stack.pop();
        pending.pop();
      }
      if (root >= 0) break;
    }
    if (root > max && count > bytes.length * 8 - r.bit) throw new FormatError('the block-number list ends too early');
    // The codes, read bit by bit without a call per bit (this list holds
    // most of an index and decides how soon the first picture shows).
    // Filled by push: an array made at a large length starts out sparse
    // (dictionary elements), which is many times slower to fill.
    const values = [];
    const end = bytes.length * 8;
    let bit = r.bit;
    for (let i = 0; i < count; i++) {
      let node = root;
      while (node > max) {
        if (bit >= end) throw new FormatError('the block-number list ends too early');
        const one = (bytes[bit >> 3] >> (7 - (bit & 7))) & 1;
        bit++;
        node = one ? right[node - max - 1] : left[node - max - 1];
      }
      values.push(node);
    }
    return values;
  }

  // ------------------------------------------------------ frame store index
  // Parses an index: header, entries and each entry's sprites as
  // {entry (whose image holds the sheet), cell, block}. Throws FormatError.
  // onEntries, when given, gets the entry list as soon as its lines are read
  // (before the block numbers, the slow part), so that images can be asked
  // for meanwhile.
  function parseFrameStoreIndex(stored, onEntries) {
    if (stored.length > MAX_FILE_BYTES) throw new FormatError('the index is too large');
    const bytes = ncrfUnescape(stored).bytes;
    let pos = 0;
    const line = () => {
      if (pos >= bytes.length) return null;
      let end = bytes.indexOf(0x0a, pos);
      if (end < 0) end = bytes.length;
      const s = latin1(bytes.subarray(pos, end)).replace(/\r$/, '');
      pos = end + 1;
      return s;
    };
    const header = (line() || '').trim().split(/ +/).map(Number);
    const [width, height, positions, count] = header;
    if (header.length < 4 || !header.every(Number.isInteger) || width < 1 || height < 1 || width > MAX_INDEX_VALUE ||
      height > MAX_INDEX_VALUE || positions < 0 || count < 0 || count > MAX_INDEX_VALUE) {
      throw new FormatError('the index header is missing or out of range');
    }
    const entries = [];
    let base = -1;
    for (let e = 0; e < count; e++) {
      const text = line();
      const m = text === null ? null : /^([NSDd]) (-?\d+)(?: (.*))?$/.exec(text);
      if (!m) throw new FormatError('entry line ' + e + ' is missing or malformed');
      const entry = { kind: m[1], position: Number(m[2]), name: m[3] || '', sprites: [], base };
      if (entry.kind !== 'd' && !safeName(entry.name)) throw new FormatError('entry ' + e + ' names no page file');
      if (entry.kind === 'N' || entry.kind === 'S') base = e;
      entry.base = entry.kind === 'N' || entry.kind === 'S' ? e : base;
      entries.push(entry);
    }
    if (onEntries) onEntries(entries);
    const cols = Math.ceil(width / 8);
    const blocksPerFrame = cols * Math.ceil(height / 8);
    if (pos < bytes.length && bytes[pos] === 0x43) {
      let start = bytes.indexOf(0x0a, pos);
      start = start < 0 ? bytes.length : start + 1;
      const maxCount = Math.min(MAX_BLOCK_NUMBERS, count * (1 + 2 * blocksPerFrame) + count);
      const values = decodeBlockNumbers(bytes, start, maxCount);
      let cursor = 0;
      const take = () => {
        if (cursor >= values.length) throw new FormatError('the block-number list ends too early');
        return values[cursor++];
      };
      entries.forEach((entry, e) => {
        if (entry.kind === 'S') {
          const m = take();
          for (let k = 0; k < m; k++) {
            const block = take();
            if (block >= blocksPerFrame) throw new FormatError('a block number is out of range');
            entry.sprites.push({ sheet: e, cell: k, block });
          }
        } else if (entry.kind === 'D') {
          const m = take();
          for (let k = 0; k < m; k++) {
            const owner = take();
            const block = take();
            if (owner >= entries.length || block >= blocksPerFrame || entries[owner].kind === 'N' ||
              entries[owner].kind === 'S') {
              throw new FormatError('a sprite names no difference entry');
            }
            entries[owner].sprites.push({ sheet: e, cell: k, block });
          }
        }
      });
    }
    for (const entry of entries) {
      if ((entry.kind === 'D' || entry.kind === 'd') && entry.base < 0) {
        throw new FormatError('a difference entry has no key frame above it');
      }
    }
    return { width, height, positions, entries, columns: cols };
  }

  // The entry frameAt(position) shows: the last one whose position is not
  // greater, entry 0 for positions before it.
  function entryForPosition(entries, position) {
    let chosen = 0;
    for (let i = 1; i < entries.length; i++) {
      if (entries[i].position > position) break;
      chosen = i;
    }
    return chosen;
  }

  // ------------------------------------------------------------- geometry
  function computeNormals(p) {
    const n = p.length;
    if (n < 2) return;
    p[0].nx = -(p[1].y - p[0].y);
    p[0].ny = p[1].x - p[0].x;
    p[n - 1].nx = -(p[n - 1].y - p[n - 2].y);
    p[n - 1].ny = p[n - 1].x - p[n - 2].x;
    for (let i = 1; i < n - 1; i++) {
      const a = Math.atan2(p[i].y - p[i - 1].y, p[i].x - p[i - 1].x);
      const b = Math.atan2(p[i + 1].y - p[i].y, p[i + 1].x - p[i].x);
      const angle = a + (Math.PI - (a - b)) / 2;
      p[i].nx = Math.cos(angle);
      p[i].ny = Math.sin(angle);
    }
  }

  // sqrt(x² + y²) rounds like the C library's hypot on the values paths
  // produce; Math.hypot may differ in the last bit, which moves frames that
  // fall exactly between two.
  const hypot = (x, y) => Math.sqrt(x * x + y * y);
  const pointDistance = (px, py, p) => hypot(px - p.x, py - p.y);

  function lineDistance(px, py, a, b) {
    const dx = b.x - a.x;
    const dy = b.y - a.y;
    const len = hypot(dx, dy);
    if (len < TINY) return pointDistance(px, py, b);
    return Math.abs(dx * (py - a.y) - dy * (px - a.x)) / len;
  }

  function projectionParameter(px, py, a, b) {
    const dx = b.x - a.x;
    const dy = b.y - a.y;
    const len2 = dx * dx + dy * dy;
    if (len2 < TINY) return 0;
    return ((px - a.x) * dx + (py - a.y) * dy) / len2;
  }

  function markZones(p, x, y) {
    for (let i = 1; i < p.length; i++) {
      const a = p[i - 1];
      const b = p[i];
      const sideA = ((x - a.x) * a.ny - (y - a.y) * a.nx) * (a.ny * (b.x - a.x) - a.nx * (b.y - a.y));
      const sideB = ((x - b.x) * b.ny - (y - b.y) * b.nx) * (b.ny * (a.x - b.x) - b.nx * (a.y - b.y));
      p[i].zone = sideA >= 0 && sideB >= 0;
    }
  }

  function segmentForFrame(p, frame) {
    for (let i = 1; i < p.length; i++) if ((p[i].frame - frame) * (p[i - 1].frame - frame) <= 0) return i;
    return -1;
  }

  function interpolate(p, x, y, s) {
    if (s < 1 || s >= p.length) return 0;
    const a = p[s - 1];
    const b = p[s];
    const dx = b.x - a.x;
    const dy = b.y - a.y;
    const crossA = a.nx * dy - a.ny * dx;
    const crossB = b.nx * dy - b.ny * dx;
    if (Math.abs(crossB) <= TINY || Math.abs(crossA) <= TINY) return b.frame;
    const tA = ((x - a.x) * dy - (y - a.y) * dx) / crossA;
    const tB = ((x - b.x) * dy - (y - b.y) * dx) / crossB;
    const pA = hypot(a.x + tA * a.nx - x, a.y + tA * a.ny - y);
    const pB = hypot(b.x + tB * b.nx - x, b.y + tB * b.ny - y);
    if (!(pA + pB > TINY)) return b.frame;
    return (pA * b.frame + pB * a.frame) / (pA + pB);
  }

  // The pointer as a frame value: {frame, index}, or null for a path of
  // fewer than 2 points. current is the frame shown now; while the pointer
  // stays in the zone of the segment holding it, that segment keeps the drag.
  function project(p, x, y, current) {
    const n = p.length;
    if (n < 2) return null;
    markZones(p, x, y);
    const segDist = (i) => lineDistance(x, y, p[i - 1], p[i]);
    let chosen = -1;
    let end = 0;
    const o = segmentForFrame(p, current);
    if (o > 0 && p[o].zone) {
      chosen = o;
    } else {
      for (let i = 0; i < n; i++) if (p[i].x === x && p[i].y === y) return { frame: p[i].frame, index: i };
      let best = pointDistance(x, y, p[0]);
      const toLast = pointDistance(x, y, p[n - 1]);
      if (toLast < best) {
        best = toLast;
        end = n - 1;
      }
      let previousWins = false;
      if (o >= 2 && p[o - 1].zone) {
        const d = segDist(o - 1);
        if (d < best) {
          best = d;
          chosen = o - 1;
          previousWins = true;
        }
      }
      let nextWins = false;
      if (o >= 0 && o + 1 < n && p[o + 1].zone) {
        const d = segDist(o + 1);
        if (d < best) {
          best = d;
          chosen = o + 1;
          nextWins = true;
        }
      }
      if (!nextWins) {
        if (previousWins) {
          chosen = o - 1;
        } else {
          chosen = -1;
          for (let i = 1; i < n; i++) {
            if (!p[i].zone) continue;
            const d = segDist(i);
            if (d < best) {
              best = d;
              chosen = i;
            }
          }
        }
      }
    }
    if (chosen > 0) return { frame: interpolate(p, x, y, chosen), index: chosen };
    return { frame: p[end].frame, index: end };
  }

  // The Bézier curve over all points at parameter t.
  function bezierAt(p, t) {
    const n = p.length;
    const degree = n - 1;
    let x = 0;
    let y = 0;
    if (degree > 1000) {
      if (t <= 0 || t >= 1) return [p[t <= 0 ? 0 : n - 1].x, p[t <= 0 ? 0 : n - 1].y];
      const lt = Math.log(t);
      const lu = Math.log1p(-t);
      let lc = 0; // log of the binomial coefficient, built up term by term
      for (let i = 0; i < n; i++) {
        if (i > 0) lc += Math.log((degree - i + 1) / i);
        const w = Math.exp(lc + (degree - i) * lu + i * lt);
        x += w * p[i].x;
        y += w * p[i].y;
      }
      return [x, y];
    }
    let tPower = 1;
    for (let i = 0; i < n; i++) {
      const k = Math.min(i, degree - i);
      let c = 1;
      for (let j = 1; j <= k; j++) c = (c * (degree - k + j)) / j;
      const w = c * (1 - t) ** (degree - i) * tPower;
      x += w * p[i].x;
      y += w * p[i].y;
      tPower *= t;
    }
    return [x, y];
  }

  const usesBezier = (o) => o.bezier !== 0 && o.points.length > 2;

  // Distance (truncated) from (x, y) to the object's shape.
  function distanceTo(o, x, y) {
    const p = o.points;
    if (p.length < 2) return FAR_AWAY;
    let best = FAR_AWAY;
    if (usesBezier(o)) {
      for (let k = 0; k <= 100; k++) {
        const [bx, by] = bezierAt(p, k / 100);
        const dx = Math.trunc(bx - x);
        const dy = Math.trunc(by - y);
        best = Math.min(best, Math.sqrt(dx * dx + dy * dy));
      }
      return Math.trunc(best);
    }
    for (const q of p) best = Math.min(best, hypot(x - q.x, y - q.y));
    for (let i = 1; i < p.length; i++) {
      const u = projectionParameter(x, y, p[i - 1], p[i]);
      if (u >= 0 && u <= 1) best = Math.min(best, lineDistance(x, y, p[i - 1], p[i]));
    }
    return Math.trunc(best);
  }

  // --------------------------------------------------------------- player
  const visibleAt = (o, f) => o.ranges.some(([a, b]) => a <= f && f <= b);

  // The document a page describes and the play rules over it, without any
  // drawing: what the program's play tool does with pointer positions.
  class Player {
    // data: parsed viewer data; stores: per movie index the parsed index or
    // null when it could not be read.
    constructor(data, stores) {
      this.width = data.width;
      this.height = data.height;
      this.objects = data.objects;
      let length = Math.min(data.length, MAX_DOCUMENT_LENGTH);
      for (const o of this.objects) if (o.ranges.length) length = Math.max(length, Math.min(o.ranges[0][1] + 1, MAX_DOCUMENT_LENGTH));
      this.length = length;
      this.flags = new Uint8Array(length);
      let stored = false;
      for (const o of this.objects) {
        const store = o.type === 0 && o.mediaIndex >= 0 ? stores[o.mediaIndex] : null;
        if (!store || !o.ranges.length) continue;
        for (const e of store.entries) {
          const f = o.ranges[0][0] + e.position;
          if (f >= 0 && f < length) {
            this.flags[f] = 1;
            stored = true;
          }
        }
      }
      if (!stored) {
        // No stored movie: every frame of each path's span can be shown.
        for (const o of this.objects) {
          if (o.type !== 2 || o.points.length < 1) continue;
          const a = Math.max(0, Math.min(o.points[0].frame, o.points[o.points.length - 1].frame));
          const b = Math.min(length - 1, Math.max(o.points[0].frame, o.points[o.points.length - 1].frame));
          for (let f = a; f <= b; f++) this.flags[f] = 1;
        }
      }
      this.currentFrame = 0;
      this.dragging = false;
      this.active = null;
      this.seekFlaggedFrame(0);
    }

    // Shows the nearest flagged frame at or before n, frame 0 when none.
    seekFlaggedFrame(n) {
      let frame = 0;
      if (this.length > 0) {
        n = Math.max(0, Math.min(n, this.length - 1));
        for (let f = n; f >= 0; f--) {
          if (this.flags[f]) {
            frame = f;
            break;
          }
        }
      }
      this.currentFrame = frame;
    }

    findObjectAt(x, y) {
      if (x < 0 || x >= this.width || y < 0 || y >= this.height) return null;
      let best = null;
      let bestDistance = FAR_AWAY;
      for (const o of this.objects) {
        if (o.type !== 2 || !o.exported || !visibleAt(o, this.currentFrame)) continue;
        const d = this.distanceFrom(o, x, y);
        if (o.distance > 0 && d > o.distance) continue;
        if (d < bestDistance) {
          best = o;
          bestDistance = d;
        }
      }
      return best;
    }

    distanceFrom(o, x, y) {
      if (o.fromThumbnails) {
        const pos = positionAt(o, this.currentFrame);
        if (pos) return Math.trunc(hypot(x - pos.x, y - pos.y));
      }
      return distanceTo(o, x, y);
    }

    // 'hand' over a path, 'none' over nothing.
    hover(x, y) {
      const o = this.findObjectAt(x, y);
      this.active = o;
      return o ? 'hand' : 'none';
    }

    down(x, y) {
      this.dragging = true;
      return this.drag(x, y);
    }

    // 'grip' when a path took the position, null when nothing changed.
    drag(x, y) {
      let q = this.active;
      if (!q) return null;
      let frame = this.currentFrame;
      if (!visibleAt(q, this.currentFrame)) {
        const o = this.findObjectAt(x, y);
        if (o && o !== q) {
          this.active = o;
          const r = project(o.points, x, y, frame);
          if (r) frame = r.frame;
          q = o;
        }
      }
      const r = project(q.points, x, y, frame);
      let segment = 0;
      if (r) {
        frame = r.frame;
        segment = r.index;
      }
      if (segment === 0) segment = 1;
      if (segment < q.points.length && q.points[segment].handOver) {
        const o = this.findObjectAt(x, y);
        if (o && o !== this.active) {
          this.active = o;
          const h = project(o.points, x, y, frame);
          if (h) frame = h.frame;
        }
      }
      this.seekFlaggedFrame(Math.trunc(frame + 0.5));
      return 'grip';
    }

    up() {
      this.dragging = false;
    }

    // Shows the next thumbnail picture of every exported path visible now
    // that has more than one, as the program does every THUMBNAIL_TICK_MS;
    // true when one changed.
    tick() {
      let changed = false;
      for (const o of this.objects) {
        if (o.type !== 2 || !o.exported || o.thumbnailImages.length < 2 || !visibleAt(o, this.currentFrame)) continue;
        o.thumbnailIndex = ((o.thumbnailIndex || 0) + 1) % o.thumbnailImages.length;
        changed = true;
      }
      return changed;
    }

    // Exported paths visible now, in list order (keyboard play).
    visiblePaths() {
      return this.objects.filter((o) => o.type === 2 && o.exported && o.points.length >= 2 && visibleAt(o, this.currentFrame));
    }

    // Steps through the flagged frames of the path's span, forward (+1) or
    // back (-1); true when the frame changed.
    step(o, direction) {
      const p = o.points;
      const lo = Math.max(0, Math.min(p[0].frame, p[p.length - 1].frame));
      const hi = Math.min(this.length - 1, Math.max(p[0].frame, p[p.length - 1].frame));
      const along = p[p.length - 1].frame >= p[0].frame ? direction : -direction;
      let f = Math.max(lo, Math.min(hi, this.currentFrame));
      if (f !== this.currentFrame) {
        this.seekFlaggedFrame(f);
        return true;
      }
      for (f += along; f >= lo && f <= hi; f += along) {
        if (this.flags[f]) {
          this.currentFrame = f;
          return true;
        }
      }
      return false;
    }
  }

  // On-path position at a frame (polyline; the Bézier curve by arc length
  // share), or null.
  function positionAt(o, frame) {
    const p = o.points;
    const i = segmentForFrame(p, frame);
    if (i <= 0) return null;
    const a = p[i - 1];
    const b = p[i];
    const u = b.frame === a.frame ? 1 : (frame - a.frame) / (b.frame - a.frame);
    if (!(u >= 0 && u <= 1)) return null;
    const along = (s, t) => Math.round(s + (t - s) * u);
    if (!usesBezier(o)) return { x: along(a.x, b.x), y: along(a.y, b.y), dx: b.x - a.x, dy: b.y - a.y };
    let total = 0;
    let before = 0;
    for (let s = 1; s < p.length; s++) {
      const len = hypot(p[s].x - p[s - 1].x, p[s].y - p[s - 1].y);
      if (s < i) before += len;
      total += len;
    }
    if (!(total > 0)) return null;
    const t = (before + hypot(along(a.x, b.x) - a.x, along(a.y, b.y) - a.y)) / total;
    const [x, y] = bezierAt(p, t);
    const [x0, y0] = bezierAt(p, Math.max(0, t - 0.05));
    const [x1, y1] = bezierAt(p, Math.min(1, t + 0.05));
    return { x: Math.trunc(x), y: Math.trunc(y), dx: Math.trunc(x1 - x0), dy: Math.trunc(y1 - y0) };
  }

  // One movie's frames, rebuilt on a canvas the size of the store. The
  // current entry is kept: moving forward within the same key frame draws
  // only the newer entries' sprites. Sorted key frames are rebuilt once, and
  // every few entries the rebuilt frame is kept as a checkpoint, so a move
  // backwards redraws at most a few entries' sprites.
  class FrameStore {
    // makeCanvas(width, height) gives a canvas of the page (or a stand-in).
    constructor(index, images, makeCanvas) {
      this.index = index;
      this.images = images; // per entry: image (or bitmap) or null
      this.makeCanvas = makeCanvas;
      this.canvas = makeCanvas(index.width, index.height);
      this.ctx = this.canvas.getContext('2d');
      this.current = -1;
      this.keys = new Map();
      this.checkpoints = new Map();
      this.runs = [];
      this.undoRuns = [];
      this.linkWriters();
      // A checkpoint for every entry when they fit (at most 128 of them and
      // at most 64 MiB of pixels), else evenly spread: a step back is then
      // one copy instead of redrawing entries' sprites.
      this.maxCheckpoints = Math.max(1, Math.min(128, Math.floor((64 << 20) / (index.width * index.height * 4))));
      this.spacing = Math.max(1, Math.ceil(index.entries.length / this.maxCheckpoints));
      this.complete = false;
      // Per entry the distinct sheets its sprites come from.
      this.sheets = index.entries.map((e) => [...new Set(e.sprites.map((sp) => sp.sheet))]);
    }

    // Records a loaded image; true once every image of the store is there.
    loaded(entry, img) {
      this.images[entry] = img;
      if (!img) this.broken = true;
      this.complete = this.index.entries.every((e, i) => e.kind === 'd' || this.images[i]);
      return this.complete;
    }

    ready(entry) {
      if (this.complete) return true;
      const e = this.index.entries[entry];
      if (!this.images[e.base]) return false;
      for (let i = e.base; i <= entry; i++) for (const sheet of this.sheets[i]) if (!this.images[sheet]) return false;
      return true;
    }

    // The entry to show for a wanted one while images load: the wanted one
    // when it is ready, else the last ready entry before it on the same key
    // frame; -1 when not even the key frame is in.
    nearestReady(entry) {
      if (this.ready(entry)) return entry;
      const base = this.index.entries[entry].base;
      if (!this.images[base]) return -1;
      let last = base;
      for (let i = base + 1; i <= entry; i++) {
        if (this.sheets[i].some((sheet) => !this.images[sheet])) break;
        last = i;
      }
      return last;
    }

    // Bytes of decoded pixels this store holds: its images (decoded once
    // drawn) and its canvases.
    pixelBytes() {
      const size = (c) => (c ? 4 * (c.naturalWidth || c.width || 0) * (c.naturalHeight || c.height || 0) : 0);
      let bytes = size(this.canvas);
      for (const img of this.images) bytes += size(img);
      for (const c of this.keys.values()) bytes += size(c);
      for (const c of this.checkpoints.values()) bytes += size(c);
      return bytes;
    }

    // Draws the entry's sprites. Sprites that follow each other both in
    // their sheet row and in a row of the frame are drawn as one strip: a
    // sorted key frame is then a few dozen draws instead of one per block.
    paintSprites(ctx, entry) {
      let runs = this.runs[entry];
      if (!runs) runs = this.runs[entry] = this.spriteRuns(entry);
      for (let k = 0; k < runs.length; k += 6) {
        const w = runs[k + 5];
        ctx.drawImage(this.images[runs[k]], runs[k + 1], runs[k + 2], w, 8, runs[k + 3], runs[k + 4], w, 8);
      }
    }

    // The entry's strips as [sheet, sx, sy, dx, dy, width] sextuples.
    spriteRuns(entry) {
      const cols = this.index.columns;
      const out = [];
      let last = null;
      for (const s of this.index.entries[entry].sprites) {
        const sheet = this.images[s.sheet];
        const c = Math.ceil((sheet.naturalWidth || sheet.width) / 8) || 1;
        if (last && s.sheet === last.sheet && s.cell === last.cell + 1 && s.cell % c !== 0 && s.block === last.block + 1 && s.block % cols !== 0) {
          out[out.length - 1] += 8;
        } else {
          out.push(s.sheet, (s.cell % c) * 8, Math.floor(s.cell / c) * 8, (s.block % cols) * 8, Math.floor(s.block / cols) * 8, 8);
        }
        last = s;
      }
      return Int32Array.from(out);
    }

    snapshot() {
      const copy = this.makeCanvas(this.canvas.width, this.canvas.height);
      copy.getContext('2d').drawImage(this.canvas, 0, 0);
      return copy;
    }

    keyFrame(entry) {
      const e = this.index.entries[entry];
      if (e.kind === 'N') return this.images[entry];
      let key = this.keys.get(entry);
      if (!key) {
        key = this.makeCanvas(this.index.width, this.index.height);
        this.paintSprites(key.getContext('2d'), entry);
        this.keys.set(entry, key);
      }
      return key;
    }

    // For every sprite of a difference entry, what its block showed before
    // it: the sprite that last wrote the block since the key frame, or null
    // for the key frame itself. Going back then redraws only the blocks the
    // skipped entries changed. Also the running sprite counts, which price
    // the ways of reaching an entry.
    linkWriters() {
      const entries = this.index.entries;
      const blocks = this.index.columns * Math.ceil(this.index.height / 8);
      const last = new Array(blocks).fill(null);
      this.before = entries.map(() => null);
      this.spriteCount = new Float64Array(entries.length + 1);
      entries.forEach((e, i) => {
        this.spriteCount[i + 1] = this.spriteCount[i] + e.sprites.length;
        if (e.kind === 'N' || e.kind === 'S') {
          last.fill(null);
          return;
        }
        const before = new Array(e.sprites.length);
        e.sprites.forEach((sp, k) => {
          before[k] = last[sp.block];
          last[sp.block] = sp;
        });
        this.before[i] = before;
      });
      // A whole-frame copy costs about as much as drawing this many sprites.
      this.copyCost = Math.max(16, blocks / 32);
    }

    // Puts back what the entry's sprites covered: the canvas goes from the
    // entry's frame to the one before it. Strips as in paintSprites.
    paintUndo(ctx, entry) {
      let runs = this.undoRuns[entry];
      if (!runs) {
        const cols = this.index.columns;
        const out = [];
        const sprites = this.index.entries[entry].sprites;
        this.before[entry].forEach((w, k) => {
          const b = sprites[k].block;
          const dx = (b % cols) * 8;
          const dy = Math.floor(b / cols) * 8;
          // The source: the earlier sprite's cell, else the key frame there.
          let sheet = -1;
          let sx = dx;
          let sy = dy;
          if (w) {
            const img = this.images[w.sheet];
            const c = Math.ceil((img.naturalWidth || img.width) / 8) || 1;
            sheet = w.sheet;
            sx = (w.cell % c) * 8;
            sy = Math.floor(w.cell / c) * 8;
          }
          const n = out.length;
          // Joined to the strip before when both continue its rows.
          if (n > 0 && out[n - 6] === sheet && out[n - 4] === sy && out[n - 5] + out[n - 1] === sx && out[n - 2] === dy &&
            out[n - 3] + out[n - 1] === dx) {
            out[n - 1] += 8;
          } else {
            out.push(sheet, sx, sy, dx, dy, 8);
          }
        });
        runs = this.undoRuns[entry] = Int32Array.from(out);
      }
      const key = this.keyFrame(this.index.entries[entry].base);
      for (let k = 0; k < runs.length; k += 6) {
        const w = runs[k + 5];
        ctx.drawImage(runs[k] < 0 ? key : this.images[runs[k]], runs[k + 1], runs[k + 2], w, 8, runs[k + 3], runs[k + 4], w, 8);
      }
    }

    // The canvas holding the entry's frame; null while its images load.
    // Reached the cheapest way: from the current frame forwards (its newer
    // sprites) or backwards (putting back what the skipped entries
    // covered), or from the nearest checkpoint or key frame before it.
    frame(entry) {
      if (entry === this.current) return this.canvas;
      if (!this.ready(entry)) return null;
      const base = this.index.entries[entry].base;
      const sprites = (a, b) => this.spriteCount[b + 1] - this.spriteCount[a + 1];
      // Start from the latest state at or before the entry: a checkpoint,
      // or the key frame.
      let from = base;
      let source = this.keyFrame(base);
      const c = base + Math.floor((entry - base) / this.spacing) * this.spacing;
      for (let k = c; k > base; k -= this.spacing) {
        if (this.checkpoints.has(k)) {
          from = k;
          source = this.checkpoints.get(k);
          break;
        }
      }
      const cur = this.current;
      if (cur >= 0 && this.index.entries[cur].base === base) {
        const copy = this.copyCost + sprites(from, entry);
        if (cur < entry && sprites(cur, entry) <= copy) {
          from = cur;
          source = null;
        } else if (cur > entry && sprites(entry, cur) <= copy) {
          for (let i = cur; i > entry; i--) this.paintUndo(this.ctx, i);
          this.current = entry;
          return this.canvas;
        }
      }
      if (source) {
        this.ctx.clearRect(0, 0, this.canvas.width, this.canvas.height);
        this.ctx.drawImage(source, 0, 0);
      }
      for (let i = from + 1; i <= entry; i++) {
        this.paintSprites(this.ctx, i);
        if ((i - base) % this.spacing === 0 && !this.checkpoints.has(i) && this.checkpoints.size < this.maxCheckpoints) {
          this.checkpoints.set(i, this.snapshot());
        }
      }
      this.current = entry;
      return this.canvas;
    }

    // Once every image is there, rebuilds each entry in order so that the
    // sorted key frames and the checkpoints exist before the visitor drags:
    // a drag then never pays for building them. The shown frame is rebuilt
    // on the next draw.
    warm() {
      if (!this.complete || this.broken) return;
      for (let i = 0; i < this.index.entries.length; i++) this.frame(i);
    }
  }

  const core = {
    FormatError, ncrfUnescape, desCbc, viewerKey, parseViewerData, decodeBlockNumbers, parseFrameStoreIndex,
    entryForPosition, project, distanceTo, positionAt, Player, FrameStore,
  };

  if (typeof module === 'object' && module.exports) {
    module.exports = core;
    return;
  }

  // ============================================================ browser part
  const hook = (root.__veltro = root.__veltro || { viewers: [] });

  function base64Bytes(text) {
    const bin = atob(text);
    const out = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; i++) out[i] = bin.charCodeAt(i);
    return out;
  }

  function loadScript(src) {
    return new Promise((resolve) => {
      const s = document.createElement('script');
      s.src = src;
      s.onload = () => resolve(true);
      s.onerror = () => resolve(false);
      document.head.appendChild(s);
    });
  }

  // The bytes of a page file: from veltro-data.js, else fetched.
  async function pageBytes(dir, name) {
    const embedded = root.VELTRO_DATA && root.VELTRO_DATA[name];
    if (typeof embedded === 'string') return base64Bytes(embedded);
    let response;
    try {
      response = await fetch(dir + name);
    } catch (e) {
      throw new Error('"' + name + '" could not be read');
    }
    if (!response.ok) throw new Error('"' + name + '" is missing (' + response.status + ')');
    const buffer = await response.arrayBuffer();
    if (buffer.byteLength > MAX_FILE_BYTES) throw new Error('"' + name + '" is too large');
    return new Uint8Array(buffer);
  }

  // Loads one image. Over http it is fetched and decoded into a bitmap off
  // the main thread, so no drag waits for JPEG decoding and the bytes are
  // known for the progress; from file:// (no fetch) an image element loads
  // it. Resolves {image, bytes}; image is null when the file cannot be read.
  function loadImage(src, viaFetch) {
    if (viaFetch && typeof fetch === 'function' && typeof createImageBitmap === 'function') {
      return fetch(src).then((response) => {
        if (!response.ok) throw new Error('missing');
        return response.blob();
      }).then((blob) => createImageBitmap(blob).then((image) => ({ image, bytes: blob.size })))
        .catch(() => loadElement(src));
    }
    return loadElement(src);
  }

  function loadElement(src) {
    return new Promise((resolve) => {
      const img = new Image();
      img.onload = () => {
        if (typeof createImageBitmap !== 'function') {
          resolve({ image: img, bytes: 0 });
          return;
        }
        createImageBitmap(img).then((image) => resolve({ image, bytes: 0 }), () => resolve({ image: img, bytes: 0 }));
      };
      img.onerror = () => resolve({ image: null, bytes: 0 });
      img.src = src;
    });
  }

  // Runs task over the items in order with at most limit in flight.
  function inOrder(items, limit, task) {
    let next = 0;
    const worker = async () => {
      while (next < items.length) await task(items[next++]);
    };
    return Promise.all(Array.from({ length: Math.min(limit, items.length) }, worker));
  }

  const css = (c) => '#' + (c & 0xffffff).toString(16).padStart(6, '0');

  // Which ends of a path show an arrowhead at frame f: [first, last].
  function arrowEnds(o, f) {
    const p = o.points;
    const first = p[0].frame;
    const last = p[p.length - 1].frame;
    const auto = (o.arrow & 4) !== 0;
    return [(!auto && (o.arrow & 1) !== 0) || (auto && f > (last + 2 * first) * 0.3333333333333333),
      (!auto && (o.arrow & 2) !== 0) || (auto && f < (first + 2 * last) * 0.3333333333333333)];
  }

  function element(tag, className, style) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (style) e.style.cssText = style;
    return e;
  }

  const SVG = 'http://www.w3.org/2000/svg';
  function icon(pathData, size) {
    const svg = document.createElementNS(SVG, 'svg');
    svg.setAttribute('viewBox', '0 0 24 24');
    svg.setAttribute('width', size);
    svg.setAttribute('height', size);
    svg.setAttribute('aria-hidden', 'true');
    const path = document.createElementNS(SVG, 'path');
    path.setAttribute('d', pathData);
    svg.appendChild(path);
    return svg;
  }
  const FULL_SCREEN_ICON = 'M3 3h7v2H5v5H3zm11 0h7v7h-2V5h-5zM3 14h2v5h5v2H3zm16 0h2v7h-7v-2h5z';
  // A hand with the index finger up; the finger tip is at (9, 1).
  const HAND_ICON = 'M9 1a2 2 0 0 1 2 2v7.3l1-.2a2 2 0 0 1 2.3 1.4l.2-.1a2 2 0 0 1 2.5 1.2 2 2 0 0 1 2.9 1.6L20 19a4 4 0 0 1-4 4h-5' +
    'a4 4 0 0 1-3.3-1.7l-4.3-6.2a1.8 1.8 0 0 1 2.6-2.4L7 13.5V3a2 2 0 0 1 2-2z';
  const HINT_SEEN = 'veltro.hint.seen';
  // Largest overlay drawn (device pixels per side).
  const MAX_OVERLAY_SIDE = 8192;

  // One viewer in place of an applet element. The picture (movie frames
  // and images) is drawn at its own size on the canvas the visitor
  // interacts with; the browser scales it to the shown size. Paths,
  // arrowheads and the loading indication are drawn over it on a second
  // canvas at the screen's device pixel ratio, so they stay sharp at any
  // size, and a drag step only redraws that layer when it changes.
  class Viewer {
    constructor(applet) {
      const params = {};
      for (const p of applet.querySelectorAll('param')) params[(p.getAttribute('name') || '').toUpperCase()] = p.getAttribute('value') || '';
      this.params = params;
      const width = Math.max(1, Math.min(MAX_INDEX_VALUE, parseInt(applet.getAttribute('width'), 10) || 320));
      const height = Math.max(1, Math.min(MAX_INDEX_VALUE, parseInt(applet.getAttribute('height'), 10) || 240));
      this.width = width;
      this.height = height;
      const dir = params.DIR && params.DIR !== '.' ? params.DIR.replace(/\/?$/, '/') : '';
      this.dir = dir;
      this.background = /^[0-9a-fA-F]{6}$/.test(params.BGCOLOR || '') ? '#' + params.BGCOLOR : '#ffffff';
      // The box fills the width its container offers, up to twice the
      // picture's size; the stage inside keeps the aspect.
      const frame = element('div', 'veltro-frame', 'position:relative;display:inline-block;vertical-align:bottom;box-sizing:border-box;' +
        'width:100%;max-width:' + 2 * width + 'px;line-height:0;text-align:left');
      const stage = element('div', 'veltro-stage', 'position:relative;width:100%;margin:0 auto');
      const canvas = element('canvas', 'veltro-viewer', 'display:block;width:100%;height:auto;aspect-ratio:' + width + ' / ' + height +
        ';touch-action:manipulation;-webkit-user-select:none;user-select:none;-webkit-tap-highlight-color:transparent');
      canvas.width = width;
      canvas.height = height;
      canvas.tabIndex = 0;
      canvas.setAttribute('role', 'slider');
      canvas.setAttribute('aria-label', (document.title || '').trim() || 'Clip');
      canvas.setAttribute('aria-valuemin', '0');
      canvas.setAttribute('aria-valuemax', '0');
      canvas.setAttribute('aria-valuenow', '0');
      const help = element('span', 'veltro-help', 'position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap');
      help.id = 'veltro-help-' + hook.viewers.length;
      help.textContent = 'Drag along a path, or use the arrow keys, to play the clip. Tab moves to the next path.';
      canvas.setAttribute('aria-describedby', help.id);
      canvas.dataset.state = 'loading';
      canvas.setAttribute('aria-busy', 'true');
      const overlay = element('canvas', 'veltro-overlay', 'position:absolute;left:0;top:0;width:100%;height:100%;pointer-events:none');
      overlay.setAttribute('aria-hidden', 'true');
      stage.append(canvas, overlay);
      frame.append(stage, help);
      this.addFullScreenButton(frame, stage);
      applet.replaceWith(frame);
      Object.assign(this, { frameBox: frame, stage, canvas, overlay, help });
      this.ctx = canvas.getContext('2d');
      this.octx = overlay.getContext('2d');
      this.state = 'loading';
      this.frame = 0;
      this.error = null;
      this.progress = 0;
      this.message = params.MESSAGE || 'Loading';
      this.watchSize();
      this.render();
      hook.viewers.push(this);
    }

    // Keeps the overlay's pixels at the shown size times the device pixel
    // ratio (exactly, where the browser reports device pixels).
    watchSize() {
      const measure = () => {
        const r = this.canvas.getBoundingClientRect();
        const ratio = root.devicePixelRatio || 1;
        this.resizeOverlay(Math.round(r.width * ratio), Math.round(r.height * ratio));
      };
      measure();
      if (typeof ResizeObserver === 'function') {
        const observer = new ResizeObserver((entries) => {
          const e = entries[entries.length - 1];
          // The device-pixel box is exact where the browser reports it
          // (emulated ratios may report CSS pixels there).
          const box = e.devicePixelContentBoxSize && e.devicePixelContentBoxSize[0];
          const ratio = root.devicePixelRatio || 1;
          if (box && Math.abs(box.inlineSize - e.contentRect.width * ratio) <= 1) this.resizeOverlay(box.inlineSize, box.blockSize);
          else measure();
        });
        try {
          observer.observe(this.canvas, { box: 'device-pixel-content-box' });
        } catch (e) {
          observer.observe(this.canvas);
        }
      } else {
        root.addEventListener('resize', measure);
      }
      // A zoom or a move to another screen changes the ratio alone.
      const watchRatio = () => {
        if (typeof matchMedia !== 'function') return;
        const query = matchMedia('(resolution: ' + (root.devicePixelRatio || 1) + 'dppx)');
        const changed = () => {
          query.removeEventListener('change', changed);
          measure();
          watchRatio();
        };
        query.addEventListener('change', changed);
      };
      watchRatio();
    }

    resizeOverlay(w, h) {
      w = Math.max(1, Math.min(MAX_OVERLAY_SIDE, w || 1));
      h = Math.max(1, Math.min(MAX_OVERLAY_SIDE, h || 1));
      if (w === this.overlay.width && h === this.overlay.height) return;
      this.overlay.width = w;
      this.overlay.height = h;
      this.overlayKey = null;
      this.render();
    }

    addFullScreenButton(frame, stage) {
      const request = frame.requestFullscreen || frame.webkitRequestFullscreen;
      if (!request || document.fullscreenEnabled === false || document.webkitFullscreenEnabled === false) return;
      const button = element('button', 'veltro-fullscreen', 'position:absolute;right:6px;top:6px;width:30px;height:30px;padding:3px;' +
        'border:0;border-radius:4px;background:rgba(0,0,0,0.45);color:#fff;fill:#fff;cursor:pointer;line-height:0;opacity:0.8');
      button.type = 'button';
      button.setAttribute('aria-label', 'Full screen');
      button.title = 'Full screen';
      button.appendChild(icon(FULL_SCREEN_ICON, 24));
      const current = () => document.fullscreenElement || document.webkitFullscreenElement || null;
      button.addEventListener('click', () => {
        if (current() === frame) (document.exitFullscreen || document.webkitExitFullscreen).call(document);
        else {
          const done = request.call(frame);
          if (done && done.catch) done.catch(() => {});
        }
      });
      // In full screen the stage is as large as the screen allows at the
      // picture's aspect, centred on black; Escape leaves (the browser's).
      const changed = () => {
        const on = current() === frame;
        frame.style.maxWidth = on ? 'none' : 2 * this.width + 'px';
        frame.style.height = on ? '100%' : '';
        frame.style.background = on ? '#000' : '';
        frame.style.display = on ? 'flex' : 'inline-block';
        frame.style.alignItems = on ? 'center' : '';
        stage.style.width = on ? 'min(100vw, calc(100vh * ' + this.width + ' / ' + this.height + '))' : '100%';
        button.setAttribute('aria-label', on ? 'Leave full screen' : 'Full screen');
        button.title = button.getAttribute('aria-label');
        if (on) this.canvas.focus();
      };
      document.addEventListener('fullscreenchange', changed);
      document.addEventListener('webkitfullscreenchange', changed);
      stage.appendChild(button);
      this.fullScreenButton = button;
    }

    fail(reason) {
      this.state = 'error';
      if (this.ticker) clearInterval(this.ticker);
      this.error = reason;
      this.dismissHint(false);
      const box = element('div', 'veltro-error', 'display:inline-block;box-sizing:border-box;max-width:100%;padding:1em;border:1px solid #c00;' +
        'color:#900;background:#fff;font:14px sans-serif;width:' + this.width + 'px');
      box.setAttribute('role', 'alert');
      box.textContent = 'This clip cannot be played: ' + reason;
      this.frameBox.replaceWith(box);
      this.canvas.dataset.state = 'error';
      this.box = box;
    }

    async start() {
      let data;
      try {
        data = parseViewerData(await pageBytes(this.dir, 'veltro.txt'));
      } catch (e) {
        this.fail(e instanceof FormatError ? 'the viewer data "veltro.txt" is damaged (' + e.message + ').' : e.message + '.');
        return;
      }
      const stores = [];
      for (let k = 0; k < data.movieCount; k++) {
        const name = 'v' + k.toString(16) + '.txt';
        try {
          stores.push(parseFrameStoreIndex(await pageBytes(this.dir, name), (entries) => this.prefetchKeyFrame(entries)));
        } catch (e) {
          stores.push(null); // the movie shows as a placeholder, as a missing clip does in the program
        }
      }
      this.player = new Player(data, stores);
      // Objects drawn after the first path (in back-to-front order) go on
      // the overlay, so the layers keep the document's order.
      this.firstOverlay = -1;
      this.player.objects.forEach((o, i) => {
        if (o.type === 2) this.firstOverlay = i;
      });
      const makeCanvas = (w, h) => {
        const c = document.createElement('canvas');
        c.width = w;
        c.height = h;
        return c;
      };
      this.frameStores = stores.map((index) => (index ? new FrameStore(index, new Array(index.entries.length).fill(null), makeCanvas) : null));
      this.imageNames = data.imageNames;
      this.images = data.imageNames.map(() => null);
      this.attachInput();
      // Paths with several thumbnail pictures show them in turn.
      if (this.player.objects.some((o) => o.type === 2 && o.thumbnailImages.length > 1)) {
        this.ticker = setInterval(() => {
          if (this.state === 'ready' && this.player.tick()) this.render();
        }, THUMBNAIL_TICK_MS);
      }
      this.state = 'ready';
      this.canvas.dataset.state = 'ready';
      this.render();
      await this.loadAll();
      for (const fs of this.frameStores) if (fs) fs.warm();
      this.loaded = true;
      this.canvas.dataset.loaded = 'true';
      this.render();
    }

    // Asks for a store's first key frame while the rest of its index is
    // decoded: the first picture needs it before anything else.
    prefetchKeyFrame(entries) {
      const e = entries[0];
      if (!e || (e.kind !== 'N' && e.kind !== 'S')) return;
      this.prefetched = this.prefetched || new Map();
      if (!this.prefetched.has(e.name)) this.prefetched.set(e.name, loadImage(this.dir + e.name, this.viaFetch()));
    }

    viaFetch() {
      return typeof location === 'undefined' || location.protocol !== 'file:';
    }

    // Loads the page's images. The key frame of the first picture comes
    // first, then the other key frames, then the difference sheets taking
    // one sheet of each key frame's run in turn: every part of the path
    // gets frames early and fills in as the rest arrives. The progress is
    // the share of the page's image bytes in (sizes not yet known count
    // as the mean of the known ones).
    async loadAll() {
      const runs = [];
      this.frameStores.forEach((fs) => {
        if (!fs) return;
        let run = null;
        fs.index.entries.forEach((e, i) => {
          if (e.kind === 'N' || e.kind === 'S') runs.push(run = { key: { fs, i }, sheets: [] });
          else if (e.kind === 'D' && run) run.sheets.push({ fs, i });
        });
      });
      const first = this.player.currentFrame;
      const wanted = (run) => {
        const o = this.player.objects.find((x) => x.type === 0 && this.frameStores[x.mediaIndex] === run.key.fs);
        if (!o || !o.ranges.length) return false;
        const entries = run.key.fs.index.entries;
        return entries[entryForPosition(entries, first - o.ranges[0][0])].base === run.key.i;
      };
      runs.sort((a, b) => wanted(b) - wanted(a));
      const order = runs.map((r) => r.key);
      for (let k = 0; runs.some((r) => k < r.sheets.length); k++) for (const r of runs) if (k < r.sheets.length) order.push(r.sheets[k]);
      const images = this.images.map((x, i) => ({ image: i }));
      const total = order.length + images.length;
      let done = 0;
      let bytes = 0;
      let sized = 0;
      const arrived = (result) => {
        done++;
        if (result.bytes > 0) {
          bytes += result.bytes;
          sized++;
        }
        const mean = sized ? bytes / sized : 1;
        this.progress = sized ? bytes / (bytes + (total - done) * mean) : done / total;
        this.canvas.dataset.progress = String(Math.floor(this.progress * 100));
      };
      const viaFetch = this.viaFetch();
      const prefetched = this.prefetched || new Map();
      this.prefetched = null;
      const load = async (item) => {
        if (this.state === 'error') return;
        const name = item.fs ? item.fs.index.entries[item.i].name : this.imageNames[item.image];
        const result = await (prefetched.get(name) || loadImage(this.dir + name, viaFetch));
        arrived(result);
        if (item.fs) item.fs.loaded(item.i, result.image);
        else this.images[item.image] = result.image;
        if (this.state !== 'error') this.render();
      };
      await inOrder([...order, ...images], 6, load);
    }

    // Draws the document at the current frame: the picture layer, then
    // the overlay. Until a visible movie's first frame is in, the loading
    // message and progress show; a frame still loading shows as the
    // nearest loaded one before it.
    render() {
      const pl = this.player;
      if (!pl) {
        this.drawLoading();
        return;
      }
      const f = pl.currentFrame;
      const shown = new Map();
      let missing = false;
      this.pending = false;
      for (const o of pl.objects) {
        if (o.type !== 0 || !visibleAt(o, f)) continue;
        const fs = this.frameStores[o.mediaIndex];
        if (!fs || fs.broken || !fs.index.entries.length) continue;
        const want = entryForPosition(fs.index.entries, f - o.ranges[0][0]);
        const entry = fs.nearestReady(want);
        if (entry < 0) missing = true;
        else shown.set(o, entry);
        if (entry !== want) this.pending = true;
      }
      if (missing && !this.drawn) {
        this.drawLoading();
        return;
      }
      const { ctx, canvas } = this;
      if (!missing) {
        // No white background under a movie frame that covers the whole
        // picture (JPEG frames are opaque): one full-size fill less per step.
        if (!this.coveredBy(f, shown)) {
          ctx.fillStyle = '#ffffff';
          ctx.fillRect(0, 0, canvas.width, canvas.height);
        }
        for (let i = pl.objects.length - 1; i > this.firstOverlay; i--) {
          const o = pl.objects[i];
          if (visibleAt(o, f)) this.drawPicture(ctx, o, shown);
        }
      }
      this.drawOverlay(shown);
      if (!this.drawn) {
        if (typeof performance !== 'undefined') hook.firstFrameAt = performance.now();
        canvas.setAttribute('aria-busy', 'false');
        this.drawn = true;
        this.showHint();
      }
      if (this.frame !== f || canvas.dataset.frame === undefined) {
        this.frame = f;
        canvas.dataset.frame = String(f);
        canvas.setAttribute('aria-valuenow', String(f));
        canvas.setAttribute('aria-valuetext', 'frame ' + f);
      }
      this.describePath();
      hook.frame = f;
      hook.drawCount = (hook.drawCount || 0) + 1;
    }

    // The loading state: the page's MESSAGE over the background and a bar
    // showing the share loaded.
    drawLoading() {
      const { ctx, canvas, octx, overlay } = this;
      canvas.dataset.message = this.message;
      canvas.dataset.progress = String(Math.floor(this.progress * 100));
      canvas.setAttribute('aria-valuetext', 'loading, ' + Math.floor(this.progress * 100) + '%');
      ctx.fillStyle = this.background;
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      const key = 'loading ' + overlay.width + 'x' + overlay.height + ' ' + Math.floor(this.progress * 200);
      if (this.overlayKey === key) return;
      this.overlayKey = key;
      const s = overlay.width / this.width;
      octx.setTransform(1, 0, 0, 1, 0, 0);
      octx.clearRect(0, 0, overlay.width, overlay.height);
      octx.setTransform(s, 0, 0, overlay.height / this.height, 0, 0);
      const w = this.width;
      const h = this.height;
      octx.fillStyle = '#000000';
      octx.font = '14px sans-serif';
      octx.textAlign = 'center';
      octx.textBaseline = 'middle';
      octx.fillText(this.message, w / 2, h / 2 - 10);
      const barWidth = Math.min(160, w - 20);
      const x = (w - barWidth) / 2;
      octx.strokeStyle = '#555555';
      octx.lineWidth = 1 / s;
      octx.strokeRect(x, h / 2 + 8, barWidth, 6);
      octx.fillStyle = '#555555';
      octx.fillRect(x, h / 2 + 8, barWidth * this.progress, 6);
    }

    // Redraws the overlay when what it shows changed: paths in their
    // state, arrowheads, thumbnails, pictures above a path, and a thin
    // progress bar along the bottom while frames still load.
    drawOverlay(shown) {
      const pl = this.player;
      const f = pl.currentFrame;
      const { octx, overlay } = this;
      const parts = [overlay.width, overlay.height, pl.dragging, pl.objects.indexOf(pl.active), this.loaded ? 'loaded' : Math.floor(this.progress * 100)];
      for (let i = this.firstOverlay; i >= 0; i--) {
        const o = pl.objects[i];
        const visible = visibleAt(o, f);
        if (o.type !== 2) parts.push(visible ? shown.get(o) ?? f : -1);
        else if (!visible) parts.push('-');
        else parts.push(o.reappeared ? 'r' : '', o.points.length >= 2 ? arrowEnds(o, f).join() : '', o.thumbnailImages.length ? f + ':' + (o.thumbnailIndex || 0) : '');
      }
      const key = parts.join('|');
      if (key === this.overlayKey) return;
      this.overlayKey = key;
      octx.setTransform(1, 0, 0, 1, 0, 0);
      octx.clearRect(0, 0, overlay.width, overlay.height);
      octx.setTransform(overlay.width / this.width, 0, 0, overlay.height / this.height, 0, 0);
      for (let i = this.firstOverlay; i >= 0; i--) {
        const o = pl.objects[i];
        if (o.type === 2) this.drawPath(octx, o);
        else if (visibleAt(o, f)) this.drawPicture(octx, o, shown);
      }
      if (!this.loaded) {
        const h = Math.max(2, 3 * this.height / overlay.height);
        octx.fillStyle = 'rgba(0,0,0,0.3)';
        octx.fillRect(0, this.height - h, this.width, h);
        octx.fillStyle = '#2a7ae2';
        octx.fillRect(0, this.height - h, this.width * this.progress, h);
      }
    }

    // True when the first picture layer drawn at frame f is a movie frame
    // covering the whole canvas.
    coveredBy(f, shown) {
      const objects = this.player.objects;
      for (let i = objects.length - 1; i > this.firstOverlay; i--) {
        const o = objects[i];
        if (!visibleAt(o, f)) continue;
        return o.type === 0 && shown.has(o) && o.x <= 0 && o.y <= 0 && o.x + o.w >= this.width && o.y + o.h >= this.height;
      }
      return false;
    }

    drawPicture(ctx, o, shown) {
      let source = null;
      if (o.type === 0) {
        const fs = o.mediaIndex >= 0 ? this.frameStores[o.mediaIndex] : null;
        if (fs && shown.has(o)) source = fs.frame(shown.get(o));
      } else if (o.mediaIndex >= 0) {
        source = this.images[o.mediaIndex];
      }
      if (source) {
        ctx.drawImage(source, o.x, o.y, o.w, o.h);
        return;
      }
      ctx.fillStyle = '#ffffff';
      ctx.fillRect(o.x, o.y, o.w, o.h);
      ctx.strokeStyle = '#000000';
      ctx.lineWidth = 1;
      ctx.strokeRect(o.x + 0.5, o.y + 0.5, o.w - 1, o.h - 1);
      ctx.fillStyle = '#000000';
      ctx.font = '12px sans-serif';
      ctx.textAlign = 'center';
      ctx.textBaseline = 'middle';
      ctx.fillText(o.type === 0 ? 'video' : 'image', o.x + o.w / 2, o.y + o.h / 2);
    }

    // A path in its state: 2 while dragging, 1 when picked (or back in view
    // until picked), else 0; its image instead of the line when it has one.
    drawPath(ctx, o) {
      const pl = this.player;
      const f = pl.currentFrame;
      if (!o.exported || !visibleAt(o, f)) {
        o.reappeared = true;
        return;
      }
      let state = pl.dragging ? 2 : pl.active === o ? 1 : 0;
      if (o.reappeared && !pl.dragging) state = 1;
      if (pl.active === o) o.reappeared = false;
      const image = o.pathImage[state] >= 0 ? this.images[o.pathImage[state]] : null;
      const w = o.pathWidth[state];
      const color = css(o.pathColor[state]);
      const p = o.points;
      if (image) {
        ctx.drawImage(image, o.x, o.y, o.w, o.h);
      } else if (w >= 1 && p.length >= 2) {
        ctx.strokeStyle = color;
        ctx.lineCap = 'round';
        ctx.lineJoin = 'round';
        ctx.lineWidth = w === 1 ? 1 : 2 * w;
        const off = w === 1 ? 0.5 : 0;
        ctx.beginPath();
        if (usesBezier(o)) {
          for (let k = 0; k <= 100; k++) {
            const [x, y] = bezierAt(p, k / 100);
            if (k === 0) ctx.moveTo(x + off, y + off);
            else ctx.lineTo(x + off, y + off);
          }
        } else {
          p.forEach((q, i) => (i === 0 ? ctx.moveTo(q.x + off, q.y + off) : ctx.lineTo(q.x + off, q.y + off)));
        }
        ctx.stroke();
        const [atFirst, atLast] = arrowEnds(o, f);
        if (atFirst) this.arrowhead(ctx, p[0], p[1], w, color);
        if (atLast) this.arrowhead(ctx, p[p.length - 1], p[p.length - 2], w, color);
      }
      this.drawThumbnail(ctx, o, f);
    }

    arrowhead(ctx, a, b, w, color) {
      const k = (2 * w + 3) / (hypot(b.x - a.x, b.y - a.y) + 0.1);
      const cx = Math.trunc(k * (b.x - a.x));
      const cy = Math.trunc(k * (b.y - a.y));
      ctx.fillStyle = color;
      ctx.beginPath();
      ctx.moveTo(a.x - cy, a.y + cx);
      ctx.lineTo(a.x + cy, a.y - cx);
      ctx.lineTo(a.x - cx, a.y - cy);
      ctx.closePath();
      ctx.fill();
    }

    // The thumbnail riding along the path, when the page has its image.
    drawThumbnail(ctx, o, f) {
      if (!o.thumbnailImages.length) return;
      const p = o.points;
      if (!o.keep && !(p.length && p[0].frame <= f && f <= p[p.length - 1].frame)) return;
      const pos = positionAt(o, f);
      if (pos) {
        if (o.thumbX !== undefined && pos.x !== o.thumbX) o.mirror = pos.x > o.thumbX;
        Object.assign(o, { thumbX: pos.x, thumbY: pos.y, thumbDX: pos.dx, thumbDY: pos.dy });
      }
      if (o.thumbX === undefined) return;
      const shown = o.thumbnailIndex || 0;
      const index = o.thumbnailImages[shown < o.thumbnailImages.length ? shown : 0];
      const img = index >= 0 ? this.images[index] : null;
      if (!img) return;
      ctx.save();
      ctx.translate(o.thumbX, o.thumbY);
      if (o.thumbnailDir === 1 && o.mirror) ctx.scale(-1, 1);
      if (o.thumbnailDir === 2 && (o.thumbDX || o.thumbDY)) ctx.rotate(Math.atan2(o.thumbDY, o.thumbDX));
      ctx.drawImage(img, -Math.trunc((img.naturalWidth || img.width) / 2), -Math.trunc((img.naturalHeight || img.height) / 2));
      ctx.restore();
    }

    // The slider the canvas announces: the frames of the picked path (the
    // first visible one until a path is picked), laid out along its main
    // direction.
    describePath() {
      const pl = this.player;
      const paths = pl.visiblePaths();
      const o = paths.includes(pl.active) ? pl.active : paths[0];
      if (!o || o === this.described) return;
      this.described = o;
      const p = o.points;
      const a = p[0];
      const b = p[p.length - 1];
      this.canvas.setAttribute('aria-valuemin', String(Math.min(a.frame, b.frame)));
      this.canvas.setAttribute('aria-valuemax', String(Math.max(a.frame, b.frame)));
      this.canvas.setAttribute('aria-orientation', Math.abs(b.y - a.y) > Math.abs(b.x - a.x) ? 'vertical' : 'horizontal');
    }

    // The first-visit hint: a hand moving a little along the first path,
    // until the visitor first presses on or keys into a viewer. None when
    // the visitor prefers reduced motion or has used a viewer before.
    showHint() {
      if (this.hintDecided) return;
      this.hintDecided = true;
      let seen = false;
      try {
        seen = root.localStorage.getItem(HINT_SEEN) === '1';
      } catch (e) { /* no storage: show it */ }
      const reduce = typeof matchMedia === 'function' && matchMedia('(prefers-reduced-motion: reduce)').matches;
      const o = this.player.visiblePaths()[0];
      if (seen || reduce || !o) return;
      const p = o.points;
      const start = positionAt(o, p[0].frame) || p[0];
      const end = positionAt(o, p[0].frame + (p[p.length - 1].frame - p[0].frame) * 0.25) || p[1];
      const at = (q) => ({ left: (100 * (q.x + 0.5)) / this.width + '%', top: (100 * (q.y + 0.5)) / this.height + '%' });
      const hint = element('div', 'veltro-hint', 'position:absolute;width:36px;height:36px;margin:-2px 0 0 -13px;pointer-events:none;' +
        'fill:#fff;stroke:#000;stroke-width:1.2;filter:drop-shadow(0 1px 2px rgba(0,0,0,0.5))');
      hint.setAttribute('aria-hidden', 'true');
      Object.assign(hint.style, at(start));
      hint.appendChild(icon(HAND_ICON, 36));
      this.stage.appendChild(hint);
      if (hint.animate) {
        this.hintAnimation = hint.animate([at(start), at(end)], { duration: 1100, iterations: Infinity, direction: 'alternate', easing: 'ease-in-out' });
      }
      this.hint = hint;
    }

    dismissHint(remember = true) {
      if (this.hint) {
        if (this.hintAnimation) this.hintAnimation.cancel();
        this.hint.remove();
        this.hint = null;
      }
      this.hintDecided = true;
      if (!remember) return;
      try {
        root.localStorage.setItem(HINT_SEEN, '1');
      } catch (e) { /* no storage: nothing to remember */ }
      for (const v of hook.viewers) if (v !== this && v.hint) v.dismissHint(false);
    }

    // Pointer position in picture coordinates, at whatever size the
    // picture is shown.
    picturePoint(event) {
      const r = this.canvas.getBoundingClientRect();
      const sx = r.width > 0 ? this.width / r.width : 1;
      const sy = r.height > 0 ? this.height / r.height : 1;
      return [Math.floor((event.clientX - r.left) * sx), Math.floor((event.clientY - r.top) * sy)];
    }

    setCursor(shape) {
      if (shape === 'hand') this.canvas.style.cursor = 'pointer';
      else if (shape === 'none') this.canvas.style.cursor = 'not-allowed';
      else if (shape === 'grip') this.canvas.style.cursor = 'grabbing';
    }

    attachInput() {
      const c = this.canvas;
      const pl = this.player;
      let pointer = null;
      c.addEventListener('pointerdown', (e) => {
        if (e.button !== 0 || pointer !== null) return;
        this.dismissHint();
        const [x, y] = this.picturePoint(e);
        this.setCursor(pl.hover(x, y));
        pointer = e.pointerId;
        try {
          c.setPointerCapture(e.pointerId);
        } catch (err) { /* capture is a nicety */ }
        this.setCursor(pl.down(x, y));
        this.render();
        if (e.pointerType === 'mouse' || pl.active) e.preventDefault();
      });
      c.addEventListener('pointermove', (e) => {
        const [x, y] = this.picturePoint(e);
        if (pointer === null) {
          const before = pl.active;
          this.setCursor(pl.hover(x, y));
          // A pen hovering over a path: its press there plays, not scrolls.
          if (e.pointerType === 'pen') c.style.touchAction = pl.active ? 'none' : 'manipulation';
          if (before !== pl.active) this.render();
          return;
        }
        if (e.pointerId !== pointer) return;
        const events = e.getCoalescedEvents ? e.getCoalescedEvents() : [];
        // The last of the coalesced positions decides; the earlier ones keep
        // the continuity rule of fast drags.
        for (const ce of events.slice(0, -1)) {
          const [cx, cy] = this.picturePoint(ce);
          pl.drag(cx, cy);
        }
        this.setCursor(pl.drag(x, y));
        this.render();
      });
      const end = (e) => {
        if (e.pointerId !== pointer) return;
        pointer = null;
        pl.up();
        this.render();
      };
      c.addEventListener('pointerup', end);
      c.addEventListener('pointercancel', end);
      // A touch (or a pen that comes as touch) that starts on a path plays
      // and neither scrolls nor zooms the page, whichever way it then
      // moves; one that starts elsewhere leaves the page to the browser.
      let playing = false;
      c.addEventListener('touchstart', (e) => {
        for (const t of Array.from(e.changedTouches)) {
          const [x, y] = this.picturePoint(t);
          if (pl.findObjectAt(x, y)) playing = true;
        }
        if (playing) e.preventDefault();
      }, { passive: false });
      c.addEventListener('touchmove', (e) => {
        if (playing) e.preventDefault();
      }, { passive: false });
      const touchEnd = (e) => {
        if (e.touches.length === 0) playing = false;
      };
      c.addEventListener('touchend', touchEnd);
      c.addEventListener('touchcancel', touchEnd);
      c.addEventListener('keydown', (e) => this.key(e));
      c.addEventListener('focus', () => {
        if (!pl.active) {
          pl.active = pl.visiblePaths()[0] || null;
          this.render();
        }
      });
    }

    key(e) {
      const pl = this.player;
      const paths = pl.visiblePaths();
      if (e.key === 'Tab') {
        const i = paths.indexOf(pl.active);
        const next = e.shiftKey ? i - 1 : i + 1;
        if (next < 0 || next >= paths.length) return; // let focus leave the viewer
        pl.active = paths[next];
        this.render();
        e.preventDefault();
        return;
      }
      const o = paths.includes(pl.active) ? pl.active : paths[0];
      if (!o) return;
      pl.active = o;
      let changed = false;
      if (e.key === 'ArrowRight' || e.key === 'ArrowDown') changed = pl.step(o, 1);
      else if (e.key === 'ArrowLeft' || e.key === 'ArrowUp') changed = pl.step(o, -1);
      else if (e.key === 'Home' || e.key === 'End') {
        const p = o.points;
        pl.seekFlaggedFrame(e.key === 'Home' ? p[0].frame : p[p.length - 1].frame);
        changed = true;
      } else return;
      this.dismissHint();
      e.preventDefault();
      if (changed) this.render();
    }

    // Bytes of canvas and image pixels this viewer holds.
    pixelBytes() {
      let bytes = 4 * (this.canvas.width * this.canvas.height + this.overlay.width * this.overlay.height);
      for (const fs of this.frameStores || []) if (fs) bytes += fs.pixelBytes();
      for (const img of this.images || []) if (img) bytes += 4 * (img.naturalWidth || img.width) * (img.naturalHeight || img.height);
      return bytes;
    }
  }

  async function boot() {
    hook.bootAt = typeof performance !== 'undefined' ? performance.now() : 0;
    const applets = Array.from(document.querySelectorAll('applet'));
    if (!applets.length) return;
    if (root.VELTRO_DATA === undefined) await (dataScript || loadScript('veltro-data.js'));
    hook.state = 'loading';
    const viewers = applets.map((a) => new Viewer(a));
    await Promise.all(viewers.map((v) => v.start().catch((e) => v.fail(String(e && e.message || e)))));
    hook.state = viewers.every((v) => v.state === 'ready') ? 'ready' : 'error';
    hook.error = viewers.map((v) => v.error).filter(Boolean).join('; ') || null;
  }

  // The page's data script is asked for as soon as this script runs when
  // the applet is already in the document (the page writer puts this script
  // after it), not only once the whole document is parsed.
  const dataScript = root.VELTRO_DATA === undefined && document.querySelector('applet') ? loadScript('veltro-data.js') : null;
  Object.defineProperty(hook, 'viewer', { get: () => hook.viewers[0], configurable: true });
  hook.pixelBytes = () => hook.viewers.reduce((sum, v) => sum + (v.state === 'error' ? 0 : v.pixelBytes()), 0);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', boot);
  else boot();
})(typeof window !== 'undefined' ? window : globalThis);
